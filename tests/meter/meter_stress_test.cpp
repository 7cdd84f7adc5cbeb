// Start, stop and event delivery under stress, for ThreadSanitizer: an acquisition thread that
// polls as fast as it can, a second producer emitting from its own thread, a UI thread that drains
// the queue, replaces the sink and starts and stops the meter, and at the end the last reference
// dropped on the acquisition thread.

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <thread>

#include "runner/meter/miernik.h"
#include "runner/meter/ui_task_queue.h"
#include "tests/meter/support/recording_sink.h"
#include "tests/meter/support/test_wake_up.h"
#include "tests/support/captured_log.h"
#include "tools/meter_frames/meter_frame_builder.h"

namespace {

using namespace meter_link;

using meter_link::SerialIo;

// Fake time runs fifty times faster than real time, so a poll takes some 20 ms (and the UI thread
// keeps up with the events, also under Wine, whose sleeps are no shorter than a millisecond);
// every 23rd query fails, so runs also end by themselves.
class RacingPlatform final : public meter_link::MeterPlatform {
 public:
  std::vector<MeterPort> FindMeterPorts() override { return {{L"\\\\.\\COM3", L"COM3"}}; }

  std::unique_ptr<meter_link::SerialLine> OpenSerialLine(const std::wstring&,
                                                         meter_link::OpenFailureStage*,
                                                         uint32_t*) override {
    return std::make_unique<Line>(*this);
  }

  std::wstring SystemErrorText(uint32_t code) override { return L"błąd " + std::to_wstring(code); }
  uint32_t TickCount() override { return static_cast<uint32_t>(nowMs.load()); }
  int64_t MonotonicNanoseconds() override { return nowMs.load() * 1000000; }
  int64_t WallClockMilliseconds() override { return nowMs.load(); }
  void SleepMilliseconds(uint32_t milliseconds) override {
    nowMs += milliseconds;
    std::this_thread::sleep_for(std::chrono::microseconds(milliseconds * 20));
  }
  void DebugOutput(const char*) override {}

  std::atomic<int> queries{0};

 private:
  class Line final : public meter_link::SerialLine {
   public:
    explicit Line(RacingPlatform& owner) : owner(owner) {}
    SerialIo Write(const uint8_t*, uint32_t count) override {
      const int query = ++owner.queries;
      if (query % 23 == 0) return {false, 0, query % 2 == 0 ? 0u : 21u};
      return {true, count, 0};
    }
    SerialIo Read(uint8_t* buffer, uint32_t capacity) override {
      owner.nowMs += 80;
      const auto frame = BuildMeterFrame({owner.queries.load() % 25000, 2, false, 1});
      const uint32_t count = std::min<uint32_t>(capacity, static_cast<uint32_t>(frame.size()));
      std::copy(frame.begin(), frame.begin() + count, buffer);
      return {true, count, 0};
    }
    void Purge() override {}

   private:
    RacingPlatform& owner;
  };

  std::atomic<int64_t> nowMs{0};
};

void DrainFor(TestWakeUp& wakeUp, std::chrono::milliseconds duration) {
  const auto until = std::chrono::steady_clock::now() + duration;
  while (std::chrono::steady_clock::now() < until) {
    wakeUp.WaitBeyond(wakeUp.Posts(), std::chrono::milliseconds(1));
    RunQueuedTasks(kUiTaskMessage);
  }
}

TEST(MeterStressTest, StartStopAndEmitRaceFree) {
  ClearUiTaskWindow();
  RacingPlatform platform;
  TestWakeUp wakeUp;
  SetUiTaskWindow(&wakeUp, wakeUp);
  auto events = std::make_shared<RecordedEvents>();
  auto meter = meter_link::Miernik::Create(nullptr, platform);
  meter->ReplaceSink(std::make_unique<RecordingSink>(events));

  std::atomic<bool> producing{true};
  std::thread producer([meter, &producing] {
    MeterReading reading;
    while (producing.load()) {
      meter->EmitText("z drugiego wątku");
      meter->EmitReading(reading);
      meter->PostState();
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
  });

  for (int round = 0; round < 40; ++round) {
    EXPECT_TRUE(meter->Start());
    DrainFor(wakeUp, std::chrono::milliseconds(round % 4 == 0 ? 1 : 30));
    if (round % 3 == 0) meter->ReplaceSink(std::make_unique<RecordingSink>(events));
    if (round % 7 == 0) meter->ReplaceSink(nullptr);
    meter->Stop();
    EXPECT_FALSE(meter->IsRunning());
    EXPECT_FALSE(meter->IsPortOpen());
    DrainFor(wakeUp, std::chrono::milliseconds(1));
  }
  producing = false;
  producer.join();
  DrainFor(wakeUp, std::chrono::milliseconds(5));
  EXPECT_GT(platform.queries.load(), 0);
  EXPECT_GT(events->All().size(), 0u);

  // The last reference goes on the acquisition thread: the queue refuses its tasks and the UI
  // side lets go while the run is still going; the run ends at its next failed query.
  ASSERT_TRUE(meter->Start());
  ClearUiTaskWindow();
  std::weak_ptr<meter_link::Miernik> watched = meter;
  meter.reset();
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (!watched.expired() && std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  EXPECT_TRUE(watched.expired());
  // Give the detached thread a moment to finish returning before the platform goes.
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
}

}  // namespace
