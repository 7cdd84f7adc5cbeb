#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <system_error>

#include "tests/meter/support/meter_fixture.h"

namespace {

using namespace meter_link;

using ::testing::ElementsAre;

using MeterStartTest = MeterFixture;

TEST_F(MeterStartTest, StartsOneRunOnTheFirstPortAndASecondStartDoesNothing) {
  platform.script.ports = {{L"\\\\.\\COM12", L"COM12"}, {L"\\\\.\\COM3", L"COM3"}};
  platform.HoldAt(Hold::kOpen);
  EXPECT_TRUE(meter->Start());
  EXPECT_TRUE(meter->IsRunning());
  ASSERT_TRUE(platform.WaitUntilHeld());
  EXPECT_THAT(LogLinesStartingWith("start:"),
              ElementsAre("start: wejście", "start: portów=2", "start: wątek uruchomiony"));
  EXPECT_THAT(platform.Recorded().journal, ElementsAre("open \\\\.\\COM12"));

  ClearCapturedLog();
  EXPECT_TRUE(meter->Start()) << "a second start while running does nothing";
  EXPECT_THAT(LogLinesStartingWith("start:"), ElementsAre("start: wejście", "start: już działa"));
  EXPECT_EQ(platform.Recorded().threadsStarted, 1);
  EXPECT_EQ(platform.Recorded().portSearches, 1);
}

TEST_F(MeterStartTest, WithoutAPortReportsTheMissingMeter) {
  platform.script.ports = {};
  EXPECT_FALSE(meter->Start());
  EXPECT_FALSE(meter->IsRunning());
  EXPECT_EQ(platform.Recorded().threadsStarted, 0);
  EXPECT_THAT(CapturedLogLines(), ElementsAre("start: wejście", "start: portów=0",
                                              "emisja: zlecę zadanie", "emisja: zadanie zlecone",
                                              "stan: zlecę zadanie", "stan: zadanie zlecone"));
  Drain();
  EXPECT_THAT(events->Kinds(), ElementsAre("blad", "stan"));
  EXPECT_EQ(::Field<std::string>(events->OfKind("blad")[0], "tekst"),
            "Nie widzę miernika Sonel na USB");
  EXPECT_EQ(::Field<bool>(events->OfKind("stan")[0], "podlaczony"), false);
}

TEST_F(MeterStartTest, StartAfterTheRunEndedByItselfBeginsANewRun) {
  platform.script.writeFailures[1] = meter_link::SerialIo{false, 0, 0};
  ASSERT_TRUE(meter->Start());
  ASSERT_TRUE(WaitUntil([this] { return !meter->IsRunning(); }));

  platform.script.otherPolls = {{30, Frame(64)}};
  RunPolls(2);  // joins the ended thread first, then polls again
  EXPECT_EQ(platform.Recorded().threadsStarted, 2);
  EXPECT_EQ(LinesClosed(), 2) << "each run opened and closed its port";
  EXPECT_THAT(events->Kinds(), ElementsAre("stan", "blad", "stan", "stan", "pomiar", "stan"));
}

// Mend: when the system refuses the thread, running must not stay set: a later start would
// otherwise report success without any thread.
TEST_F(MeterStartTest, RefusedThreadLeavesTheMeterStartable) {
  platform.script.threadStartFails = true;
  try {
    meter->Start();
    ADD_FAILURE() << "the refusal must reach the caller";
  } catch (const std::system_error& error) {
    EXPECT_EQ(error.code(), std::errc::resource_unavailable_try_again);
  }
  EXPECT_FALSE(meter->IsRunning());
  EXPECT_TRUE(LogLinesStartingWith("start: wątek").empty());

  platform.script.threadStartFails = false;
  platform.HoldAt(Hold::kOpen);
  ClearCapturedLog();
  EXPECT_TRUE(meter->Start());
  EXPECT_THAT(LogLinesStartingWith("start:"),
              ElementsAre("start: wejście", "start: portów=1", "start: wątek uruchomiony"));
  EXPECT_TRUE(platform.WaitUntilHeld()) << "the second start must really run";
  EXPECT_EQ(platform.Recorded().threadsStarted, 1);
}

TEST_F(MeterStartTest, LastReferenceDroppedByTheAcquisitionThread) {
  platform.script.writeFailures[1] = meter_link::SerialIo{false, 0, 0};
  platform.HoldAt(Hold::kOpen);
  ASSERT_TRUE(meter->Start());
  ASSERT_TRUE(platform.WaitUntilHeld());
  // Nothing else keeps the meter: the queue refuses its tasks and the test lets go.
  ClearUiTaskWindow();
  std::weak_ptr<meter_link::Miernik> watched = meter;
  meter.reset();
  platform.Release();
  EXPECT_TRUE(WaitUntil([&] { return watched.expired(); }))
      << "destroyed on the acquisition thread, without joining itself";
  EXPECT_EQ(LinesClosed(), 1);
}

}  // namespace
