#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <utility>
#include <vector>

#include "runner/meter/meter_platform.h"
#include "runner/meter/miernik.h"
#include "tools/endurance/day/day_ledger.h"
#include "tools/endurance/day/day_script.h"
#include "tools/endurance/day/ui_hand_off.h"

namespace endurance {

// The meter's port and clocks for a day in minutes: the port plays the script with the line's
// time-outs (a read ends 50 ms after its last byte, or after 200 ms of silence) and time is fake,
// advanced by reads and sleeps. The 32-bit tick count wraps half a day in. After the last poll
// the next query waits for the meter's stop.
class DayPlatform final : public meter_link::MeterPlatform {
 public:
  DayPlatform(int64_t polls, uint64_t seed, DayLedger& ledger, UiHandOff& handOff);

  void Watch(const meter_link::Miernik* meter) { watched = meter; }

  // Heap in use once per paced poll, taken when every event so far has been delivered.
  std::vector<size_t> HeapSamples() const {
    return {heapSamples.begin(), heapSamples.begin() + static_cast<std::ptrdiff_t>(samplesTaken)};
  }
  size_t ResidentAtStart() const { return residentAtStart; }
  size_t ResidentAfterWarmUp() const { return residentAfterWarmUp; }
  int64_t FakeMilliseconds() const { return nowMs.load(); }

  std::vector<meter_link::MeterPort> FindMeterPorts() override;
  std::unique_ptr<meter_link::SerialLine> OpenSerialLine(const std::wstring& path,
                                                         meter_link::OpenFailureStage* stage,
                                                         uint32_t* errorCode) override;
  std::wstring SystemErrorText(uint32_t code) override;
  uint32_t TickCount() override;
  int64_t MonotonicNanoseconds() override;
  int64_t WallClockMilliseconds() override;
  void SleepMilliseconds(uint32_t milliseconds) override;
  void DebugOutput(const char*) override {}

 private:
  class Line;
  meter_link::SerialIo Write();
  meter_link::SerialIo Read(uint8_t* buffer, uint32_t capacity);
  void WaitForStop();

  const int64_t polls;
  DayScript script;
  DayLedger& ledger;
  UiHandOff& handOff;
  const meter_link::Miernik* watched = nullptr;
  std::atomic<int64_t> nowMs{0};
  int64_t poll = 0;
  bool failNextRead = false;
  bool firstSleepOfPoll = false;
  std::vector<std::pair<int64_t, uint8_t>> incoming;  // arrival time, byte
  size_t incomingRead = 0;
  std::vector<size_t> heapSamples;
  size_t samplesTaken = 0;
  size_t residentAtStart = 0;
  size_t residentAfterWarmUp = 0;
};

}  // namespace endurance
