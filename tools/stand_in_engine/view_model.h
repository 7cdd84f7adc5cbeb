#pragma once

// What the stand-in's view shows: the meter's and the device's state as the host has sent it,
// gathered from the events on "lumerovantix/sonel" and the answers to the interface's calls.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace stand_in {

struct ViewReading {
  double lux = 0;
  int64_t raw = 0;
  int64_t rangeCode = 0;
  std::string range;
  bool overload = false;
  int64_t number = 0;
  // Host clock when the event was built, milliseconds since 1970 (UTC).
  int64_t time = 0;
};

constexpr size_t kRecentReadings = 12;

struct ViewModel {
  // Unknown until a "stan" event or answer arrives.
  std::optional<bool> connected;
  std::optional<std::vector<std::string>> ports;
  // The answer to "start".
  std::optional<bool> started;
  std::optional<ViewReading> reading;
  // The latest readings, newest first, at most kRecentReadings.
  std::vector<ViewReading> recent;
  // Events received, by kind: "pomiar", "stan", "brak", "blad".
  int64_t readingCount = 0;
  int64_t stateCount = 0;
  int64_t missingCount = 0;
  int64_t errorCount = 0;
  // Time of the last "brak" event (the meter did not answer a poll), 0 when none.
  int64_t lastMissing = 0;
  std::string lastError;
  std::string deviceId;
  // The "id" call's error, when it failed.
  std::string deviceError;
};

// A message the host sent; true when the model changed.
bool ApplyHostMessage(ViewModel& model, const std::string& channel, const uint8_t* bytes,
                      size_t size);
// The host's answer to a call of the interface side; true when the model changed.
bool ApplyReply(ViewModel& model, const std::string& channel, const uint8_t* call, size_t callSize,
                const uint8_t* reply, size_t replySize);

}  // namespace stand_in
