// The whole meter link under Wine against the meter simulator: discovery, the real serial line,
// the acquisition thread, the task queue with a real window, and a recording sink in place of the
// event stream. Deadlines are generous; nothing here asserts tight timing.

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <windows.h>

#include <chrono>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "channels/event_sink.h"
#include "runner/meter/miernik.h"
#include "runner/meter/ui_task_queue.h"
#include "runner/meter/win32_meter_platform.h"
#include "runner/meter/win32_ui_wake_up.h"
#include "runner/wide_to_utf8.h"
#include "tests/meter/support/recording_sink.h"
#include "tests/meter/win32/message_window.h"
#include "tests/support/captured_log.h"
#include "tests/support/meter_simulator_client.h"

namespace {

using namespace meter_link;

using std::chrono::milliseconds;
using std::chrono::steady_clock;

// Records each event with the time it was handed over on the UI thread.
class TimedSink final : public flutter::EventSink<flutter::EncodableValue> {
 public:
  struct Event {
    std::string kind;
    flutter::EncodableMap map;
    steady_clock::time_point at;
  };

  explicit TimedSink(std::shared_ptr<std::vector<Event>> events) : events(std::move(events)) {}

 protected:
  void SuccessInternal(const flutter::EncodableValue* event) override {
    if (event == nullptr) return;
    events->push_back({RecordedEvents::KindOf(*event), std::get<flutter::EncodableMap>(*event),
                       steady_clock::now()});
  }
  void ErrorInternal(const std::string&, const std::string&,
                     const flutter::EncodableValue*) override {}
  void EndOfStreamInternal() override {}

 private:
  std::shared_ptr<std::vector<Event>> events;
};

class MeterLinkWineTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string error;
    simulator = MeterSimulatorClient::FromEnvironment(&error);
    ASSERT_NE(simulator, nullptr) << error;
    if (simulator->Command("plugged?") == "plugged 0") {
      ASSERT_EQ(simulator->Command("plug"), "ok");
    }
    ASSERT_EQ(simulator->Command("reset"), "ok");
    ClearUiTaskWindow();
    ASSERT_NE(window.Handle(), nullptr);
    SetUiTaskWindow(window.Handle(), Win32UiWakeUp());
    meter = meter_link::Miernik::Create(nullptr, meter_link::Win32MeterPlatform());
    meter->ReplaceSink(std::make_unique<TimedSink>(events));
  }

  void TearDown() override {
    if (meter) meter->Stop();
    PumpMessagesUntil([] { return false; }, 50);
    meter.reset();
    ClearUiTaskWindow();
  }

  size_t Count(const std::string& kind, size_t from = 0) const {
    size_t count = 0;
    for (size_t i = from; i < events->size(); ++i) count += (*events)[i].kind == kind;
    return count;
  }

  // Pumps messages until `count` events of `kind` arrived after index `from`.
  bool WaitForEvents(const std::string& kind, size_t count, size_t from = 0,
                     DWORD timeoutMs = 15000) {
    return PumpMessagesUntil([&] { return Count(kind, from) >= count; }, timeoutMs);
  }

  std::vector<TimedSink::Event> OfKind(const std::string& kind) const {
    std::vector<TimedSink::Event> found;
    for (const auto& event : *events) {
      if (event.kind == kind) found.push_back(event);
    }
    return found;
  }

  std::unique_ptr<MeterSimulatorClient> simulator;
  MessageWindow window;
  std::shared_ptr<std::vector<TimedSink::Event>> events =
      std::make_shared<std::vector<TimedSink::Event>>();
  std::shared_ptr<meter_link::Miernik> meter;
};

TEST_F(MeterLinkWineTest, ReadingsArriveAboutOncePerSecondWithTheMetersValues) {
  ASSERT_EQ(simulator->Command("value 2345 2 0"), "ok");
  ASSERT_TRUE(meter->Start());
  ASSERT_TRUE(WaitForEvents("pomiar", 3)) << "readings did not arrive";

  const auto states = OfKind("stan");
  ASSERT_FALSE(states.empty());
  EXPECT_EQ(events->front().kind, "stan") << "the port opening is reported first";
  EXPECT_TRUE(::Field<bool>(states.front().map, "podlaczony"));
  const auto readings = OfKind("pomiar");
  for (const auto& reading : readings) {
    EXPECT_EQ(::Field<int32_t>(reading.map, "raw"), 2345);
    EXPECT_EQ(::Field<int32_t>(reading.map, "kod"), 2);
    EXPECT_EQ(::Field<std::string>(reading.map, "zakres"), "4000 lx");
    EXPECT_EQ(::Field<double>(reading.map, "lux"), 2345.0);
    EXPECT_FALSE(::Field<bool>(reading.map, "ol"));
  }
  // At most one poll per second: readings cannot come much closer than that.
  for (size_t i = 1; i < readings.size(); ++i) {
    EXPECT_GT(readings[i].at - readings[i - 1].at, milliseconds(700));
  }
  EXPECT_EQ(Count("brak"), 0u);
  EXPECT_EQ(Count("blad"), 0u);
  EXPECT_TRUE(meter->IsRunning());
}

TEST_F(MeterLinkWineTest, SilentMeterGivesMissingReadings) {
  ASSERT_EQ(simulator->Command("mode silent"), "ok");
  ASSERT_TRUE(meter->Start());
  ASSERT_TRUE(WaitForEvents("brak", 2));
  EXPECT_EQ(Count("pomiar"), 0u);
  EXPECT_GE(simulator->Number("polls?"), 2);
}

TEST_F(MeterLinkWineTest, PulledCableEndsTheRunAndAReplugAllowsANewStart) {
  ASSERT_TRUE(meter->Start());
  ASSERT_TRUE(WaitForEvents("pomiar", 1));
  const size_t before = events->size();
  ASSERT_EQ(simulator->Command("unplug"), "ok");
  ASSERT_TRUE(WaitForEvents("blad", 1, before));
  ASSERT_TRUE(WaitForEvents("stan", 1, before)) << "a state event follows the error";
  ASSERT_TRUE(PumpMessagesUntil([&] { return !meter->IsRunning(); }, 5000));
  EXPECT_EQ(Count("blad", before), 1u);
  // Under Wine a closed pty is not reported by ReadFile; the next WriteFile fails with 21.
  EXPECT_EQ(::Field<std::string>(OfKind("blad").back().map, "tekst"),
            WideToUtf8(meter_link::Win32MeterPlatform().SystemErrorText(21)));
  const auto lastKinds = OfKind("stan");
  EXPECT_GT(lastKinds.back().at, OfKind("blad").back().at);
  EXPECT_FALSE(meter->IsPortOpen());

  ASSERT_EQ(simulator->Command("plug"), "ok");
  const size_t replugged = events->size();
  ASSERT_TRUE(meter->Start());
  ASSERT_TRUE(WaitForEvents("pomiar", 1, replugged)) << "a new run after the cable came back";
}

TEST_F(MeterLinkWineTest, StopReturnsPromptlyWithThePortClosed) {
  ASSERT_TRUE(meter->Start());
  ASSERT_TRUE(WaitForEvents("pomiar", 1));
  const size_t before = events->size();
  const auto started = steady_clock::now();
  meter->Stop();
  const auto took = steady_clock::now() - started;
  EXPECT_LT(took, std::chrono::seconds(3));
  EXPECT_FALSE(meter->IsRunning());
  EXPECT_FALSE(meter->IsPortOpen());
  ASSERT_TRUE(WaitForEvents("stan", 1, before)) << "the ending run reports the state";
  // The port is free again: another open succeeds.
  ASSERT_TRUE(meter->Start());
  ASSERT_TRUE(WaitForEvents("pomiar", 1, events->size()));
}

TEST_F(MeterLinkWineTest, StartWithoutDeviceReportsTheMissingMeter) {
  ASSERT_EQ(simulator->Command("unplug"), "ok");
  EXPECT_FALSE(meter->Start());
  ASSERT_TRUE(WaitForEvents("stan", 1));
  ASSERT_EQ(events->size(), 2u);
  EXPECT_EQ((*events)[0].kind, "blad");
  EXPECT_EQ(::Field<std::string>((*events)[0].map, "tekst"), "Nie widzę miernika Sonel na USB");
  EXPECT_FALSE(::Field<bool>((*events)[1].map, "podlaczony"));
  EXPECT_FALSE(meter->IsRunning());
  ASSERT_EQ(simulator->Command("plug"), "ok");
}

}  // namespace
