#include "tests/meter/support/scripted_meter_platform.h"

#include <algorithm>
#include <chrono>
#include <system_error>
#include <utility>

#include "runner/meter/miernik.h"

using meter_link::OpenFailureStage;
using meter_link::SerialIo;

namespace {

// The meter line's time-outs.
constexpr int64_t kIntervalMs = 50;
constexpr int64_t kTotalMs = 200;

}  // namespace

class ScriptedMeterPlatform::Line final : public meter_link::SerialLine {
 public:
  explicit Line(ScriptedMeterPlatform& owner) : owner(owner) {}
  ~Line() override { owner.LineClosed(); }
  SerialIo Write(const uint8_t* bytes, uint32_t count) override {
    return owner.LineWrite(bytes, count);
  }
  SerialIo Read(uint8_t* buffer, uint32_t capacity) override {
    return owner.LineRead(buffer, capacity);
  }
  void Purge() override { owner.LinePurge(); }

 private:
  ScriptedMeterPlatform& owner;
};

ScriptedMeterPlatform::ScriptedMeterPlatform() : ports{{L"\\\\.\\COM7", L"COM7"}} {}

ScriptedMeterPlatform::~ScriptedMeterPlatform() = default;

void ScriptedMeterPlatform::SetPorts(std::vector<MeterPort> newPorts) {
  std::lock_guard<std::mutex> lock(mutex);
  ports = std::move(newPorts);
}

void ScriptedMeterPlatform::AnswerPoll(int atPoll, std::vector<Chunk> chunks) {
  std::lock_guard<std::mutex> lock(mutex);
  answers[atPoll] = std::move(chunks);
}

void ScriptedMeterPlatform::AnswerEveryPollFrom(int fromPoll, std::vector<Chunk> chunks) {
  std::lock_guard<std::mutex> lock(mutex);
  answerEveryFrom = fromPoll;
  answerEvery = std::move(chunks);
}

void ScriptedMeterPlatform::FailWrite(int atPoll, SerialIo result) {
  std::lock_guard<std::mutex> lock(mutex);
  writeFailures[atPoll] = result;
}

void ScriptedMeterPlatform::FailFirstReadOfPoll(int atPoll, uint32_t error) {
  std::lock_guard<std::mutex> lock(mutex);
  readFailures[atPoll] = error;
}

void ScriptedMeterPlatform::FailOpen(OpenFailureStage stage, uint32_t error) {
  std::lock_guard<std::mutex> lock(mutex);
  openFails = true;
  openFailureStage = stage;
  openFailureCode = error;
}

void ScriptedMeterPlatform::FailThreadStart(bool fail) {
  std::lock_guard<std::mutex> lock(mutex);
  threadStartFails = fail;
}

void ScriptedMeterPlatform::SetTickStart(uint32_t ticks) {
  std::lock_guard<std::mutex> lock(mutex);
  tickStart = ticks;
}

void ScriptedMeterPlatform::HoldAt(HoldPoint point, int atPoll) {
  std::lock_guard<std::mutex> lock(mutex);
  holdPoint = point;
  holdPoll = atPoll;
  held = false;
  released = false;
}

void ScriptedMeterPlatform::WatchStopOf(const meter_link::Miernik* meter) {
  std::lock_guard<std::mutex> lock(mutex);
  watched = meter;
}

bool ScriptedMeterPlatform::WaitUntilHeld() {
  std::unique_lock<std::mutex> lock(mutex);
  return heldChanged.wait_for(lock, std::chrono::seconds(10), [this] { return held; });
}

void ScriptedMeterPlatform::Release() {
  std::lock_guard<std::mutex> lock(mutex);
  released = true;
  heldChanged.notify_all();
}

void ScriptedMeterPlatform::HoldHere(std::unique_lock<std::mutex>& lock) {
  holdPoint = HoldPoint::kNone;
  held = true;
  heldChanged.notify_all();
  // The stop flag is not ours to wait on, so it is looked at every millisecond.
  while (!released && !(watched != nullptr && watched->IsStopRequested())) {
    heldChanged.wait_for(lock, std::chrono::milliseconds(1));
  }
}

std::vector<ScriptedMeterPlatform::Chunk> ScriptedMeterPlatform::ChunksFor(int atPoll) const {
  const auto found = answers.find(atPoll);
  if (found != answers.end()) return found->second;
  if (answerEveryFrom > 0 && atPoll >= answerEveryFrom) return answerEvery;
  return {};
}

std::vector<MeterPort> ScriptedMeterPlatform::FindMeterPorts() {
  std::lock_guard<std::mutex> lock(mutex);
  ++portSearches;
  return ports;
}

std::unique_ptr<meter_link::SerialLine> ScriptedMeterPlatform::OpenSerialLine(
    const std::wstring& path, OpenFailureStage* stage, uint32_t* errorCode) {
  std::unique_lock<std::mutex> lock(mutex);
  openedPaths.push_back(path);
  if (holdPoint == HoldPoint::kOpen) HoldHere(lock);
  if (openFails) {
    if (stage != nullptr) *stage = openFailureStage;
    if (errorCode != nullptr) *errorCode = openFailureCode;
    return nullptr;
  }
  // A freshly opened port has empty queues.
  incoming.clear();
  return std::make_unique<Line>(*this);
}

std::wstring ScriptedMeterPlatform::SystemErrorText(uint32_t code) {
  return L"Błąd urządzenia nr " + std::to_wstring(code) + L".";
}

uint32_t ScriptedMeterPlatform::TickCount() {
  std::lock_guard<std::mutex> lock(mutex);
  return tickStart + static_cast<uint32_t>(nowMs);
}

int64_t ScriptedMeterPlatform::MonotonicNanoseconds() {
  std::lock_guard<std::mutex> lock(mutex);
  return 5000000000 + nowMs * 1000000;
}

int64_t ScriptedMeterPlatform::WallClockMilliseconds() {
  std::lock_guard<std::mutex> lock(mutex);
  return kWallClockStartMs + nowMs;
}

void ScriptedMeterPlatform::SleepMilliseconds(uint32_t milliseconds) {
  std::unique_lock<std::mutex> lock(mutex);
  sleeps.push_back(milliseconds);
  nowMs += milliseconds;
  const bool first = firstSleepOfPoll;
  firstSleepOfPoll = false;
  if (first && holdPoint == HoldPoint::kFirstSleepOfPoll && poll == holdPoll) HoldHere(lock);
}

void ScriptedMeterPlatform::DebugOutput(const char* text) {
  std::lock_guard<std::mutex> lock(mutex);
  debugLines.emplace_back(text);
}

std::thread ScriptedMeterPlatform::StartThread(std::function<void()> body) {
  {
    std::lock_guard<std::mutex> lock(mutex);
    if (threadStartFails) {
      throw std::system_error(std::make_error_code(std::errc::resource_unavailable_try_again),
                              "thread refused by the script");
    }
    ++threadsStarted;
  }
  return std::thread(std::move(body));
}

SerialIo ScriptedMeterPlatform::LineWrite(const uint8_t* bytes, uint32_t count) {
  std::lock_guard<std::mutex> lock(mutex);
  ++poll;
  firstReadOfPoll = true;
  firstSleepOfPoll = true;
  writes.push_back({nowMs, std::vector<uint8_t>(bytes, bytes + count)});
  const auto failure = writeFailures.find(poll);
  if (failure != writeFailures.end()) return failure->second;
  for (const Chunk& chunk : ChunksFor(poll)) {
    for (uint8_t byte : chunk.bytes) incoming.push_back({nowMs + chunk.delayMs, byte});
  }
  std::stable_sort(incoming.begin(), incoming.end(),
                   [](const Pending& a, const Pending& b) { return a.arrivalMs < b.arrivalMs; });
  return {true, count, 0};
}

SerialIo ScriptedMeterPlatform::LineRead(uint8_t* buffer, uint32_t capacity) {
  std::unique_lock<std::mutex> lock(mutex);
  const bool first = firstReadOfPoll;
  firstReadOfPoll = false;
  if (first && holdPoint == HoldPoint::kFirstReadOfPoll && poll == holdPoll) HoldHere(lock);
  const int64_t start = nowMs;
  if (first) {
    const auto failure = readFailures.find(poll);
    if (failure != readFailures.end()) {
      reads.push_back({poll, start, start, 0});
      return {false, 0, failure->second};
    }
  }
  uint32_t count = 0;
  int64_t last = start;
  while (count < capacity && !incoming.empty()) {
    const int64_t arrival = incoming.front().arrivalMs;
    if (arrival > start + kTotalMs) break;
    if (count > 0 && arrival > std::max(last, start) + kIntervalMs) break;
    buffer[count++] = incoming.front().byte;
    last = std::max(last, arrival);
    incoming.pop_front();
  }
  if (count == 0) {
    nowMs = start + kTotalMs;
  } else if (count == capacity) {
    nowMs = last;
  } else {
    nowMs = std::min(last + kIntervalMs, start + kTotalMs);
  }
  reads.push_back({poll, start, nowMs, count});
  return {true, count, 0};
}

void ScriptedMeterPlatform::LinePurge() {
  std::lock_guard<std::mutex> lock(mutex);
  ++purges;
  incoming.clear();
}

void ScriptedMeterPlatform::LineClosed() {
  std::lock_guard<std::mutex> lock(mutex);
  ++linesClosed;
}

#define RECORD_GETTER(Type, Name, field)     \
  Type ScriptedMeterPlatform::Name() {       \
    std::lock_guard<std::mutex> lock(mutex); \
    return field;                            \
  }
RECORD_GETTER(std::vector<ScriptedMeterPlatform::Write>, Writes, writes)
RECORD_GETTER(std::vector<ScriptedMeterPlatform::Read>, Reads, reads)
RECORD_GETTER(std::vector<uint32_t>, Sleeps, sleeps)
RECORD_GETTER(std::vector<std::string>, DebugLines, debugLines)
RECORD_GETTER(std::vector<std::wstring>, OpenedPaths, openedPaths)
RECORD_GETTER(int, LinesClosed, linesClosed)
RECORD_GETTER(int, Purges, purges)
RECORD_GETTER(int, ThreadsStarted, threadsStarted)
RECORD_GETTER(int, PortSearches, portSearches)
RECORD_GETTER(int64_t, NowMs, nowMs)
#undef RECORD_GETTER
