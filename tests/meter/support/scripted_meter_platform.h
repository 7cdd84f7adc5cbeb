#pragma once

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <map>
#include <mutex>
#include <system_error>
#include <thread>
#include <utility>

#include "runner/meter/meter_platform.h"
#include "runner/meter/miernik.h"
#include "runner/wide_to_utf8.h"

namespace meter_link {

// A meter platform driven by a script and a fake clock, so the acquisition loop runs
// deterministically: reads, writes and sleeps advance the fake time instead of waiting. The port
// behaves like the meter's line with its time-outs (a read returns 50 ms after the last byte, at
// most 200 ms after it began, or at once when the buffer is full).
class ScriptedMeterPlatform final : public MeterPlatform {
 public:
  struct Chunk {  // bytes that arrive delayMs after the query byte of a poll
    int64_t delayMs;
    std::vector<uint8_t> bytes;
  };
  // Set by the test while no acquisition thread runs. Polls are numbered from 1 across runs.
  struct Script {
    std::vector<MeterPort> ports{{L"\\\\.\\COM7", L"COM7"}};
    std::map<int, std::vector<Chunk>> answers;
    std::vector<Chunk> otherPolls;  // the answer of polls without their own
    std::map<int, SerialIo> writeFailures;
    std::map<int, uint32_t> readFailures;  // the first read of the poll fails with this code
    OpenFailureStage openFailureStage = OpenFailureStage::kOpen;
    uint32_t openFailureCode = 0;  // not 0: every open fails
    bool threadStartFails = false;
    uint32_t tickStart = 0;  // the tick count at fake time 0; it wraps like the system's
  };
  // The platform calls in order: "ports", "thread", "open <path>", "query" (anything but the one
  // query byte is "write?"), "read <count>", "pace" (the first sleep of a poll), "purge",
  // "close", "debug <text>".
  struct Record {
    std::vector<std::string> journal;
    std::vector<int64_t> writeTimes;
    std::vector<uint32_t> sleeps;
  };
  // The acquisition thread can be held at one of these points of a poll until the watched meter
  // is asked to stop or the test releases it.
  enum class HoldPoint { kNone, kOpen, kFirstRead, kFirstSleep };

  static constexpr int64_t kWallClockStartMs = 1700000000000;
  Script script;

  Record Recorded() {
    std::lock_guard<std::mutex> lock(mutex);
    return record;
  }
  void HoldAt(HoldPoint point, int atPoll = 1) {
    std::lock_guard<std::mutex> lock(mutex);
    std::tie(holdPoint, holdPoll, held, released) = std::make_tuple(point, atPoll, false, false);
  }
  void WatchStopOf(const Miernik* meter) { watched = meter; }
  bool WaitUntilHeld() {  // real time, generous; false on time-out
    std::unique_lock<std::mutex> lock(mutex);
    return heldChanged.wait_for(lock, std::chrono::seconds(10), [this] { return held; });
  }
  void Release() {  // lets a held thread go on without a stop request
    std::lock_guard<std::mutex> lock(mutex);
    released = true;
  }

  std::vector<MeterPort> FindMeterPorts() override {
    Note("ports");
    return script.ports;
  }
  std::unique_ptr<SerialLine> OpenSerialLine(const std::wstring& path, OpenFailureStage* stage,
                                             uint32_t* errorCode) override {
    std::unique_lock<std::mutex> lock(mutex);
    record.journal.push_back("open " + WideToUtf8(path));
    MaybeHold(lock, HoldPoint::kOpen);
    if (script.openFailureCode != 0) {
      std::tie(*stage, *errorCode) =
          std::make_pair(script.openFailureStage, script.openFailureCode);
      return nullptr;
    }
    incoming.clear();  // a freshly opened port has empty queues
    return std::make_unique<Line>(*this);
  }
  std::wstring SystemErrorText(uint32_t code) override {
    return L"Błąd urządzenia nr " + std::to_wstring(code) + L".";
  }
  uint32_t TickCount() override { return script.tickStart + static_cast<uint32_t>(nowMs); }
  int64_t MonotonicNanoseconds() override { return 5000000000 + nowMs * 1000000; }
  int64_t WallClockMilliseconds() override { return kWallClockStartMs + nowMs; }
  void SleepMilliseconds(uint32_t milliseconds) override {
    std::unique_lock<std::mutex> lock(mutex);
    record.sleeps.push_back(milliseconds);
    nowMs += milliseconds;
    if (!std::exchange(firstSleepOfPoll, false)) return;
    record.journal.emplace_back("pace");
    MaybeHold(lock, HoldPoint::kFirstSleep);
  }
  void DebugOutput(const char* text) override { Note(std::string("debug ") + text); }
  std::thread StartThread(std::function<void()> body) override {
    if (script.threadStartFails)
      throw std::system_error(std::make_error_code(std::errc::device_or_resource_busy));
    Note("thread");
    return std::thread(std::move(body));
  }

 private:
  class Line final : public SerialLine {
   public:
    explicit Line(ScriptedMeterPlatform& owner) : owner(owner) {}
    ~Line() override { owner.Note("close"); }
    SerialIo Write(const uint8_t* bytes, uint32_t count) override {
      return owner.LineWrite(bytes, count);
    }
    SerialIo Read(uint8_t* buffer, uint32_t capacity) override {
      return owner.LineRead(buffer, capacity);
    }
    void Purge() override { owner.Note("purge"); }

   private:
    ScriptedMeterPlatform& owner;
  };

  void Note(const std::string& event) {
    std::lock_guard<std::mutex> lock(mutex);
    record.journal.push_back(event);
    if (event == "purge") incoming.clear();
  }

  // Called with the lock held. The stop flag is not ours to wait on, so it is looked at every
  // millisecond. A hold nobody ends gives up after a while and fails every later write, so that
  // a faulty meter fails its test instead of hanging the whole program.
  void MaybeHold(std::unique_lock<std::mutex>& lock, HoldPoint point) {
    if (holdPoint != point || (point != HoldPoint::kOpen && poll != holdPoll)) return;
    holdPoint = HoldPoint::kNone;
    held = true;
    heldChanged.notify_all();
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!released && !watched->IsStopRequested() && !gaveUp) {
      gaveUp = std::chrono::steady_clock::now() > deadline;
      heldChanged.wait_for(lock, std::chrono::milliseconds(1));
    }
  }

  SerialIo LineWrite(const uint8_t* bytes, uint32_t count) {
    std::lock_guard<std::mutex> lock(mutex);
    firstReadOfPoll = firstSleepOfPoll = true;
    record.writeTimes.push_back(nowMs);
    record.journal.emplace_back(count == 1 && bytes[0] == 0x11 ? "query" : "write?");
    const auto failure = script.writeFailures.find(++poll);
    if (gaveUp) return {false, 0, 0};
    if (failure != script.writeFailures.end()) return failure->second;
    const auto answer = script.answers.find(poll);
    for (const Chunk& chunk : answer != script.answers.end() ? answer->second : script.otherPolls) {
      for (uint8_t byte : chunk.bytes) incoming.emplace_back(nowMs + chunk.delayMs, byte);
    }
    std::stable_sort(incoming.begin(), incoming.end(),
                     [](const auto& a, const auto& b) { return a.first < b.first; });
    return {true, count, 0};
  }

  SerialIo LineRead(uint8_t* buffer, uint32_t capacity) {
    constexpr int64_t kIntervalMs = 50, kTotalMs = 200;  // the meter line's time-outs
    std::unique_lock<std::mutex> lock(mutex);
    const bool first = std::exchange(firstReadOfPoll, false);
    if (first) MaybeHold(lock, HoldPoint::kFirstRead);
    const auto failure = first ? script.readFailures.find(poll) : script.readFailures.end();
    const int64_t start = nowMs;
    uint32_t count = 0;
    int64_t last = start;
    while (failure == script.readFailures.end() && count < capacity && !incoming.empty()) {
      const int64_t arrival = incoming.front().first;
      if (arrival > start + kTotalMs || (count > 0 && arrival > last + kIntervalMs)) break;
      buffer[count++] = incoming.front().second;
      last = std::max(last, arrival);
      incoming.pop_front();
    }
    nowMs = count == 0
                ? start + kTotalMs
                : (count == capacity ? last : std::min(last + kIntervalMs, start + kTotalMs));
    record.journal.push_back("read " + std::to_string(count));
    if (failure != script.readFailures.end()) return {false, 0, failure->second};
    return {true, count, 0};
  }

  std::mutex mutex;
  std::condition_variable heldChanged;
  const Miernik* watched = nullptr;
  HoldPoint holdPoint = HoldPoint::kNone;
  int holdPoll = 1;
  bool held = false, released = false, gaveUp = false;
  std::atomic<int64_t> nowMs{0};  // written under the lock
  int poll = 0;                   // number of query bytes written so far
  bool firstReadOfPoll = false, firstSleepOfPoll = false;
  std::deque<std::pair<int64_t, uint8_t>> incoming;  // arrival time, byte
  Record record;
};

}  // namespace meter_link
