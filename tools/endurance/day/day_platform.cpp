#include "tools/endurance/day/day_platform.h"

#include <algorithm>
#include <chrono>
#include <thread>

#include "tools/endurance/day/heap_meter.h"
#include "tools/endurance/day/watchdog.h"

namespace endurance {

using meter_link::SerialIo;

namespace {

constexpr uint32_t kNotReady = 21;
constexpr int64_t kTickWrapAtMs = 12 * 3600 * 1000;
constexpr int64_t kWallClockStartMs = 1780000000000;
constexpr int64_t kIntervalMs = 50, kTotalMs = 200;  // the meter line's read time-outs

}  // namespace

class DayPlatform::Line final : public meter_link::SerialLine {
 public:
  explicit Line(DayPlatform& owner) : owner(owner) {}
  SerialIo Write(const uint8_t* bytes, uint32_t count) override {
    // Anything but the query byte fails as an invalid parameter: its error event fails the day.
    if (count != 1 || bytes[0] != meter_link::QueryByte) return {false, 0, 87};
    return owner.Write();
  }
  SerialIo Read(uint8_t* buffer, uint32_t capacity) override {
    return owner.Read(buffer, capacity);
  }
  void Purge() override {}

 private:
  DayPlatform& owner;
};

DayPlatform::DayPlatform(int64_t polls, uint64_t seed, DayLedger& ledger, UiHandOff& handOff)
    : polls(polls), script(seed), ledger(ledger), handOff(handOff) {
  // Made once, and the samples touched: the platform's own bookkeeping must not show up as
  // growth of the heap or of the resident set.
  incoming.reserve(1024);
  heapSamples.assign(static_cast<size_t>(polls), 0);
  // The first look at the resident set costs ThreadSanitizer a table of its own: not in the day.
  residentAtStart = ResidentBytes();
}

std::vector<meter_link::MeterPort> DayPlatform::FindMeterPorts() {
  return {{L"\\\\.\\COM7", L"COM7"}};
}

std::unique_ptr<meter_link::SerialLine> DayPlatform::OpenSerialLine(const std::wstring&,
                                                                    meter_link::OpenFailureStage*,
                                                                    uint32_t*) {
  incoming.clear();
  incomingRead = 0;
  return std::make_unique<Line>(*this);
}

std::wstring DayPlatform::SystemErrorText(uint32_t code) {
  return code == kNotReady ? L"Urządzenie nie jest gotowe." : L"Błąd " + std::to_wstring(code);
}

uint32_t DayPlatform::TickCount() { return static_cast<uint32_t>(nowMs.load() - kTickWrapAtMs); }

int64_t DayPlatform::MonotonicNanoseconds() { return 1000000000 + nowMs.load() * 1000000; }

int64_t DayPlatform::WallClockMilliseconds() { return kWallClockStartMs + nowMs.load(); }

void DayPlatform::SleepMilliseconds(uint32_t milliseconds) {
  nowMs += milliseconds;
  if (!firstSleepOfPoll) return;
  firstSleepOfPoll = false;
  if (!handOff.WaitUntilRun()) ExitHung("waiting for the events of a poll to be delivered");
  if (samplesTaken < heapSamples.size()) heapSamples[samplesTaken++] = HeapInUse();
  if (samplesTaken == heapSamples.size() / 5) residentAfterWarmUp = ResidentBytes();
}

SerialIo DayPlatform::Write() {
  if (++poll > polls) {
    WaitForStop();
    return {true, 1, 0};
  }
  firstSleepOfPoll = true;
  // Bytes of earlier polls that were never read stay queued, as in the port.
  incoming.erase(incoming.begin(), incoming.begin() + static_cast<std::ptrdiff_t>(incomingRead));
  incomingRead = 0;
  const PollPlan plan = script.Next(poll);
  switch (plan.kind) {
    case PollKind::kWriteFailure:
      ledger.ExpectFailure(kNotReadyText);
      return {false, 0, kNotReady};
    case PollKind::kReadFailure:
      ledger.ExpectFailure(kUnpluggedText);
      failNextRead = true;
      return {true, 1, 0};
    default:
      break;
  }
  // Pieces come in the order of their delays, after what arrived before: the queue stays sorted.
  for (size_t i = 0; i < plan.pieceCount; ++i) {
    const Piece& piece = plan.pieces[i];
    for (size_t at = piece.offset; at < piece.offset + piece.length; ++at) {
      incoming.emplace_back(nowMs.load() + piece.delayMs, plan.bytes[at]);
    }
  }
  if (plan.hasFrame) {
    ledger.ExpectReading(plan.reading);
  } else {
    ledger.ExpectSilence();
  }
  return {true, 1, 0};
}

SerialIo DayPlatform::Read(uint8_t* buffer, uint32_t capacity) {
  if (std::exchange(failNextRead, false)) return {false, 0, 0};
  const int64_t start = nowMs.load();
  uint32_t count = 0;
  int64_t last = start;
  while (count < capacity && incomingRead < incoming.size()) {
    const int64_t arrival = incoming[incomingRead].first;
    if (arrival > start + kTotalMs || (count > 0 && arrival > last + kIntervalMs)) break;
    buffer[count++] = incoming[incomingRead++].second;
    last = std::max(last, arrival);
  }
  nowMs = count == 0 ? start + kTotalMs
                     : (count == capacity ? last : std::min(last + kIntervalMs, start + kTotalMs));
  return {true, count, 0};
}

// The day is over: the main thread stops the meter, and this query then returns as written, so
// the loop sees the stop before its first read.
void DayPlatform::WaitForStop() {
  handOff.EndDay();
  const auto deadline = std::chrono::steady_clock::now() + UiHandOff::kPatience;
  while (!watched->IsStopRequested()) {
    if (std::chrono::steady_clock::now() > deadline) ExitHung("waiting for the stop after the day");
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
}

}  // namespace endurance
