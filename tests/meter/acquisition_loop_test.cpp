#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <numeric>

#include "tests/meter/support/meter_fixture.h"

namespace {

using meter_link::SerialIo;
using ::testing::Each;
using ::testing::ElementsAre;
using ::testing::Le;
using Bytes = std::vector<uint8_t>;
using Kinds = std::vector<std::string>;

Bytes Join(std::initializer_list<Bytes> parts) {
  Bytes all;
  for (const Bytes& part : parts) all.insert(all.end(), part.begin(), part.end());
  return all;
}

class AcquisitionLoopTest : public MeterFixture {
 protected:
  std::vector<int32_t> RawValues() {
    std::vector<int32_t> raws;
    for (const auto& map : events->OfKind("pomiar")) raws.push_back(::Field<int32_t>(map, "raw"));
    return raws;
  }

  std::vector<int64_t> TimesOf(const std::string& kind) {
    std::vector<int64_t> times;
    for (const auto& map : events->OfKind(kind)) times.push_back(::Field<int64_t>(map, "t"));
    return times;
  }

  // The byte counts of the reads of one poll.
  std::vector<uint32_t> ReadsOfPoll(int poll) {
    std::vector<uint32_t> counts;
    for (const auto& read : platform.Recorded().reads) {
      if (read.poll == poll) counts.push_back(read.count);
    }
    return counts;
  }

  void ExpectEndedCleanly() {
    EXPECT_FALSE(meter->IsRunning());
    EXPECT_FALSE(meter->IsPortOpen());
    EXPECT_EQ(LinesClosed(), 1);
  }
};

TEST_F(AcquisitionLoopTest, OneFramePerPollGivesOneReadingPerPoll) {
  platform.script.otherPolls = {{30, Frame(1234)}};
  RunPolls(3);

  EXPECT_THAT(events->Kinds(), ElementsAre("stan", "pomiar", "pomiar", "pomiar", "stan"));
  const auto first = events->OfKind("pomiar").front();
  EXPECT_EQ(::Field<double>(first, "lux"), 1234 * 0.1);
  EXPECT_EQ(::Field<int32_t>(first, "raw"), 1234);
  EXPECT_EQ(::Field<int32_t>(first, "kod"), 1);
  EXPECT_EQ(::Field<std::string>(first, "zakres"), "400 lx");
  EXPECT_EQ(::Field<bool>(first, "ol"), false);
  EXPECT_EQ(::Field<int32_t>(first, "nr"), 7);
  // Each frame is decoded 50 ms after its last byte (the line's interval time-out).
  EXPECT_THAT(TimesOf("pomiar"), ElementsAre(Wall(80), Wall(1080), Wall(2080)));
  EXPECT_EQ(::Field<bool>(events->OfKind("stan").front(), "podlaczony"), true);

  EXPECT_THAT(platform.Recorded().debugLines,
              ElementsAre("Sonel: pierwsza ramka 1234 raw, 400 lx\n"));
  EXPECT_THAT(LogLinesStartingWith("pętla:"),
              ElementsAre("pętla: start wątku", "pętla: otwieram port", "pętla: port otwarty",
                          "pętla: pierwsze zapytanie 0x11"));
  for (const auto& write : platform.Recorded().writes) EXPECT_EQ(write.bytes, Bytes{0x11});
  ExpectEndedCleanly();
}

TEST_F(AcquisitionLoopTest, PollsOncePerSecondInSleepsOfAtMost50Ms) {
  // A silent meter: each poll reads for 700 ms (four reads of 200 ms), then paces 200 ms.
  RunPolls(3);

  const auto writes = platform.Recorded().writes;
  ASSERT_EQ(writes.size(), 3u);
  EXPECT_EQ(writes[0].atMs, 0);
  EXPECT_EQ(writes[1].atMs, 1000);
  EXPECT_EQ(writes[2].atMs, 2000);
  EXPECT_THAT(ReadsOfPoll(1), ElementsAre(0u, 0u, 0u, 0u));
  const auto sleeps = platform.Recorded().sleeps;
  EXPECT_THAT(sleeps, Each(Le(50u)));
  EXPECT_EQ(std::accumulate(sleeps.begin(), sleeps.end(), 0u), 200u + 200u + 50u)
      << "two full paces and the first step of the third, where the stop came";
  EXPECT_THAT(events->Kinds(), ElementsAre("stan", "brak", "brak", "brak", "stan"));
  EXPECT_THAT(TimesOf("brak"), ElementsAre(Wall(800), Wall(1800), Wall(2800)));
  EXPECT_TRUE(platform.Recorded().debugLines.empty());
}

TEST_F(AcquisitionLoopTest, FrameSplitOverTwoReadsIsDecodedAfterTheSecond) {
  const Bytes frame = Frame(2345);
  platform.script.answers[1] = {{30, Bytes(frame.begin(), frame.begin() + 10)},
                                {150, Bytes(frame.begin() + 10, frame.end())}};
  RunPolls(1);
  EXPECT_THAT(RawValues(), ElementsAre(2345));
  EXPECT_THAT(ReadsOfPoll(1), ElementsAre(10u, 9u));
  EXPECT_THAT(TimesOf("pomiar"), ElementsAre(Wall(200)));
}

TEST_F(AcquisitionLoopTest, StreamWithoutHeaderEndsEveryPollWithBrak) {
  platform.script.otherPolls = {{30, Bytes(40, 0x55)}};
  RunPolls(2);
  EXPECT_THAT(events->Kinds(), ElementsAre("stan", "brak", "brak", "stan"));
  // Reads end at 80, 280, 480, 680 and 880 ms: the last one began inside the 700 ms window.
  EXPECT_THAT(TimesOf("brak"), ElementsAre(Wall(880), Wall(1880)));
}

TEST_F(AcquisitionLoopTest, SecondFrameOfOneReadIsReportedEarlyInTheNextPoll) {
  platform.script.answers[1] = {{30, Join({Frame(1), Frame(2)})}};
  platform.script.answers[2] = {{30, {0x00}}};
  platform.script.answers[3] = {{30, Frame(3)}};
  RunPolls(3);
  EXPECT_THAT(RawValues(), ElementsAre(1, 2, 3));
  EXPECT_THAT(TimesOf("pomiar"), ElementsAre(Wall(80), Wall(1080), Wall(2080)));
  EXPECT_THAT(ReadsOfPoll(2), ElementsAre(1u));
}

TEST_F(AcquisitionLoopTest, FullReadKeepsItsLast255Bytes) {
  platform.script.answers[1] = {{30, Join({Frame(1111), Bytes(256 - 38, 0x55), Frame(2222)})}};
  RunPolls(1);
  EXPECT_THAT(ReadsOfPoll(1), ElementsAre(256u));
  EXPECT_THAT(RawValues(), ElementsAre(2222));
}

TEST_F(AcquisitionLoopTest, FrameAfterTheReadWindowIsDecodedInTheNextPoll) {
  platform.script.answers[1] = {{850, Frame(555)}};
  RunPolls(2);
  EXPECT_THAT(events->Kinds(), ElementsAre("stan", "brak", "pomiar", "stan"));
  EXPECT_THAT(TimesOf("brak"), ElementsAre(Wall(800)));
  // Already waiting in the input queue: the first read of poll 2 returns it after the interval.
  EXPECT_THAT(TimesOf("pomiar"), ElementsAre(Wall(1050)));
  EXPECT_THAT(ReadsOfPoll(2), ElementsAre(19u));
}

// Runs one after another (polls are numbered across runs), each ended by a failed query.
TEST_F(AcquisitionLoopTest, FailedWritesAndReadsEndTheRunWithTheirText) {
  struct Case {
    int poll;
    SerialIo write;  // used unless readError >= 0
    int64_t readError;
    Kinds kinds;
    const char* text;
  };
  const SerialIo ok{true, 1, 0};
  const Case cases[] = {
      {2, {false, 0, 0}, -1, {"stan", "pomiar", "blad", "stan"}, "Miernik odłączony"},
      {3, {true, 0, 0}, -1, {"stan", "blad", "stan"}, "Miernik odłączony"},  // no byte written
      {4, {false, 0, 21}, -1, {"stan", "blad", "stan"}, "Błąd urządzenia nr 21."},
      {7, ok, 31, {"stan", "pomiar", "pomiar", "blad", "stan"}, "Błąd urządzenia nr 31."},
      {8, ok, 0, {"stan", "blad", "stan"}, "Miernik odłączony"},
  };
  platform.script.otherPolls = {{30, Frame(9)}};
  int run = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text + (" at poll " + std::to_string(c.poll)));
    if (c.readError >= 0) {
      platform.script.readFailures[c.poll] = static_cast<uint32_t>(c.readError);
    } else {
      platform.script.writeFailures[c.poll] = c.write;
    }
    const size_t before = events->Kinds().size();
    ASSERT_TRUE(meter->Start());
    WaitForEnd();
    const Kinds kinds = events->Kinds();
    EXPECT_EQ(Kinds(kinds.begin() + before, kinds.end()), c.kinds);
    EXPECT_EQ(ErrorText(run), c.text);
    EXPECT_EQ(platform.Recorded().writes.size(), static_cast<size_t>(c.poll));
    EXPECT_FALSE(meter->IsRunning());
    EXPECT_FALSE(meter->IsPortOpen());
    EXPECT_EQ(LinesClosed(), ++run);
  }
  // Polls 1, 5 and 6 read their frame; 7 and 8 failed their read; failed writes read nothing.
  EXPECT_EQ(platform.Recorded().reads.size(), 5u);
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
  EXPECT_EQ(ErrorText(), "Błąd urządzenia nr 5.");
  EXPECT_EQ(platform.Recorded().writes.size(), 1u);
  EXPECT_FALSE(meter->IsRunning());
}

TEST_F(AcquisitionLoopTest, PortThatDoesNotOpenEndsTheRunWithErrorAndState) {
  platform.script.openFailureCode = 5;
  ASSERT_TRUE(meter->Start());
  WaitForEnd();
  EXPECT_THAT(events->Kinds(), ElementsAre("blad", "stan"));
  EXPECT_THAT(ErrorText(), ::testing::StartsWith("Port COM7: "));
  EXPECT_THAT(
      LogLinesStartingWith("pętla:"),
      ElementsAre("pętla: start wątku", "pętla: otwieram port", "pętla: port się nie otworzył"));
  EXPECT_TRUE(platform.Recorded().writes.empty());
  EXPECT_EQ(LinesClosed(), 0);
}

TEST_F(AcquisitionLoopTest, StopBeforeTheFirstPollClosesThePortWithoutAQuery) {
  platform.HoldAt(Hold::kOpen);
  ASSERT_TRUE(meter->Start());
  ASSERT_TRUE(platform.WaitUntilHeld());
  meter->Stop();
  Drain();
  EXPECT_THAT(events->Kinds(), ElementsAre("stan", "stan"));
  EXPECT_TRUE(platform.Recorded().writes.empty());
  EXPECT_TRUE(LogLinesStartingWith("pętla: pierwsze").empty());
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
  EXPECT_EQ(ReadsOfPoll(2).size(), 1u);
  EXPECT_EQ(platform.Recorded().sleeps.size(), sleepsBefore) << "no pacing after a stop";
  ExpectEndedCleanly();
}

TEST_F(AcquisitionLoopTest, StopWhilePacingLeavesWithinOneStep) {
  platform.script.answers[1] = {{30, Frame(1)}};
  RunPolls(1);  // stops while the first poll paces
  EXPECT_EQ(platform.Recorded().sleeps.size(), 1u);
  EXPECT_EQ(platform.Recorded().writes.size(), 1u);
  EXPECT_THAT(events->Kinds(), ElementsAre("stan", "pomiar", "stan"));
  ExpectEndedCleanly();
}

// Mend: the read window is measured in elapsed ticks, so a poll that starts just before the
// 32-bit tick count wraps still reads (a wrapped deadline would end its window before the first
// read).
TEST_F(AcquisitionLoopTest, ReadWindowSurvivesTheTickCountWrap) {
  platform.script.tickStart = 0xFFFFFFFFu - 29;  // wraps 30 ms into the first poll
  platform.script.answers[1] = {{60, Frame(4321)}};
  RunPolls(3);
  EXPECT_THAT(events->Kinds(), ElementsAre("stan", "pomiar", "brak", "brak", "stan"));
  EXPECT_THAT(RawValues(), ElementsAre(4321));
  // Silent polls after the wrap still read for the whole 700 ms window.
  EXPECT_EQ(ReadsOfPoll(2).size(), 4u);
  EXPECT_THAT(TimesOf("brak"), ElementsAre(Wall(1800), Wall(2800)));
}

TEST_F(AcquisitionLoopTest, SilentPollStartingJustBeforeTheWrapReadsItsWholeWindow) {
  platform.script.tickStart = 0xFFFFFFFFu - 299;
  RunPolls(1);
  EXPECT_EQ(ReadsOfPoll(1).size(), 4u);
  EXPECT_THAT(TimesOf("brak"), ElementsAre(Wall(800)));
}

}  // namespace
