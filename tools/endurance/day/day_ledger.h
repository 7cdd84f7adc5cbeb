#pragma once

#include <array>
#include <cstdint>
#include <cstdio>
#include <mutex>
#include <string>

#include "tools/endurance/day/day_script.h"

namespace endurance {

// The error texts a day's failures produce.
constexpr const char* kNotReadyText = "Urządzenie nie jest gotowe.";
constexpr const char* kUnpluggedText = "Miernik odłączony";

// What the script promised against what reached the event sink. Readings are matched one by one,
// in order, by number and value.
class DayLedger {
 public:
  // Acquisition thread, as the script plays.
  void ExpectReading(const ExpectedReading& reading);
  void ExpectSilence();
  void ExpectFailure(const char* text);

  // Main thread, as the sink receives.
  void SawReading(const ExpectedReading& reading);
  void SawSilence();
  void SawError(const std::string& text);
  void SawState();
  void SawOther();

  // Prints the counts; true when everything matched.
  bool Report(std::FILE* out);

 private:
  static constexpr size_t kInFlight = 64;
  struct Count {
    uint64_t expected = 0;
    uint64_t seen = 0;
  };
  static size_t TextIndex(const std::string& text);

  std::mutex mutex;
  std::array<ExpectedReading, kInFlight> pending{};
  size_t pendingFirst = 0;
  size_t pendingCount = 0;
  bool overflowed = false;
  Count readings, silences;
  std::array<Count, 2> failures{};  // not ready, unplugged
  uint64_t states = 0, matched = 0, wrong = 0, unexpected = 0, others = 0;
  std::array<char, 160> firstWrong{};
};

}  // namespace endurance
