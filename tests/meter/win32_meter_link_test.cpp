// The whole meter link under Wine against the meter simulator: discovery, the real serial line,
// the Win32 clocks and sleeps, the acquisition thread and the task queue with a real window.
// Deadlines are generous; nothing here asserts tight timing.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <memory>
#include <string>

#include "runner/meter/miernik.h"
#include "runner/meter/ui_task_queue.h"
#include "runner/meter/win32_meter_platform.h"
#include "runner/meter/win32_ui_wake_up.h"
#include "runner/wide_to_utf8.h"
#include "tests/meter/support/recording_sink.h"
#include "tests/meter/win32_message_window.h"
#include "tests/support/meter_simulator_client.h"

namespace meter_link {
namespace {

using ::testing::ElementsAre;
using Kinds = std::vector<std::string>;

class Win32MeterLinkTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string error;
    simulator = MeterSimulatorClient::FromEnvironment(&error);
    ASSERT_NE(simulator, nullptr) << error;
    ASSERT_EQ(simulator->Command("reset"), "ok");
    ClearUiTaskWindow();
    ASSERT_NE(window.Handle(), nullptr);
    SetUiTaskWindow(window.Handle(), Win32UiWakeUp());
    meter = Miernik::Create(nullptr, Win32MeterPlatform());
    meter->ReplaceSink(std::make_unique<RecordingSink>(events));
  }

  void TearDown() override {
    if (meter) meter->Stop();
    meter.reset();
    ClearUiTaskWindow();
    if (simulator) simulator->Command("plug");  // after a failed check; refused when plugged
  }

  // Pumps messages until `count` events of `kind` arrived after the first `from` events.
  bool WaitForEvents(const std::string& kind, size_t count, size_t from = 0) {
    return PumpMessagesUntil([&] { return Since(from, kind) >= count; }, 15000);
  }

  size_t Since(size_t from, const std::string& kind) {
    const Kinds kinds = events->Kinds();
    if (kinds.size() < from) return 0;
    return static_cast<size_t>(
        std::count(kinds.begin() + static_cast<std::ptrdiff_t>(from), kinds.end(), kind));
  }

  std::unique_ptr<MeterSimulatorClient> simulator;
  MessageWindow window;
  std::shared_ptr<RecordedEvents> events = std::make_shared<RecordedEvents>();
  std::shared_ptr<Miernik> meter;
};

TEST_F(Win32MeterLinkTest, ReadingsArriveAboutOncePerSecondUntilStopped) {
  ASSERT_EQ(simulator->Command("value 2345 2 0"), "ok");
  const auto started = std::chrono::steady_clock::now();
  ASSERT_TRUE(meter->Start());
  ASSERT_TRUE(WaitForEvents("pomiar", 3)) << "readings did not arrive";
  // At most one poll per second: the third reading cannot come much before two seconds.
  EXPECT_GT(std::chrono::steady_clock::now() - started, std::chrono::milliseconds(1500));
  EXPECT_THAT(events->Kinds(), ElementsAre("stan", "pomiar", "pomiar", "pomiar"));
  for (const auto& map : events->OfKind("pomiar")) {
    EXPECT_EQ(std::make_tuple(Field<int32_t>(map, "raw"), Field<std::string>(map, "zakres"),
                              Field<double>(map, "lux"), Field<bool>(map, "ol")),
              std::make_tuple(2345, std::string("4000 lx"), 2345.0, false));
  }

  const size_t before = events->All().size();
  const auto stopping = std::chrono::steady_clock::now();
  meter->Stop();
  EXPECT_LT(std::chrono::steady_clock::now() - stopping, std::chrono::seconds(3));
  EXPECT_FALSE(meter->IsPortOpen());
  ASSERT_TRUE(WaitForEvents("stan", 1, before)) << "the ending run reports the state";
  ASSERT_TRUE(meter->Start());
  ASSERT_TRUE(WaitForEvents("pomiar", 1, before + 1)) << "the port is free again";
}

TEST_F(Win32MeterLinkTest, PulledCableEndsTheRunAndStartWaitsForTheCable) {
  ASSERT_TRUE(meter->Start());
  ASSERT_TRUE(WaitForEvents("pomiar", 1));
  size_t before = events->All().size();
  ASSERT_EQ(simulator->Command("unplug"), "ok");
  ASSERT_TRUE(WaitForEvents("stan", 1, before)) << "the run ends with a state event";
  ASSERT_TRUE(PumpMessagesUntil([&] { return !meter->IsRunning(); }, 5000));
  // Under Wine a closed pty is not reported by ReadFile (the poll under way may end with "brak");
  // the next WriteFile fails with 21.
  EXPECT_EQ(Since(before, "blad"), 1u);
  EXPECT_EQ(events->Kinds().back(), "stan");
  ASSERT_FALSE(events->OfKind("blad").empty());
  EXPECT_EQ(Field<std::string>(events->OfKind("blad").back(), "tekst"),
            WideToUtf8(Win32MeterPlatform().SystemErrorText(21)));
  EXPECT_FALSE(meter->IsPortOpen());

  before = events->All().size();
  EXPECT_FALSE(meter->Start());
  ASSERT_TRUE(WaitForEvents("stan", 1, before));
  const Kinds kinds = events->Kinds();
  ASSERT_EQ(kinds.size(), before + 2);
  EXPECT_EQ(Kinds(kinds.begin() + static_cast<std::ptrdiff_t>(before), kinds.end()),
            Kinds({"blad", "stan"}));
  EXPECT_EQ(Field<std::string>(events->OfKind("blad").back(), "tekst"),
            "Nie widzę miernika Sonel na USB");
  EXPECT_FALSE(Field<bool>(events->OfKind("stan").back(), "podlaczony"));

  ASSERT_EQ(simulator->Command("plug"), "ok");
  before = events->All().size();
  ASSERT_TRUE(meter->Start());
  ASSERT_TRUE(WaitForEvents("pomiar", 1, before)) << "a new run after the cable came back";
}

}  // namespace
}  // namespace meter_link
