// What only the acquisition loop shows: one query per second paced in short sleeps, the read
// window, one accumulator across polls, the error paths and the stops. Framing itself is the
// accumulator's test.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <numeric>

#include "tests/meter/support/meter_fixture.h"

namespace meter_link {
namespace {

using ::testing::Each;
using ::testing::ElementsAre;
using ::testing::Le;
using Bytes = std::vector<uint8_t>;

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

  // The byte counts of the reads of one poll.
  std::vector<uint32_t> ReadsOfPoll(int poll) {
    std::vector<uint32_t> counts;
    for (const auto& [readPoll, count] : platform.Recorded().reads) {
      if (readPoll == poll) counts.push_back(count);
    }
    return counts;
  }

  int LinesClosed() {
    const auto journal = platform.Recorded().journal;
    return static_cast<int>(std::count(journal.begin(), journal.end(), "close"));
  }

  void ExpectEndedCleanly() {
    EXPECT_FALSE(meter->IsRunning());
    EXPECT_FALSE(meter->IsPortOpen());
    EXPECT_EQ(LinesClosed(), 1);
  }
};

// Poll 1 reads two frames at once: the second waits in the accumulator for the next poll.
TEST_F(AcquisitionLoopTest, AnsweredPollsGiveOneReadingEach) {
  Bytes twoFrames = Frame(1);
  const Bytes second = Frame(2);
  twoFrames.insert(twoFrames.end(), second.begin(), second.end());
  platform.script.answers[1] = {{30, twoFrames}};
  platform.script.answers[2] = {{30, {0x00}}};
  platform.script.otherPolls = {{30, Frame(1234)}};
  RunPolls(3);

  EXPECT_THAT(events->Kinds(), ElementsAre("stan", "pomiar", "pomiar", "pomiar", "stan"));
  EXPECT_THAT(Values("pomiar", "raw"), ElementsAre(1, 2, 1234));
  // Each read ends 50 ms after its last byte (the line's interval time-out).
  EXPECT_THAT(Values("pomiar", "t"), ElementsAre(Wall(80), Wall(1080), Wall(2080)));
  EXPECT_THAT(ReadsOfPoll(1), ElementsAre(38u));
  EXPECT_THAT(ReadsOfPoll(2), ElementsAre(1u));
  const auto record = platform.Recorded();
  EXPECT_THAT(record.writeTimes, ElementsAre(0, 1000, 2000));
  EXPECT_TRUE(record.onlyQueryBytes);
  EXPECT_THAT(record.debugLines, ElementsAre("Sonel: pierwsza ramka 1 raw, 400 lx\n"));
  ExpectEndedCleanly();
}

// A silent meter: each poll reads for 700 ms (four reads of 200 ms), then paces 200 ms. The frame
// of poll 2 comes after its window, waits in the port and is read early in poll 3.
TEST_F(AcquisitionLoopTest, PollsOncePerSecondInSleepsOfAtMost50Ms) {
  platform.script.answers[2] = {{850, Frame(555)}};
  RunPolls(3);

  EXPECT_THAT(events->Kinds(), ElementsAre("stan", "brak", "brak", "pomiar", "stan"));
  EXPECT_THAT(Values("brak", "t"), ElementsAre(Wall(800), Wall(1800)));
  EXPECT_THAT(Values("pomiar", "t"), ElementsAre(Wall(2050)));
  EXPECT_THAT(ReadsOfPoll(1), ElementsAre(0u, 0u, 0u, 0u));
  EXPECT_THAT(ReadsOfPoll(3), ElementsAre(19u));
  const auto record = platform.Recorded();
  EXPECT_THAT(record.writeTimes, ElementsAre(0, 1000, 2000));
  EXPECT_THAT(record.sleeps, Each(Le(50u)));
  EXPECT_EQ(std::accumulate(record.sleeps.begin(), record.sleeps.end(), 0u), 200u + 200u + 50u)
      << "two full paces and the first step of the third, where the stop came";
  ExpectEndedCleanly();
}

// The read window is measured in elapsed ticks, so polls around the 32-bit wrap still read.
TEST_F(AcquisitionLoopTest, ReadWindowSurvivesTheTickCountWrap) {
  platform.script.tickStart = 0xFFFFFFFFu - 29;  // wraps 30 ms into the first poll
  platform.script.answers[1] = {{60, Frame(4321)}};
  RunPolls(2);
  EXPECT_THAT(events->Kinds(), ElementsAre("stan", "pomiar", "brak", "stan"));
  EXPECT_THAT(ReadsOfPoll(2), ElementsAre(0u, 0u, 0u, 0u));
}

// Runs one after another (polls are numbered across runs), each ended by a port that does not
// open or by a failed query.
TEST_F(AcquisitionLoopTest, FailuresEndTheRunWithTheirText) {
  const struct {
    uint32_t openFailure;
    int poll;
    SerialIo write;  // used unless readError >= 0
    int64_t readError;
    Kinds kinds;
    const char* text;
  } cases[] = {
      {5,
       0,
       {},
       -1,
       {"blad", "stan"},
       "Port COM7: Błąd urządzenia nr 5. (czy nie jest zajęty przez inny program?)"},
      {0, 2, {false, 0, 0}, -1, {"stan", "pomiar", "blad", "stan"}, "Miernik odłączony"},
      {0, 3, {true, 0, 0}, -1, {"stan", "blad", "stan"}, "Miernik odłączony"},  // no byte written
      {0, 4, {false, 0, 21}, -1, {"stan", "blad", "stan"}, "Błąd urządzenia nr 21."},
      {0, 7, {}, 31, {"stan", "pomiar", "pomiar", "blad", "stan"}, "Błąd urządzenia nr 31."},
      {0, 8, {}, 0, {"stan", "blad", "stan"}, "Miernik odłączony"},
  };
  platform.script.otherPolls = {{30, Frame(9)}};
  size_t run = 0;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    platform.script.openFailureCode = c.openFailure;
    if (c.readError >= 0) {
      platform.script.readFailures[c.poll] = static_cast<uint32_t>(c.readError);
    } else if (c.poll > 0) {
      platform.script.writeFailures[c.poll] = c.write;
    }
    const size_t before = events->Kinds().size();
    ASSERT_TRUE(meter->Start());
    WaitForEnd();
    const Kinds kinds = events->Kinds();
    ASSERT_GE(kinds.size(), before);
    EXPECT_EQ(Kinds(kinds.begin() + static_cast<std::ptrdiff_t>(before), kinds.end()), c.kinds);
    const auto texts = ErrorTexts();
    ASSERT_EQ(texts.size(), ++run);
    EXPECT_EQ(texts.back(), c.text);
    EXPECT_EQ(platform.Recorded().writeTimes.size(), static_cast<size_t>(c.poll));
    EXPECT_FALSE(meter->IsPortOpen());
    EXPECT_EQ(LinesClosed(), static_cast<int>(run) - 1) << "every opened port was closed";
  }
  // Polls 1, 5 and 6 read their frame; 7 and 8 failed their read; failed writes read nothing.
  EXPECT_EQ(platform.Recorded().reads.size(), 5u);
  std::vector<std::string> loopLog = {"pętla: start wątku", "pętla: otwieram port",
                                      "pętla: port się nie otworzył"};
  for (int i = 0; i < 5; ++i) {
    loopLog.insert(loopLog.end(), {"pętla: start wątku", "pętla: otwieram port",
                                   "pętla: port otwarty", "pętla: pierwsze zapytanie 0x11"});
  }
  EXPECT_EQ(LogLinesStartingWith("pętla:"), loopLog);
}

TEST_F(AcquisitionLoopTest, PortFoundClosedAtThePollStartReportsAccessDenied) {
  platform.script.otherPolls = {{30, Frame(9)}};
  platform.HoldAt(Hold::kFirstSleepOfPoll, 1);
  ASSERT_TRUE(meter->Start());
  ASSERT_TRUE(platform.WaitUntilHeld());
  meter->ClosePort();  // the loop is parked in a sleep and does not touch the port meanwhile
  platform.Release();
  WaitForEnd();
  EXPECT_THAT(events->Kinds(), ElementsAre("stan", "pomiar", "blad", "stan"));
  EXPECT_THAT(ErrorTexts(), ElementsAre("Błąd urządzenia nr 5."));
  EXPECT_EQ(platform.Recorded().writeTimes.size(), 1u);
}

TEST_F(AcquisitionLoopTest, StopBeforeTheFirstPollClosesThePortWithoutAQuery) {
  platform.HoldAt(Hold::kOpen);
  ASSERT_TRUE(meter->Start());
  ASSERT_TRUE(platform.WaitUntilHeld());
  meter->Stop();
  Drain();
  EXPECT_THAT(events->Kinds(), ElementsAre("stan", "stan"));
  EXPECT_TRUE(platform.Recorded().writeTimes.empty());
  ExpectEndedCleanly();
}

TEST_F(AcquisitionLoopTest, StopWhileReadingLeavesAfterThatRead) {
  platform.script.answers[1] = {{30, Frame(1)}};
  platform.HoldAt(Hold::kFirstReadOfPoll, 2);
  ASSERT_TRUE(meter->Start());
  ASSERT_TRUE(platform.WaitUntilHeld());
  const size_t sleepsBefore = platform.Recorded().sleeps.size();
  meter->Stop();
  Drain();
  EXPECT_THAT(events->Kinds(), ElementsAre("stan", "pomiar", "stan")) << "no brak after a stop";
  EXPECT_THAT(ReadsOfPoll(2), ElementsAre(0u));
  EXPECT_EQ(platform.Recorded().sleeps.size(), sleepsBefore) << "no pacing after a stop";
  ExpectEndedCleanly();
}

}  // namespace
}  // namespace meter_link
