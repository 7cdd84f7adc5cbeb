// What only the acquisition loop shows: one query per second paced in short sleeps, the read
// window, one accumulator across polls, the error paths and the stops. Framing itself is the
// accumulator's test.
#include <gmock/gmock.h>

#include <numeric>

#include "tests/meter/support/meter_fixture.h"

namespace meter_link {
namespace {

using ::testing::Each;
using ::testing::ElementsAre;
using ::testing::Le;

const std::string kOpened = "ports,thread,open \\\\.\\COM7,";
const std::string kFirstFrame = "query,read 19,debug Sonel: pierwsza ramka 9 raw, 400 lx\n,pace,";
const std::string kClosed = "purge,close,ports,ports";  // the two states count ports when sent

using AcquisitionLoopTest = MeterFixture;

// Poll 1 reads two frames at once: the second waits in the accumulator and completes poll 2.
// Poll 3 stays silent for its 700 ms window (four reads of 200 ms); its late frame waits in the
// port and is read at once by poll 4. Each read ends 50 ms after its last byte. The read window
// is measured in elapsed ticks: the 32-bit tick count wraps 30 ms into poll 3.
TEST_F(AcquisitionLoopTest, PollsOncePerSecondInShortSleepsWithOneAccumulator) {
  platform.script.tickStart = 0xFFFFFFFFu - 2029;
  platform.script.answers = {
      {1, {{30, Join({Frame(1), Frame(2)})}}}, {2, {{30, {0x00}}}}, {3, {{850, Frame(555)}}}};
  RunPolls(4);

  std::vector<int64_t> values;  // raw and time of each reading, time of each "brak"
  for (const auto& map : events->Maps()) {
    if (RecordedEvents::KindOf(map) == "pomiar") values.push_back(Field<int32_t>(map, "raw"));
    if (map.count("t") != 0) values.push_back(Field<int64_t>(map, "t") - Wall(0));
  }
  EXPECT_THAT(events->Kinds(), ElementsAre("stan", "pomiar", "pomiar", "brak", "pomiar", "stan"));
  EXPECT_THAT(values, ElementsAre(1, 80, 2, 1080, 2800, 555, 3050));
  EXPECT_EQ(Journal(), kOpened +
                           "query,read 38,debug Sonel: pierwsza ramka 1 raw, 400 lx\n,pace,"
                           "query,read 1,pace,query,read 0,read 0,read 0,read 0,pace,"
                           "query,read 19,pace," +
                           kClosed);
  const auto record = platform.Recorded();
  EXPECT_THAT(record.writeTimes, ElementsAre(0, 1000, 2000, 3000));
  EXPECT_THAT(record.sleeps, Each(Le(50u)));
  EXPECT_EQ(std::accumulate(record.sleeps.begin(), record.sleeps.end(), 0u), 920u * 2 + 200 + 50)
      << "three paces and the first step of the fourth, where the stop came";
  EXPECT_FALSE(meter->IsRunning() || meter->IsPortOpen());
}

// Runs one after another (polls are numbered across runs), each ended by a port that does not
// open, a failed or short query, a failed read, a port found closed at the start of a poll, or a
// stop: before the first poll it closes the port without a query; during a read it leaves after
// that read, without "brak" and without pacing.
TEST_F(AcquisitionLoopTest, FailuresAndStopsEndTheRun) {
  const struct {
    int poll;
    std::string how;
    uint32_t code;
    std::string kinds, journal, text;
  } cases[] = {
      // clang-format off
      {0, "open", 5, "blad,stan", kOpened + "ports",
       "Port COM7: Błąd urządzenia nr 5. (czy nie jest zajęty przez inny program?)"},
      {2, "write", 0, "stan,pomiar,blad,stan", kOpened + kFirstFrame + "query," + kClosed,
       "Miernik odłączony"},
      {3, "short", 0, "stan,blad,stan", kOpened + "query," + kClosed, "Miernik odłączony"},
      {4, "write", 21, "stan,blad,stan", kOpened + "query," + kClosed, "Błąd urządzenia nr 21."},
      {7, "read", 31, "stan,pomiar,pomiar,blad,stan",
       kOpened + kFirstFrame + "query,read 19,pace,query,read 0," + kClosed, "Błąd urządzenia nr 31."},
      {8, "read", 0, "stan,blad,stan", kOpened + "query,read 0," + kClosed, "Miernik odłączony"},
      {9, "close", 0, "stan,pomiar,blad,stan", kOpened + kFirstFrame + kClosed,
       "Błąd urządzenia nr 5."},
      {0, "stop at open", 0, "stan,stan", kOpened + kClosed, ""},
      {11, "stop in read", 0, "stan,pomiar,stan", kOpened + kFirstFrame + "query,read 0," + kClosed,
       ""},
      // clang-format on
  };
  platform.script.otherPolls = {{30, Frame(9)}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.how);
    const Hold hold = c.how == "close"          ? Hold::kFirstSleep
                      : c.how == "stop at open" ? Hold::kOpen
                      : c.how == "stop in read" ? Hold::kFirstRead
                                                : Hold::kNone;
    platform.script.openFailureCode = c.how == "open" ? c.code : 0;
    if (c.how == "write" || c.how == "short") {
      platform.script.writeFailures[c.poll] = {c.how == "short", 0, c.code};
    }
    if (c.how == "read") platform.script.readFailures[c.poll] = c.code;
    if (c.how == "stop in read") platform.script.answers[c.poll] = {};  // a silent poll
    platform.HoldAt(hold, c.poll);
    const size_t journalBefore = platform.Recorded().journal.size(),
                 eventsBefore = events->Kinds().size(), textsBefore = ErrorTexts().size();
    ASSERT_TRUE(meter->Start());
    ASSERT_TRUE(hold == Hold::kNone || platform.WaitUntilHeld());
    if (c.how == "close") {
      meter->ClosePort();  // the loop is parked in a sleep and does not touch the port meanwhile
      platform.Release();
    }
    if (hold == Hold::kNone || c.how == "close") WaitForEnd();
    meter->Stop();
    Drain();
    EXPECT_EQ(Joined(Matching(events->Kinds(), "", eventsBefore)), c.kinds);
    EXPECT_EQ(Journal(journalBefore), c.journal);
    EXPECT_EQ(Joined(Matching(ErrorTexts(), "", textsBefore)), c.text);
    EXPECT_FALSE(meter->IsRunning() || meter->IsPortOpen());
  }
  const Lines opened = {"pętla: start wątku", "pętla: otwieram port", "pętla: port otwarty"};
  Lines loopLog = {"pętla: start wątku", "pętla: otwieram port", "pętla: port się nie otworzył"};
  for (int run = 0; run < 8; ++run) {
    loopLog.insert(loopLog.end(), opened.begin(), opened.end());
    if (run != 6) loopLog.push_back("pętla: pierwsze zapytanie 0x11");  // not when stopped at open
  }
  EXPECT_EQ(Matching(CapturedLogLines(), "pętla:"), loopLog);
}

}  // namespace
}  // namespace meter_link
