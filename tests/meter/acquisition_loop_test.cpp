#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <numeric>

#include "tests/meter/support/meter_fixture.h"

namespace {

using meter_link::SerialIo;
using ::testing::Each;
using ::testing::ElementsAre;
using ::testing::Field;
using ::testing::Le;
using Read = ScriptedMeterPlatform::Read;

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

  std::vector<Read> ReadsOfPoll(int poll) {
    std::vector<Read> found;
    for (const Read& read : platform.Reads()) {
      if (read.poll == poll) found.push_back(read);
    }
    return found;
  }

  void ExpectEndedCleanly() {
    EXPECT_FALSE(meter->IsRunning());
    EXPECT_FALSE(meter->IsPortOpen());
    EXPECT_EQ(platform.LinesClosed(), 1);
  }
};

TEST_F(AcquisitionLoopTest, OneFramePerPollGivesOneReadingPerPoll) {
  platform.AnswerEveryPollFrom(1, {{30, Frame(1234, 1, 7)}});
  RunPolls(3);

  EXPECT_THAT(events->Kinds(), ElementsAre("stan", "pomiar", "pomiar", "pomiar", "stan"));
  const auto readings = events->OfKind("pomiar");
  const auto& first = readings.front();
  EXPECT_EQ(::Field<double>(first, "lux"), 1234 * 0.1);
  EXPECT_EQ(::Field<int32_t>(first, "raw"), 1234);
  EXPECT_EQ(::Field<int32_t>(first, "kod"), 1);
  EXPECT_EQ(::Field<std::string>(first, "zakres"), "400 lx");
  EXPECT_EQ(::Field<bool>(first, "ol"), false);
  EXPECT_EQ(::Field<int32_t>(first, "nr"), 7);
  // Each frame is decoded 50 ms after its last byte (the line's interval time-out).
  EXPECT_THAT(TimesOf("pomiar"), ElementsAre(Wall(80), Wall(1080), Wall(2080)));
  EXPECT_EQ(::Field<bool>(events->OfKind("stan").front(), "podlaczony"), true);

  EXPECT_THAT(platform.DebugLines(), ElementsAre("Sonel: pierwsza ramka 1234 raw, 400 lx\n"));
  EXPECT_THAT(LogLinesStartingWith("pętla:"),
              ElementsAre("pętla: start wątku", "pętla: otwieram port", "pętla: port otwarty",
                          "pętla: pierwsze zapytanie 0x11"));
  for (const auto& write : platform.Writes()) EXPECT_EQ(write.bytes, Bytes{0x11});
  ExpectEndedCleanly();
}

TEST_F(AcquisitionLoopTest, PollsOncePerSecondInSleepsOfAtMost50Ms) {
  // A silent meter: each poll reads for 700 ms (four reads of 200 ms), then paces 200 ms.
  RunPolls(3);

  const auto writes = platform.Writes();
  ASSERT_EQ(writes.size(), 3u);
  EXPECT_EQ(writes[0].atMs, 0);
  EXPECT_EQ(writes[1].atMs, 1000);
  EXPECT_EQ(writes[2].atMs, 2000);
  EXPECT_EQ(ReadsOfPoll(1).size(), 4u);
  EXPECT_EQ(ReadsOfPoll(2).back().endMs, 1800);
  const auto sleeps = platform.Sleeps();
  EXPECT_THAT(sleeps, Each(Le(50u)));
  EXPECT_EQ(std::accumulate(sleeps.begin(), sleeps.end(), 0u), 200u + 200u + 50u)
      << "two full paces and the first step of the third, where the stop came";
  EXPECT_THAT(events->Kinds(), ElementsAre("stan", "brak", "brak", "brak", "stan"));
  EXPECT_THAT(TimesOf("brak"), ElementsAre(Wall(800), Wall(1800), Wall(2800)));
  EXPECT_TRUE(platform.DebugLines().empty());
}

TEST_F(AcquisitionLoopTest, PacingFillsTheRestOfTheSecond) {
  platform.AnswerEveryPollFrom(1, {{30, Frame(5)}});
  RunPolls(2);
  // Answered after 80 ms: 920 ms of pacing, in steps of 50 and a last one of 20.
  const std::vector<uint32_t> sleeps = platform.Sleeps();
  ASSERT_GE(sleeps.size(), 19u);
  const std::vector<uint32_t> firstPace(sleeps.begin(), sleeps.begin() + 19);
  EXPECT_THAT(std::vector<uint32_t>(firstPace.begin(), firstPace.end() - 1), Each(50u));
  EXPECT_EQ(firstPace.back(), 20u);
  EXPECT_EQ(platform.Writes()[1].atMs, 1000);
}

TEST_F(AcquisitionLoopTest, FrameSplitOverTwoReadsIsDecodedAfterTheSecond) {
  const Bytes frame = Frame(2345);
  platform.AnswerPoll(1, {{30, Bytes(frame.begin(), frame.begin() + 10)},
                          {150, Bytes(frame.begin() + 10, frame.end())}});
  RunPolls(1);
  EXPECT_THAT(RawValues(), ElementsAre(2345));
  EXPECT_THAT(ReadsOfPoll(1), ElementsAre(Field(&Read::count, 10u), Field(&Read::count, 9u)));
  EXPECT_THAT(TimesOf("pomiar"), ElementsAre(Wall(200)));
}

TEST_F(AcquisitionLoopTest, StreamWithoutHeaderEndsEveryPollWithBrak) {
  platform.AnswerEveryPollFrom(1, {{30, Bytes(40, 0x55)}});
  RunPolls(3);
  EXPECT_THAT(events->Kinds(), ElementsAre("stan", "brak", "brak", "brak", "stan"));
  // Reads end at 80, 280, 480, 680 and 880 ms: the last one began inside the 700 ms window.
  EXPECT_THAT(TimesOf("brak"), ElementsAre(Wall(880), Wall(1880), Wall(2880)));
}

TEST_F(AcquisitionLoopTest, SecondFrameOfOneReadIsReportedEarlyInTheNextPoll) {
  platform.AnswerPoll(1, {{30, Join({Frame(1), Frame(2)})}});
  platform.AnswerPoll(2, {{30, {0x00}}});
  platform.AnswerPoll(3, {{30, Frame(3)}});
  RunPolls(3);
  EXPECT_THAT(events->Kinds(), ElementsAre("stan", "pomiar", "pomiar", "pomiar", "stan"));
  EXPECT_THAT(RawValues(), ElementsAre(1, 2, 3));
  EXPECT_THAT(TimesOf("pomiar"), ElementsAre(Wall(80), Wall(1080), Wall(2080)));
  EXPECT_EQ(ReadsOfPoll(2).size(), 1u);
}

TEST_F(AcquisitionLoopTest, FullReadKeepsItsLast255Bytes) {
  const Bytes read = Join({Frame(1111), Bytes(256 - 38, 0x55), Frame(2222)});
  platform.AnswerPoll(1, {{30, read}});
  RunPolls(1);
  EXPECT_THAT(ReadsOfPoll(1), ElementsAre(Field(&Read::count, 256u)));
  EXPECT_THAT(RawValues(), ElementsAre(2222));
}

TEST_F(AcquisitionLoopTest, FrameAfterTheReadWindowIsDecodedInTheNextPoll) {
  platform.AnswerPoll(1, {{850, Frame(555)}});
  RunPolls(2);
  EXPECT_THAT(events->Kinds(), ElementsAre("stan", "brak", "pomiar", "stan"));
  EXPECT_THAT(TimesOf("brak"), ElementsAre(Wall(800)));
  // Already waiting in the input queue: the first read of poll 2 returns it after the interval.
  EXPECT_THAT(TimesOf("pomiar"), ElementsAre(Wall(1050)));
  EXPECT_EQ(ReadsOfPoll(2).size(), 1u);
  EXPECT_THAT(RawValues(), ElementsAre(555));
}

TEST_F(AcquisitionLoopTest, FailedWriteWithoutCodeReportsTheMeterUnplugged) {
  platform.AnswerEveryPollFrom(1, {{30, Frame(9)}});
  platform.FailWrite(2, SerialIo{false, 0, 0});
  ASSERT_TRUE(meter->Start());
  WaitForEnd();
  EXPECT_THAT(events->Kinds(), ElementsAre("stan", "pomiar", "blad", "stan"));
  EXPECT_EQ(::Field<std::string>(events->OfKind("blad")[0], "tekst"), "Miernik odłączony");
  EXPECT_EQ(platform.Writes().size(), 2u);
  ExpectEndedCleanly();
}

TEST_F(AcquisitionLoopTest, WriteOfNoByteCountsAsAFailure) {
  platform.FailWrite(1, SerialIo{true, 0, 0});
  ASSERT_TRUE(meter->Start());
  WaitForEnd();
  EXPECT_THAT(events->Kinds(), ElementsAre("stan", "blad", "stan"));
  EXPECT_EQ(::Field<std::string>(events->OfKind("blad")[0], "tekst"), "Miernik odłączony");
  EXPECT_TRUE(platform.Reads().empty());
  ExpectEndedCleanly();
}

TEST_F(AcquisitionLoopTest, FailedWriteWithCodeReportsTheSystemText) {
  platform.FailWrite(1, SerialIo{false, 0, 21});
  ASSERT_TRUE(meter->Start());
  WaitForEnd();
  EXPECT_EQ(::Field<std::string>(events->OfKind("blad").at(0), "tekst"), "Błąd urządzenia nr 21.");
  ExpectEndedCleanly();
}

TEST_F(AcquisitionLoopTest, FailedReadReportsTheSystemTextOrTheUnpluggedMeter) {
  platform.AnswerEveryPollFrom(1, {{30, Frame(9)}});
  platform.FailFirstReadOfPoll(3, 31);
  ASSERT_TRUE(meter->Start());
  WaitForEnd();
  EXPECT_THAT(events->Kinds(), ElementsAre("stan", "pomiar", "pomiar", "blad", "stan"));
  EXPECT_EQ(::Field<std::string>(events->OfKind("blad")[0], "tekst"), "Błąd urządzenia nr 31.");
  ExpectEndedCleanly();

  platform.FailFirstReadOfPoll(4, 0);  // the first poll of the second run
  ASSERT_TRUE(meter->Start());
  WaitForEnd();
  EXPECT_EQ(::Field<std::string>(events->OfKind("blad").at(1), "tekst"), "Miernik odłączony");
}

TEST_F(AcquisitionLoopTest, PortFoundClosedAtThePollStartReportsAccessDenied) {
  platform.AnswerEveryPollFrom(1, {{30, Frame(9)}});
  platform.HoldAt(Hold::kFirstSleepOfPoll, 1);
  ASSERT_TRUE(meter->Start());
  ASSERT_TRUE(platform.WaitUntilHeld());
  meter->ClosePort();  // the loop is parked in a sleep and does not touch the port meanwhile
  platform.Release();
  WaitForEnd();
  EXPECT_THAT(events->Kinds(), ElementsAre("stan", "pomiar", "blad", "stan"));
  EXPECT_EQ(::Field<std::string>(events->OfKind("blad")[0], "tekst"), "Błąd urządzenia nr 5.");
  EXPECT_EQ(platform.Writes().size(), 1u);
  EXPECT_FALSE(meter->IsRunning());
}

TEST_F(AcquisitionLoopTest, PortThatDoesNotOpenEndsTheRunWithErrorAndState) {
  platform.FailOpen(meter_link::OpenFailureStage::kOpen, 5);
  ASSERT_TRUE(meter->Start());
  WaitForEnd();
  EXPECT_THAT(events->Kinds(), ElementsAre("blad", "stan"));
  EXPECT_THAT(::Field<std::string>(events->OfKind("blad")[0], "tekst"),
              ::testing::StartsWith("Port COM7: "));
  EXPECT_THAT(
      LogLinesStartingWith("pętla:"),
      ElementsAre("pętla: start wątku", "pętla: otwieram port", "pętla: port się nie otworzył"));
  EXPECT_TRUE(platform.Writes().empty());
  EXPECT_EQ(platform.LinesClosed(), 0);
}

TEST_F(AcquisitionLoopTest, StopBeforeTheFirstPollClosesThePortWithoutAQuery) {
  platform.HoldAt(Hold::kOpen);
  ASSERT_TRUE(meter->Start());
  ASSERT_TRUE(platform.WaitUntilHeld());
  meter->Stop();
  Drain();
  EXPECT_THAT(events->Kinds(), ElementsAre("stan", "stan"));
  EXPECT_TRUE(platform.Writes().empty());
  EXPECT_TRUE(LogLinesStartingWith("pętla: pierwsze").empty());
  ExpectEndedCleanly();
}

TEST_F(AcquisitionLoopTest, StopWhileReadingLeavesAfterThatRead) {
  platform.AnswerPoll(1, {{30, Frame(1)}});
  platform.HoldAt(Hold::kFirstReadOfPoll, 2);
  ASSERT_TRUE(meter->Start());
  ASSERT_TRUE(platform.WaitUntilHeld());
  const size_t sleepsBefore = platform.Sleeps().size();
  meter->Stop();
  Drain();
  EXPECT_THAT(events->Kinds(), ElementsAre("stan", "pomiar", "stan")) << "no brak after a stop";
  EXPECT_EQ(ReadsOfPoll(2).size(), 1u);
  EXPECT_EQ(platform.Sleeps().size(), sleepsBefore) << "no pacing after a stop";
  ExpectEndedCleanly();
}

TEST_F(AcquisitionLoopTest, StopWhilePacingLeavesWithinOneStep) {
  platform.AnswerPoll(1, {{30, Frame(1)}});
  RunPolls(1);
  EXPECT_EQ(platform.Sleeps().size(), 1u);
  EXPECT_EQ(platform.Writes().size(), 1u);
  EXPECT_THAT(events->Kinds(), ElementsAre("stan", "pomiar", "stan"));
  ExpectEndedCleanly();
}

// The read window is measured in elapsed ticks, so a poll that starts just before the 32-bit
// tick count wraps still reads (a wrapped deadline would end its window before the first read).
TEST_F(AcquisitionLoopTest, ReadWindowSurvivesTheTickCountWrap) {
  platform.SetTickStart(0xFFFFFFFFu - 29);  // wraps 30 ms into the first poll
  platform.AnswerPoll(1, {{60, Frame(4321)}});
  RunPolls(3);
  EXPECT_THAT(events->Kinds(), ElementsAre("stan", "pomiar", "brak", "brak", "stan"));
  EXPECT_THAT(RawValues(), ElementsAre(4321));
  // Silent polls after the wrap still read for the whole 700 ms window.
  EXPECT_EQ(ReadsOfPoll(2).size(), 4u);
  EXPECT_THAT(TimesOf("brak"), ElementsAre(Wall(1800), Wall(2800)));
}

TEST_F(AcquisitionLoopTest, SilentPollStartingJustBeforeTheWrapReadsItsWholeWindow) {
  platform.SetTickStart(0xFFFFFFFFu - 299);
  RunPolls(1);
  EXPECT_EQ(ReadsOfPoll(1).size(), 4u);
  EXPECT_THAT(TimesOf("brak"), ElementsAre(Wall(800)));
}

}  // namespace
