// Body of the acquisition thread: opens the port, polls the meter once per second and turns its
// answers into events. Stops on request or on the first failed write or read; never reopens.

#include <algorithm>
#include <array>
#include <cstdint>
#include <string>

#include "channels/encodable_value.h"
#include "runner/diagnostics/native_log.h"
#include "runner/meter/frame_accumulator.h"
#include "runner/meter/miernik.h"
#include "runner/wide_to_utf8.h"

namespace meter_link {

namespace {

constexpr int64_t kPollPeriodMs = 1000;
constexpr uint32_t kReadWindowMs = 700;
constexpr uint32_t kSleepStepMs = 50;
constexpr uint32_t kReadRequestSize = 256;
// What the loop reports for a port found closed at the start of a poll: access denied.
constexpr uint32_t kClosedPortError = 5;

std::string FirstFrameDebugLine(const MeterReading& reading) {
  return "Sonel: pierwsza ramka " + std::to_string(reading.raw) + " raw, " + reading.rangeLabel +
         "\n";
}

}  // namespace

void Miernik::AcquisitionLoop() {
  LogMessage("pętla: start wątku");
  LogMessage("pętla: otwieram port");
  std::string openError;
  if (!OpenPort(&openError)) {
    LogMessage("pętla: port się nie otworzył");
    EmitText(openError);
    PostState();
    running.exchange(false);
    return;
  }
  LogMessage("pętla: port otwarty");
  PostState();

  FrameAccumulator accumulator;
  std::array<uint8_t, kReadRequestSize> readBuffer{};
  bool firstQuery = true;
  bool firstFrame = true;
  // Set when a write or read fails (or the port is found closed); ends the run.
  bool failed = false;
  uint32_t failureCode = 0;

  while (!stopRequested.load()) {
    const int64_t pollStart = platform.MonotonicNanoseconds();
    MeterReading reading;
    if (firstQuery) {
      firstQuery = false;
      LogMessage("pętla: pierwsze zapytanie 0x11");
    }
    if (portHandle == nullptr) {
      failed = true;
      failureCode = kClosedPortError;
      break;
    }
    const uint8_t query = QueryByte;
    const SerialIo written = portHandle->Write(&query, 1);
    if (!written.ok || written.count != 1) {
      failed = true;
      failureCode = written.error;
      break;
    }

    // The window is measured as elapsed ticks, so it survives the wrap of the 32-bit tick count.
    const uint32_t windowStart = platform.TickCount();
    bool answered = false;
    while (platform.TickCount() - windowStart < kReadWindowMs) {
      if (stopRequested.load()) break;
      const SerialIo read = portHandle->Read(readBuffer.data(), kReadRequestSize);
      if (!read.ok) {
        failed = true;
        failureCode = read.error;
        break;
      }
      const uint32_t count = std::min(read.count, kReadRequestSize);
      if (count == 0) continue;
      if (!accumulator.AddRead(readBuffer.data(), count, &reading)) continue;
      if (firstFrame) {
        firstFrame = false;
        platform.DebugOutput(FirstFrameDebugLine(reading).c_str());
      }
      EmitReading(reading);
      answered = true;
      break;
    }
    if (failed) break;
    if (!answered && !stopRequested.load()) {
      EmitMap(flutter::EncodableMap{
          {flutter::EncodableValue(std::string("typ")),
           flutter::EncodableValue(std::string("brak"))},
          {flutter::EncodableValue(std::string("t")),
           flutter::EncodableValue(int64_t{platform.WallClockMilliseconds()})},
      });
    }

    const int64_t elapsedMs = (platform.MonotonicNanoseconds() - pollStart) / 1000000;
    if (elapsedMs < kPollPeriodMs) {
      uint32_t remaining = static_cast<uint32_t>(kPollPeriodMs - elapsedMs);
      while (!stopRequested.load()) {
        const uint32_t step = std::min(remaining, kSleepStepMs);
        platform.SleepMilliseconds(step);
        if (step == remaining) break;
        remaining -= step;
      }
    }
  }

  if (failed) {
    EmitText(failureCode == 0 ? std::string("Miernik odłączony")
                              : WideToUtf8(platform.SystemErrorText(failureCode)));
  }
  ClosePort();
  running.exchange(false);
  PostState();
}

}  // namespace meter_link
