#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "runner/meter/miernik.h"
#include "runner/meter/ui_task_queue.h"
#include "tests/meter/support/recording_sink.h"
#include "tests/meter/support/scripted_meter_platform.h"
#include "tests/meter/support/test_wake_up.h"
#include "tests/support/captured_log.h"
#include "tools/meter_frames/meter_frame_builder.h"

// A frame of the 400 lx range numbered 7.
inline std::vector<uint8_t> Frame(int value) {
  MeterFrameFields fields;
  fields.value = value;
  fields.number = 7;
  return BuildMeterFrame(fields);
}

inline int64_t Wall(int64_t fakeMs) { return ScriptedMeterPlatform::kWallClockStartMs + fakeMs; }

// A meter over the scripted platform with a recording sink; the test thread plays the UI thread
// and drains the task queue itself.
class MeterFixture : public ::testing::Test {
 protected:
  using Hold = ScriptedMeterPlatform::HoldPoint;
  using Bytes = std::vector<uint8_t>;

  void SetUp() override {
    meter_link::ClearUiTaskWindow();
    ClearCapturedLog();
    meter_link::SetUiTaskWindow(&wakeUp, wakeUp);
    meter = meter_link::Miernik::Create(nullptr, platform);
    platform.WatchStopOf(meter.get());
    meter->ReplaceSink(std::make_unique<RecordingSink>(events));
  }

  void TearDown() override {
    if (!meter) meter = meter_link::Miernik::Create(nullptr, platform);
    meter->Stop();
    Drain();
    meter.reset();
    meter_link::ClearUiTaskWindow();
  }

  void Drain() { meter_link::RunQueuedTasks(meter_link::kUiTaskMessage); }

  // Polls done() in real time with a generous deadline; false on time-out.
  static bool WaitUntil(const std::function<bool()>& done) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!done() && std::chrono::steady_clock::now() < deadline) {
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return done();
  }

  // Waits until the run ends by itself, collects its thread and delivers its events.
  void WaitForEnd() {
    ASSERT_TRUE(WaitUntil([this] { return !meter->IsRunning(); })) << "the run did not end";
    meter->Stop();
    Drain();
  }

  // Starts a run, lets it poll `polls` times and stops it while it paces after the last poll.
  void RunPolls(int polls) {
    platform.HoldAt(Hold::kFirstSleepOfPoll, polls);
    ASSERT_TRUE(meter->Start());
    ASSERT_TRUE(platform.WaitUntilHeld()) << "poll " << polls << " never reached its pacing";
    meter->Stop();
    Drain();
  }

  static std::vector<std::string> LogLinesStartingWith(const std::string& prefix) {
    std::vector<std::string> lines;
    for (const std::string& line : CapturedLogLines()) {
      if (line.compare(0, prefix.size(), prefix) == 0) lines.push_back(line);
    }
    return lines;
  }

  int LinesClosed() {
    const auto journal = platform.Recorded().journal;
    return static_cast<int>(std::count(journal.begin(), journal.end(), "close"));
  }

  std::string ErrorText(size_t index = 0) {
    return ::Field<std::string>(events->OfKind("blad").at(index), "tekst");
  }

  ScriptedMeterPlatform platform;
  TestWakeUp wakeUp;
  std::shared_ptr<RecordedEvents> events = std::make_shared<RecordedEvents>();
  std::shared_ptr<meter_link::Miernik> meter;
};
