// The meter controller: the open-failure texts, reopening and closing the port, starting runs.
#include <gmock/gmock.h>

#include <system_error>

#include "tests/meter/support/meter_fixture.h"

namespace meter_link {
namespace {

using ::testing::ElementsAre;

using MiernikTest = MeterFixture;

// A port of two digits; a failure to configure does not suggest that another program holds it
// (the open stage's text is the loop's test). Reopening, ClosePort, Stop and destruction each
// purge and close an open port once; a failed reopen still leaves the old port closed.
TEST_F(MiernikTest, OpenFailureTextsAndEveryWayOfClosingPurgesThenClosesOnce) {
  meter->SelectPort({L"\\\\.\\COM12", L"COM12"});
  platform.script.openFailureStage = OpenFailureStage::kConfigure;
  platform.script.openFailureCode = 87;
  std::string text;
  EXPECT_FALSE(meter->OpenPort(&text));
  EXPECT_EQ(text, "Port COM12: Błąd urządzenia nr 87.");
  EXPECT_FALSE(meter->OpenPort(nullptr)) << "the text is optional";
  platform.script.openFailureCode = 0;
  ASSERT_TRUE(meter->OpenPort(&text));
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
  const std::string open = "open \\\\.\\COM12,";
  EXPECT_EQ(Journal(), open + open + open + "purge,close," + open + "purge,close," + open +
                           "purge,close," + open + "purge,close," + open + open + "purge,close");
}

// Without a port the missing meter is reported; a refused thread leaves the meter startable; a
// run on the first port ends by itself (a failed first query) and the next start collects it; a
// second start while running does nothing; a start after a stop really polls.
TEST_F(MiernikTest, StartScenario) {
  platform.script.ports = {};
  EXPECT_FALSE(meter->Start());
  Drain();
  platform.script.ports = {{L"\\\\.\\COM12", L"COM12"}, {L"\\\\.\\COM3", L"COM3"}};
  platform.script.threadStartFails = true;
  EXPECT_THROW(meter->Start(), std::system_error);
  EXPECT_FALSE(meter->IsRunning());
  platform.script.threadStartFails = false;
  platform.script.writeFailures[1] = SerialIo{false, 0, 0};
  ASSERT_TRUE(meter->Start());
  WaitForEnd();
  platform.HoldAt(Hold::kOpen);
  ASSERT_TRUE(meter->Start());
  EXPECT_TRUE(meter->IsRunning());
  ASSERT_TRUE(platform.WaitUntilHeld());
  EXPECT_TRUE(meter->Start());
  meter->Stop();
  platform.script.otherPolls = {{30, Frame(64)}};
  RunPolls(2);

  EXPECT_EQ(Matching(platform.Recorded().journal, "open"), Lines(3, "open \\\\.\\COM12"));
  EXPECT_EQ(Matching(platform.Recorded().journal, "thread"), Lines(3, "thread"));
  EXPECT_EQ(Joined(events->Kinds()), "blad,stan,stan,blad,stan,stan,stan,stan,pomiar,stan");
  EXPECT_THAT(ErrorTexts(), ElementsAre("Nie widzę miernika Sonel na USB", "Miernik odłączony"));
  ASSERT_FALSE(events->OfKind("stan").empty());
  EXPECT_EQ(Field<bool>(events->OfKind("stan")[0], "podlaczony"), false);
  const std::string started = "start: wejście,start: portów=2,start: wątek uruchomiony,";
  EXPECT_EQ(Joined(Matching(CapturedLogLines(), "start:")),
            "start: wejście,start: portów=0,start: wejście,start: portów=2," + started + started +
                "start: wejście,start: już działa," + started.substr(0, started.size() - 1));
}

// A stop with nothing running leaves the stop flag set, through a start that finds no meter,
// until a start that begins a run.
TEST_F(MiernikTest, StopFlagStaysSetUntilAStartBeginsARun) {
  meter->Stop();
  EXPECT_TRUE(meter->IsStopRequested() && !meter->IsRunning());
  platform.script.ports = {};
  EXPECT_FALSE(meter->Start());
  EXPECT_TRUE(meter->IsStopRequested());
  platform.script.ports = {{L"\\\\.\\COM7", L"COM7"}};
  platform.HoldAt(Hold::kOpen);
  ASSERT_TRUE(meter->Start());
  ASSERT_TRUE(platform.WaitUntilHeld());
  EXPECT_FALSE(meter->IsStopRequested());
}

TEST_F(MiernikTest, LastReferenceDroppedByTheAcquisitionThread) {
  platform.script.writeFailures[1] = SerialIo{false, 0, 0};
  platform.HoldAt(Hold::kOpen);
  ASSERT_TRUE(meter->Start());
  ASSERT_TRUE(platform.WaitUntilHeld());
  ClearUiTaskWindow();  // nothing else keeps the meter: the queue refuses its tasks
  std::weak_ptr<Miernik> watched = meter;
  meter.reset();
  platform.Release();
  EXPECT_TRUE(WaitUntil([&] { return watched.expired(); }))
      << "destroyed on the acquisition thread, without joining itself";
  EXPECT_EQ(Journal(), "ports,thread,open \\\\.\\COM7,query,purge,close");
}

}  // namespace
}  // namespace meter_link
