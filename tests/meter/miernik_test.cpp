// The meter controller: an idle meter, the open-failure texts, reopening and closing the port,
// and starting runs.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <system_error>

#include "tests/meter/support/meter_fixture.h"

namespace meter_link {
namespace {

using ::testing::ElementsAre;

using MiernikTest = MeterFixture;

TEST_F(MiernikTest, IdleMeterStopsAndGoesWithoutTouchingThePlatform) {
  meter->Stop();
  EXPECT_TRUE(meter->IsStopRequested());
  EXPECT_FALSE(meter->IsRunning());
  meter.reset();
  const auto record = platform.Recorded();
  EXPECT_TRUE(record.journal.empty());
  EXPECT_EQ(record.portSearches + record.threadsStarted, 0);
  EXPECT_TRUE(CapturedLogLines().empty());
  EXPECT_TRUE(events->All().empty());
}

TEST_F(MiernikTest, PortThatDoesNotOpenGivesTheTextOfItsStage) {
  meter->SelectPort({L"\\\\.\\COM12", L"COM12"});  // two digits
  platform.script.openFailureCode = 5;
  std::string text;
  EXPECT_FALSE(meter->OpenPort(&text));
  EXPECT_EQ(text, "Port COM12: Błąd urządzenia nr 5. (czy nie jest zajęty przez inny program?)");
  platform.script.openFailureStage = OpenFailureStage::kConfigure;
  platform.script.openFailureCode = 87;
  EXPECT_FALSE(meter->OpenPort(&text));
  EXPECT_EQ(text, "Port COM12: Błąd urządzenia nr 87.");
  EXPECT_FALSE(meter->OpenPort(nullptr)) << "the text is optional";
  EXPECT_FALSE(meter->IsPortOpen());
}

// Reopening, ClosePort, Stop and destruction each purge and close an open port once; a failed
// reopen still leaves the old port closed.
TEST_F(MiernikTest, EveryWayOfClosingPurgesThenClosesOnce) {
  meter->SelectPort({L"\\\\.\\COM12", L"COM12"});
  const std::string open = "open \\\\.\\COM12";
  std::string text = "untouched";
  ASSERT_TRUE(meter->OpenPort(&text));
  EXPECT_EQ(text, "untouched");
  ASSERT_TRUE(meter->OpenPort(&text));
  meter->ClosePort();
  EXPECT_FALSE(meter->IsPortOpen());
  meter->ClosePort();
  ASSERT_TRUE(meter->OpenPort(nullptr));
  meter->Stop();
  EXPECT_FALSE(meter->IsPortOpen());
  ASSERT_TRUE(meter->OpenPort(nullptr));
  platform.script.openFailureCode = 5;
  EXPECT_FALSE(meter->OpenPort(&text));
  EXPECT_FALSE(meter->IsPortOpen());
  platform.script.openFailureCode = 0;
  ASSERT_TRUE(meter->OpenPort(nullptr));
  meter.reset();
  EXPECT_THAT(platform.Recorded().journal,
              ElementsAre(open, "purge", "close", open, "purge", "close", open, "purge", "close",
                          open, "purge", "close", open, open, "purge", "close"));
}

TEST_F(MiernikTest, StartsOneRunOnTheFirstPortAndASecondStartDoesNothing) {
  platform.script.ports = {{L"\\\\.\\COM12", L"COM12"}, {L"\\\\.\\COM3", L"COM3"}};
  platform.HoldAt(Hold::kOpen);
  EXPECT_TRUE(meter->Start());
  EXPECT_TRUE(meter->IsRunning());
  ASSERT_TRUE(platform.WaitUntilHeld());
  EXPECT_TRUE(meter->Start()) << "a second start while running does nothing";
  EXPECT_THAT(LogLinesStartingWith("start:"),
              ElementsAre("start: wejście", "start: portów=2", "start: wątek uruchomiony",
                          "start: wejście", "start: już działa"));
  const auto record = platform.Recorded();
  EXPECT_THAT(record.journal, ElementsAre("open \\\\.\\COM12"));
  EXPECT_EQ(record.threadsStarted, 1);
  EXPECT_EQ(record.portSearches, 1);
}

TEST_F(MiernikTest, WithoutAPortReportsTheMissingMeter) {
  platform.script.ports = {};
  EXPECT_FALSE(meter->Start());
  EXPECT_FALSE(meter->IsRunning());
  EXPECT_EQ(platform.Recorded().threadsStarted, 0);
  Drain();
  EXPECT_THAT(events->Kinds(), ElementsAre("blad", "stan"));
  EXPECT_THAT(ErrorTexts(), ElementsAre("Nie widzę miernika Sonel na USB"));
  ASSERT_EQ(events->OfKind("stan").size(), 1u);
  EXPECT_EQ(Field<bool>(events->OfKind("stan")[0], "podlaczony"), false);
  EXPECT_THAT(LogLinesStartingWith("start:"), ElementsAre("start: wejście", "start: portów=0"));
}

// A run that ended by itself (a failed first query) and one that was stopped: both are followed
// by a new run that really polls.
TEST_F(MiernikTest, StartAfterTheRunEndedOrWasStoppedBeginsANewRun) {
  platform.script.writeFailures[1] = SerialIo{false, 0, 0};
  ASSERT_TRUE(meter->Start());
  ASSERT_TRUE(WaitUntil([this] { return !meter->IsRunning(); }));
  platform.script.otherPolls = {{30, Frame(64)}};
  RunPolls(2);  // joins the ended thread first
  RunPolls(3);  // polls 2 and 3: the stop of the previous run is not left standing
  EXPECT_EQ(platform.Recorded().threadsStarted, 3);
  EXPECT_THAT(events->Kinds(), ElementsAre("stan", "blad", "stan", "stan", "pomiar", "stan", "stan",
                                           "pomiar", "stan"));
}

// Mend: when the system refuses the thread, running must not stay set: a later start would
// otherwise report success without any thread.
TEST_F(MiernikTest, RefusedThreadLeavesTheMeterStartable) {
  platform.script.threadStartFails = true;
  EXPECT_THROW(meter->Start(), std::system_error);
  EXPECT_FALSE(meter->IsRunning());
  platform.script.threadStartFails = false;
  platform.HoldAt(Hold::kOpen);
  EXPECT_TRUE(meter->Start());
  EXPECT_TRUE(platform.WaitUntilHeld()) << "the second start must really run";
  EXPECT_EQ(platform.Recorded().threadsStarted, 1);
  EXPECT_THAT(LogLinesStartingWith("start: w"),
              ElementsAre("start: wejście", "start: wejście", "start: wątek uruchomiony"));
}

TEST_F(MiernikTest, LastReferenceDroppedByTheAcquisitionThread) {
  platform.script.writeFailures[1] = SerialIo{false, 0, 0};
  platform.HoldAt(Hold::kOpen);
  ASSERT_TRUE(meter->Start());
  ASSERT_TRUE(platform.WaitUntilHeld());
  // Nothing else keeps the meter: the queue refuses its tasks and the test lets go.
  ClearUiTaskWindow();
  std::weak_ptr<Miernik> watched = meter;
  meter.reset();
  platform.Release();
  EXPECT_TRUE(WaitUntil([&] { return watched.expired(); }))
      << "destroyed on the acquisition thread, without joining itself";
  EXPECT_THAT(platform.Recorded().journal, ElementsAre("open \\\\.\\COM7", "purge", "close"));
}

}  // namespace
}  // namespace meter_link
