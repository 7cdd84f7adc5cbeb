// What only the acquisition loop shows: one query per second paced in short sleeps, the read
// window, one accumulator across polls, the error paths and the stops. Framing itself is the
// accumulator's test.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <numeric>

#include "tests/meter/support/meter_fixture.h"

namespace meter_link {
namespace {

using ::testing::Each;
using ::testing::ElementsAre;
using ::testing::Le;

const std::string kOpened = "ports,thread,open \\\\.\\COM7,";
const std::string kFirstFrame = "query,read 19,debug Sonel: pierwsza ramka 9 raw, 400 lx\n,";
const std::string kClosed = "purge,close,ports,ports";  // the two states count ports when sent

class AcquisitionLoopTest : public MeterFixture {
 protected:
  std::vector<int64_t> Values(const std::string& kind, const char* key) {
    std::vector<int64_t> values;
    for (const auto& map : events->OfKind(kind)) {
      values.push_back(key == std::string("t") ? Field<int64_t>(map, key)
                                               : Field<int32_t>(map, key));
    }
    return values;
  }
};

// Poll 1 reads two frames at once: the second waits in the accumulator and completes poll 2.
// Poll 3 stays silent for its 700 ms window (four reads of 200 ms); its late frame waits in the
// port and is read at once by poll 4. Each read ends 50 ms after its last byte. The read window
// is measured in elapsed ticks: the 32-bit tick count wraps 30 ms into poll 3.
TEST_F(AcquisitionLoopTest, PollsOncePerSecondInShortSleepsWithOneAccumulator) {
  std::vector<uint8_t> twoFrames = Frame(1);
  const std::vector<uint8_t> second = Frame(2);
  twoFrames.insert(twoFrames.end(), second.begin(), second.end());
  platform.script.tickStart = 0xFFFFFFFFu - 2029;
  platform.script.answers = {{1, {{30, twoFrames}}}, {2, {{30, {0x00}}}}, {3, {{850, Frame(555)}}}};
  RunPolls(4);

  EXPECT_THAT(events->Kinds(), ElementsAre("stan", "pomiar", "pomiar", "brak", "pomiar", "stan"));
  EXPECT_THAT(Values("pomiar", "raw"), ElementsAre(1, 2, 555));
  EXPECT_THAT(Values("pomiar", "t"), ElementsAre(Wall(80), Wall(1080), Wall(3050)));
  EXPECT_THAT(Values("brak", "t"), ElementsAre(Wall(2800)));
  EXPECT_EQ(Journal(), kOpened +
                           "query,read 38,debug Sonel: pierwsza ramka 1 raw, 400 lx\n,"
                           "query,read 1,query,read 0,read 0,read 0,read 0,query,read 19," +
                           kClosed);
  const auto record = platform.Recorded();
  EXPECT_THAT(record.writeTimes, ElementsAre(0, 1000, 2000, 3000));
  EXPECT_THAT(record.sleeps, Each(Le(50u)));
  EXPECT_EQ(std::accumulate(record.sleeps.begin(), record.sleeps.end(), 0u), 920u * 2 + 200 + 50)
      << "three paces and the first step of the fourth, where the stop came";
  EXPECT_FALSE(meter->IsRunning() || meter->IsPortOpen());
}

// Runs one after another (polls are numbered across runs), each ended by a port that does not
// open, a failed or short query, a failed read, or a port found closed at the start of a poll.
TEST_F(AcquisitionLoopTest, FailuresEndTheRunWithTheirText) {
  const struct {
    uint32_t openFailure;
    int poll;
    SerialIo write;     // used unless readError >= 0
    int64_t readError;  // -2: the port is closed while the first poll paces
    std::string kinds, journal, text;
  } cases[] = {
      // clang-format off
      {5, 0, {}, -1, "blad,stan", kOpened + "ports",
       "Port COM7: Błąd urządzenia nr 5. (czy nie jest zajęty przez inny program?)"},
      {0, 2, {false, 0, 0}, -1, "stan,pomiar,blad,stan", kOpened + kFirstFrame + "query," + kClosed,
       "Miernik odłączony"},
      {0, 3, {true, 0, 0}, -1, "stan,blad,stan", kOpened + "query," + kClosed, "Miernik odłączony"},
      {0, 4, {false, 0, 21}, -1, "stan,blad,stan", kOpened + "query," + kClosed,
       "Błąd urządzenia nr 21."},
      {0, 7, {}, 31, "stan,pomiar,pomiar,blad,stan",
       kOpened + kFirstFrame + "query,read 19,query,read 0," + kClosed, "Błąd urządzenia nr 31."},
      {0, 8, {}, 0, "stan,blad,stan", kOpened + "query,read 0," + kClosed, "Miernik odłączony"},
      {0, 9, {}, -2, "stan,pomiar,blad,stan", kOpened + kFirstFrame + kClosed,
       "Błąd urządzenia nr 5."},
      // clang-format on
  };
  platform.script.otherPolls = {{30, Frame(9)}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    platform.script.openFailureCode = c.openFailure;
    if (c.readError >= 0) platform.script.readFailures[c.poll] = static_cast<uint32_t>(c.readError);
    if (c.readError == -1 && c.poll > 0) platform.script.writeFailures[c.poll] = c.write;
    if (c.readError == -2) platform.HoldAt(Hold::kFirstSleep, c.poll);
    const size_t journalBefore = JournalSize(), eventsBefore = events->Kinds().size();
    ASSERT_TRUE(meter->Start());
    if (c.readError == -2) {
      ASSERT_TRUE(platform.WaitUntilHeld());
      meter->ClosePort();  // the loop is parked in a sleep and does not touch the port meanwhile
      platform.Release();
    }
    WaitForEnd();
    EXPECT_EQ(Joined(Matching(events->Kinds(), "", eventsBefore)), c.kinds);
    EXPECT_EQ(Journal(journalBefore), c.journal);
    const Lines texts = ErrorTexts();
    ASSERT_FALSE(texts.empty());
    EXPECT_EQ(texts.back(), c.text);
    EXPECT_FALSE(meter->IsPortOpen());
  }
  Lines loopLog = {"pętla: start wątku", "pętla: otwieram port", "pętla: port się nie otworzył"};
  for (int i = 0; i < 6; ++i) {
    loopLog.insert(loopLog.end(), {"pętla: start wątku", "pętla: otwieram port",
                                   "pętla: port otwarty", "pętla: pierwsze zapytanie 0x11"});
  }
  EXPECT_EQ(Matching(CapturedLogLines(), "pętla:"), loopLog);
}

// A stop before the first poll closes the port without a query; a stop during a read leaves
// after that read, without "brak" and without pacing.
TEST_F(AcquisitionLoopTest, StopsLeaveAtOnce) {
  platform.script.answers[1] = {{30, Frame(9)}};
  const struct {
    Hold hold;
    int poll;
    std::string kinds, journal;
    size_t sleeps;
  } cases[] = {
      {Hold::kOpen, 1, "stan,stan", kOpened + kClosed, 0},
      {Hold::kFirstRead, 2, "stan,pomiar,stan", kOpened + kFirstFrame + "query,read 0," + kClosed,
       19},
  };
  for (const auto& c : cases) {
    const size_t journalBefore = JournalSize(), eventsBefore = events->Kinds().size();
    platform.HoldAt(c.hold, c.poll);
    ASSERT_TRUE(meter->Start());
    ASSERT_TRUE(platform.WaitUntilHeld());
    meter->Stop();
    Drain();
    EXPECT_EQ(Joined(Matching(events->Kinds(), "", eventsBefore)), c.kinds);
    EXPECT_EQ(Journal(journalBefore), c.journal);
    EXPECT_EQ(platform.Recorded().sleeps.size(), c.sleeps);
    EXPECT_FALSE(meter->IsRunning() || meter->IsPortOpen());
  }
}

}  // namespace
}  // namespace meter_link
