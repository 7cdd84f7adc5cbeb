#include "runner/meter/frame_accumulator.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "tools/meter_frames/meter_frame_builder.h"

namespace {

using namespace meter_link;

using Bytes = std::vector<uint8_t>;

Bytes Frame(int value, uint8_t number = 0) {
  MeterFrameFields fields;
  fields.value = value;
  fields.number = number;
  return BuildMeterFrame(fields);
}

Bytes Join(std::initializer_list<Bytes> parts) {
  Bytes all;
  for (const Bytes& part : parts) all.insert(all.end(), part.begin(), part.end());
  return all;
}

Bytes Filler(size_t count, uint8_t value = 0x55) { return Bytes(count, value); }

class FrameAccumulatorTest : public ::testing::Test {
 protected:
  bool Add(const Bytes& bytes) { return accumulator.AddRead(bytes.data(), bytes.size(), &reading); }

  FrameAccumulator accumulator;
  MeterReading reading;
};

TEST_F(FrameAccumulatorTest, FrameSplitOverTwoReadsDecodesAfterTheSecond) {
  const Bytes frame = Frame(321);
  EXPECT_FALSE(Add(Bytes(frame.begin(), frame.begin() + 10)));
  EXPECT_EQ(accumulator.Bytes().size(), 10u);
  EXPECT_TRUE(Add(Bytes(frame.begin() + 10, frame.end())));
  EXPECT_EQ(reading.raw, 321);
}

TEST_F(FrameAccumulatorTest, GarbageBeforeTheHeaderIsDiscarded) {
  EXPECT_TRUE(Add(Join({{0x01, 0xAA, 0xDD}, Frame(42, 7)})));
  EXPECT_EQ(reading.raw, 42);
  EXPECT_EQ(reading.nr, 7);
  EXPECT_TRUE(accumulator.Bytes().empty());
}

TEST_F(FrameAccumulatorTest, WithoutHeaderOnlyTheLastTwoBytesStay) {
  EXPECT_FALSE(Add(Join({Filler(30), {0xAA, 0xDD}})));
  EXPECT_EQ(accumulator.Bytes(), (Bytes{0xAA, 0xDD}));
  // Those two bytes were the start of a header that the next read completes.
  const Bytes frame = Frame(99);
  EXPECT_TRUE(Add(Bytes(frame.begin() + 2, frame.end())));
  EXPECT_EQ(reading.raw, 99);
}

TEST_F(FrameAccumulatorTest, FewerThanThreeBytesAreKeptUnsearched) {
  EXPECT_FALSE(Add({0x12, 0x34}));
  EXPECT_EQ(accumulator.Bytes(), (Bytes{0x12, 0x34}));
}

TEST_F(FrameAccumulatorTest, LongerFrameConsumesNineteenBytesAndTheTailGoesLater) {
  EXPECT_TRUE(Add(Join({Frame(500), Filler(5, 0x11)})));
  EXPECT_EQ(reading.raw, 500);
  EXPECT_EQ(accumulator.Bytes(), Filler(5, 0x11));
  EXPECT_FALSE(Add({0x22}));
  EXPECT_EQ(accumulator.Bytes(), (Bytes{0x11, 0x22}));
}

TEST_F(FrameAccumulatorTest, SecondFrameOfOneReadWaitsForTheNextRead) {
  EXPECT_TRUE(Add(Join({Frame(1), Frame(2)})));
  EXPECT_EQ(reading.raw, 1);
  EXPECT_EQ(accumulator.Bytes().size(), 19u);
  EXPECT_TRUE(Add({0x00}));
  EXPECT_EQ(reading.raw, 2);
  EXPECT_EQ(accumulator.Bytes(), (Bytes{0x00}));
}

TEST_F(FrameAccumulatorTest, FullReadKeepsOnlyItsLast255Bytes) {
  // A frame at byte 0 loses its first header byte; the frame at the end is the one decoded.
  const Bytes read = Join({Frame(1111), Filler(256 - 38), Frame(2222)});
  ASSERT_EQ(read.size(), 256u);
  EXPECT_FALSE(Add({0xAA, 0xDD, 0x00, 0x25}));  // an old partial frame, emptied by the full read
  EXPECT_TRUE(Add(read));
  EXPECT_EQ(reading.raw, 2222);
  EXPECT_TRUE(accumulator.Bytes().empty());
}

TEST_F(FrameAccumulatorTest, OverflowDropsTheOldestBytes) {
  const Bytes frame = Frame(7);
  // A partial frame waits at the front; 250 more bytes push its header out.
  EXPECT_FALSE(Add(Bytes(frame.begin(), frame.begin() + 10)));
  EXPECT_TRUE(Add(Join({Filler(231), Frame(4321)})));
  EXPECT_EQ(reading.raw, 4321) << "the stale header must have been dropped";
  EXPECT_TRUE(accumulator.Bytes().empty());
}

}  // namespace
