#pragma once

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <thread>

#include "runner/meter/miernik.h"
#include "runner/meter/ui_task_queue.h"
#include "runner/meter/ui_wake_up.h"
#include "tests/meter/support/recording_sink.h"
#include "tests/meter/support/scripted_meter_platform.h"
#include "tests/support/captured_log.h"
#include "tools/meter_frames/meter_frame_builder.h"

namespace meter_link {

using Lines = std::vector<std::string>;

inline std::vector<uint8_t> Frame(int value) {  // a frame of the 400 lx range
  MeterFrameFields fields;
  fields.value = value;
  return BuildMeterFrame(fields);
}

inline std::vector<uint8_t> Join(std::initializer_list<std::vector<uint8_t>> parts) {
  std::vector<uint8_t> all;
  for (const auto& part : parts) all.insert(all.end(), part.begin(), part.end());
  return all;
}

inline int64_t Wall(int64_t fakeMs) { return ScriptedMeterPlatform::kWallClockStartMs + fakeMs; }

// The lines of `all` from index `from` on that start with `prefix`.
inline Lines Matching(const Lines& all, const std::string& prefix, size_t from = 0) {
  Lines lines;
  for (size_t i = from; i < all.size(); ++i) {
    if (all[i].compare(0, prefix.size(), prefix) == 0) lines.push_back(all[i]);
  }
  return lines;
}

inline std::string Joined(const Lines& lines) {
  std::string text;
  for (const std::string& line : lines) text += (text.empty() ? "" : ",") + line;
  return text;
}

// Stands in for PostMessageW: counts wake-ups, remembers the window, can be told to refuse.
class TestWakeUp final : public UiWakeUp {
 public:
  bool Post(void* window) override {
    lastWindow = window;
    ++posts;
    return !refuse;
  }
  std::atomic<int> posts{0};
  std::atomic<void*> lastWindow{nullptr};
  std::atomic<bool> refuse{false};
};

// A meter over the scripted platform with a recording sink; the test thread plays the UI thread
// and drains the task queue itself.
class MeterFixture : public ::testing::Test {
 protected:
  using Hold = ScriptedMeterPlatform::HoldPoint;

  void SetUp() override {
    ClearCapturedLog();
    SetUiTaskWindow(&wakeUp, wakeUp);
    meter = Miernik::Create(nullptr, platform);
    platform.WatchStopOf(meter.get());
    meter->ReplaceSink(std::make_unique<RecordingSink>(events));
  }
  void TearDown() override {
    if (meter) meter->Stop();
    Drain();
    meter.reset();
    ClearUiTaskWindow();
  }
  void Drain() { RunQueuedTasks(kUiTaskMessage); }

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
    platform.HoldAt(Hold::kFirstSleep, polls);
    ASSERT_TRUE(meter->Start());
    ASSERT_TRUE(platform.WaitUntilHeld()) << "poll " << polls << " never reached its pacing";
    meter->Stop();
    Drain();
  }
  // The platform's journal from entry `from` on, joined with commas.
  std::string Journal(size_t from = 0) {
    return Joined(Matching(platform.Recorded().journal, "", from));
  }
  Lines ErrorTexts() {
    Lines texts;
    for (const auto& map : events->OfKind("blad"))
      texts.push_back(Field<std::string>(map, "tekst"));
    return texts;
  }

  ScriptedMeterPlatform platform;
  TestWakeUp wakeUp;
  std::shared_ptr<RecordedEvents> events = std::make_shared<RecordedEvents>();
  std::shared_ptr<Miernik> meter;
};

}  // namespace meter_link
