#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "runner/meter/meter_platform.h"

namespace meter_link {
class Miernik;
}

// A meter platform driven by a script and a fake clock, so the acquisition loop runs
// deterministically: reads, writes and sleeps advance the fake time instead of waiting. The port
// behaves like the meter's line with its time-outs (a read returns 50 ms after the last byte, at
// most 200 ms after it began, or at once when 256 bytes are there). Everything is recorded.
class ScriptedMeterPlatform final : public meter_link::MeterPlatform {
 public:
  // Bytes that arrive delayMs after the query byte of a poll.
  struct Chunk {
    int64_t delayMs;
    std::vector<uint8_t> bytes;
  };

  // The acquisition thread can be held at one of these points until the meter is asked to stop
  // (or the test releases it).
  enum class HoldPoint { kNone, kOpen, kFirstReadOfPoll, kFirstSleepOfPoll };

  static constexpr int64_t kWallClockStartMs = 1700000000000;

  ScriptedMeterPlatform();
  ~ScriptedMeterPlatform() override;

  // --- script, set before the run starts -----------------------------------------------------
  void SetPorts(std::vector<MeterPort> ports);
  void AnswerPoll(int poll, std::vector<Chunk> chunks);
  // From poll on, every poll is answered with the same chunks.
  void AnswerEveryPollFrom(int poll, std::vector<Chunk> chunks);
  void FailWrite(int poll, meter_link::SerialIo result);
  void FailFirstReadOfPoll(int poll, uint32_t error);
  void FailOpen(meter_link::OpenFailureStage stage, uint32_t error);
  void FailThreadStart(bool fail);
  // The tick count at fake time 0 (the tick count wraps like the system's).
  void SetTickStart(uint32_t ticks);
  void HoldAt(HoldPoint point, int poll = 1);
  void WatchStopOf(const meter_link::Miernik* meter);

  // --- control from the test thread ----------------------------------------------------------
  // Waits (real time, generous) until the acquisition thread is held; false on time-out.
  bool WaitUntilHeld();
  // Lets a held thread go on without a stop request.
  void Release();

  // --- what happened ----------------------------------------------------------------------------
  struct Write {
    int64_t atMs;
    std::vector<uint8_t> bytes;
  };
  struct Read {
    int poll;
    int64_t startMs;
    int64_t endMs;
    uint32_t count;
  };
  std::vector<Write> Writes();
  std::vector<Read> Reads();
  std::vector<uint32_t> Sleeps();
  std::vector<std::string> DebugLines();
  std::vector<std::wstring> OpenedPaths();
  int LinesClosed();
  int Purges();
  int ThreadsStarted();
  int PortSearches();
  int64_t NowMs();

  // --- MeterPlatform ----------------------------------------------------------------------------
  std::vector<MeterPort> FindMeterPorts() override;
  std::unique_ptr<meter_link::SerialLine> OpenSerialLine(const std::wstring& path,
                                                         meter_link::OpenFailureStage* stage,
                                                         uint32_t* errorCode) override;
  std::wstring SystemErrorText(uint32_t code) override;
  uint32_t TickCount() override;
  int64_t MonotonicNanoseconds() override;
  int64_t WallClockMilliseconds() override;
  void SleepMilliseconds(uint32_t milliseconds) override;
  void DebugOutput(const char* text) override;
  std::thread StartThread(std::function<void()> body) override;

 private:
  class Line;
  friend class Line;

  meter_link::SerialIo LineWrite(const uint8_t* bytes, uint32_t count);
  meter_link::SerialIo LineRead(uint8_t* buffer, uint32_t capacity);
  void LinePurge();
  void LineClosed();
  // Called with the lock held; waits while the thread is held.
  void HoldHere(std::unique_lock<std::mutex>& lock);
  std::vector<Chunk> ChunksFor(int poll) const;

  struct Pending {
    int64_t arrivalMs;
    uint8_t byte;
  };

  std::mutex mutex;
  std::condition_variable heldChanged;
  int64_t nowMs = 0;
  uint32_t tickStart = 0;
  std::vector<MeterPort> ports;
  std::map<int, std::vector<Chunk>> answers;
  int answerEveryFrom = 0;
  std::vector<Chunk> answerEvery;
  std::map<int, meter_link::SerialIo> writeFailures;
  std::map<int, uint32_t> readFailures;
  bool openFails = false;
  meter_link::OpenFailureStage openFailureStage = meter_link::OpenFailureStage::kOpen;
  uint32_t openFailureCode = 0;
  bool threadStartFails = false;
  HoldPoint holdPoint = HoldPoint::kNone;
  int holdPoll = 1;
  bool held = false;
  bool released = false;
  const meter_link::Miernik* watched = nullptr;

  int poll = 0;  // number of query bytes written so far
  bool firstReadOfPoll = false;
  bool firstSleepOfPoll = false;
  std::deque<Pending> incoming;

  std::vector<Write> writes;
  std::vector<Read> reads;
  std::vector<uint32_t> sleeps;
  std::vector<std::string> debugLines;
  std::vector<std::wstring> openedPaths;
  int linesClosed = 0;
  int purges = 0;
  int threadsStarted = 0;
  int portSearches = 0;
};
