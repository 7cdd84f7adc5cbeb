#include "runner/meter/meter_frame.h"

#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <vector>

#include "tools/meter_frames/meter_frame_builder.h"

namespace {

// The worked example: 1234 counts on the 400 lx range, number 7, 2025-03-14 09:30:45.
const std::vector<uint8_t> kExample = {0xAA, 0xDD, 0x00, 0x25, 0x00, 0x03, 0x14, 0x09, 0x30, 0x45,
                                       0x0C, 0x22, 0x00, 0x00, 0x01, 0x00, 0x07, 0x00, 0x00};

auto AllFields(const MeterReading& r) {
  return std::make_tuple(r.raw, r.rangeCode, r.lux, r.rangeLabel, r.overload, r.nr, r.year, r.month,
                         r.day, r.hour, r.minute, r.second);
}

// A record that no frame decodes to, to see whether a rejected frame touched it.
MeterReading Sentinel() {
  MeterReading r;
  r.raw = -5;
  r.rangeCode = 99;
  r.lux = -1.5;
  r.rangeLabel = "unchanged";
  r.overload = true;
  r.nr = 1000;
  r.year = 1;
  r.month = 2;
  r.day = 3;
  r.hour = 4;
  r.minute = 5;
  r.second = 6;
  return r;
}

MeterReading Decode(const std::vector<uint8_t>& frame) {
  MeterReading r = Sentinel();
  EXPECT_TRUE(DecodeFrame(frame.data(), frame.size(), &r));
  return r;
}

std::vector<uint8_t> ExampleWith(size_t index, uint8_t value) {
  std::vector<uint8_t> frame = kExample;
  frame[index] = value;
  return frame;
}

}  // namespace

TEST(DecodeFrame, WorkedExampleOverwritesEveryField) {
  const MeterReading r = Decode(kExample);
  EXPECT_EQ(r.raw, 1234);
  EXPECT_EQ(r.rangeCode, 1);
  EXPECT_EQ(r.rangeLabel, "400 lx");
  EXPECT_EQ(r.lux, 1234 * 0.1);
  EXPECT_FALSE(r.overload);
  EXPECT_EQ(r.nr, 7);
  EXPECT_EQ(std::make_tuple(r.year, r.month, r.day, r.hour, r.minute, r.second),
            std::make_tuple(2025, 3, 14, 9, 30, 45));
}

TEST(DecodeFrame, WorkedExampleWithOverloadOn40Klx) {
  const MeterReading r = Decode(ExampleWith(14, 0x43));
  EXPECT_EQ(r.rangeCode, 3);
  EXPECT_EQ(r.rangeLabel, "40 klx");
  EXPECT_EQ(r.lux, 12340.0);
  EXPECT_TRUE(r.overload);
  EXPECT_EQ(r.raw, 1234);
  EXPECT_EQ(r.nr, 7);
}

TEST(DecodeFrame, KnownRangesUseTheirLabelAndFactor) {
  // 100 counts make the factor visible; code 0 is the largest range, code 1 the smallest.
  struct Row {
    uint8_t byte14;
    int code;
    const char* label;
    double lux;
  };
  const Row rows[] = {{0x00, 0, "400 klx", 10000.0}, {0x01, 1, "400 lx", 10.0},
                      {0x02, 2, "4000 lx", 100.0},   {0x03, 3, "40 klx", 1000.0},
                      {0xB2, 2, "4000 lx", 100.0},  // bits other than 6 do not reach a known label
                      {0x41, 1, "400 lx", 10.0}};
  for (const Row& row : rows) {
    SCOPED_TRACE(row.byte14);
    std::vector<uint8_t> frame = ExampleWith(14, row.byte14);
    frame[10] = 1;
    frame[11] = 0;
    const MeterReading r = Decode(frame);
    EXPECT_EQ(r.rangeCode, row.code);
    EXPECT_EQ(r.rangeLabel, row.label);
    EXPECT_EQ(r.lux, row.lux);
  }
}

TEST(DecodeFrame, UnknownRangesShowTheWholeByte14InLowerCaseHex) {
  struct Row {
    uint8_t byte14;
    int code;
    const char* label;
    bool overload;
  };
  const Row rows[] = {{0x04, 4, "?04", false},  {0x07, 7, "?07", false}, {0x0A, 10, "?0a", false},
                      {0x0F, 15, "?0f", false}, {0x4C, 12, "?4c", true}, {0x87, 7, "?87", false},
                      {0xB5, 5, "?b5", false},  {0xFF, 15, "?ff", true}};
  for (const Row& row : rows) {
    SCOPED_TRACE(row.byte14);
    const MeterReading r = Decode(ExampleWith(14, row.byte14));
    EXPECT_EQ(r.rangeCode, row.code);
    EXPECT_EQ(r.rangeLabel, row.label);
    EXPECT_EQ(r.lux, 1234.0);  // factor 1.0
    EXPECT_EQ(r.overload, row.overload);
  }
}

TEST(DecodeFrame, OverloadComesFromBit6OfEitherByte) {
  auto overloadOf = [](uint8_t byte14, uint8_t byte15) {
    std::vector<uint8_t> frame = ExampleWith(14, byte14);
    frame[15] = byte15;
    return Decode(frame).overload;
  };
  EXPECT_TRUE(overloadOf(0x41, 0x00));
  EXPECT_TRUE(overloadOf(0x02, 0x40));
  EXPECT_TRUE(overloadOf(0x42, 0x40));
  EXPECT_FALSE(overloadOf(0x02, 0xBF));  // every bit of byte 15 but bit 6
  EXPECT_FALSE(overloadOf(0xB1, 0x00));

  std::vector<uint8_t> frame = ExampleWith(14, 0x02);
  frame[15] = 0x40;
  EXPECT_EQ(Decode(frame).rangeLabel, "4000 lx");
}

TEST(DecodeFrame, DisplayValueIsTwoPlainBytesWithoutRangeCheck) {
  std::vector<uint8_t> frame = ExampleWith(14, 0x02);
  frame[10] = 0xFF;
  frame[11] = 0xFF;
  MeterReading r = Decode(frame);
  EXPECT_EQ(r.raw, 25755);
  EXPECT_EQ(r.lux, 25755.0);

  frame[10] = 0x00;
  frame[11] = 0x00;
  r = Decode(frame);
  EXPECT_EQ(r.raw, 0);
  EXPECT_EQ(r.lux, 0.0);
}

TEST(DecodeFrame, SmallestRangeMultipliesByOneTenth) {
  std::vector<uint8_t> frame = ExampleWith(14, 0x01);
  frame[10] = 0;
  frame[11] = 3;
  const double lux = Decode(frame).lux;
  EXPECT_EQ(lux, 0.30000000000000004);
  EXPECT_NE(lux, 0.3);
}

TEST(DecodeFrame, DateAndTimeAreBcdWithoutValidation) {
  std::vector<uint8_t> frame = kExample;
  frame[3] = 0x99;
  frame[5] = 0xFF;  // 15 * 10 + 15
  frame[6] = 0x1A;
  frame[7] = 0x3F;
  frame[8] = 0x00;
  frame[9] = 0xA0;
  MeterReading r = Decode(frame);
  EXPECT_EQ(std::make_tuple(r.year, r.month, r.day, r.hour, r.minute, r.second),
            std::make_tuple(2099, 165, 20, 45, 0, 100));

  frame[3] = 0x00;
  EXPECT_EQ(Decode(frame).year, 2000);
}

TEST(DecodeFrame, NumberBytePassesThrough) {
  EXPECT_EQ(Decode(ExampleWith(16, 0x00)).nr, 0);
  EXPECT_EQ(Decode(ExampleWith(16, 0xFF)).nr, 255);
}

TEST(DecodeFrame, BytesThatAreNotReadHaveNoInfluence) {
  const auto expected = AllFields(Decode(kExample));
  for (size_t index : {4, 12, 13, 17, 18}) {
    SCOPED_TRACE(index);
    EXPECT_EQ(AllFields(Decode(ExampleWith(index, 0xA5))), expected);
  }
  // A 40-byte buffer decodes from its first 19 bytes; what follows may even be another frame.
  std::vector<uint8_t> longer = kExample;
  const std::vector<uint8_t> next = ExampleWith(14, 0x43);
  longer.insert(longer.end(), next.begin(), next.end());
  longer.insert(longer.end(), {0x11, 0x22});
  ASSERT_EQ(longer.size(), 40u);
  EXPECT_EQ(AllFields(Decode(longer)), expected);
}

TEST(DecodeFrame, RejectsShortBuffersWrongHeadersAndNullPointersUntouched) {
  const auto untouched = AllFields(Sentinel());
  auto rejected = [&](const uint8_t* data, size_t length) {
    MeterReading r = Sentinel();
    const bool result = DecodeFrame(data, length, &r);
    EXPECT_EQ(AllFields(r), untouched);
    return !result;
  };
  EXPECT_TRUE(rejected(kExample.data(), 18));
  EXPECT_TRUE(rejected(kExample.data(), 0));
  EXPECT_TRUE(rejected(ExampleWith(2, 0x01).data(), 19));
  EXPECT_TRUE(rejected(ExampleWith(1, 0xDC).data(), 19));
  EXPECT_TRUE(rejected(ExampleWith(0, 0xAB).data(), 19));
  EXPECT_TRUE(rejected(nullptr, 19));
  EXPECT_FALSE(DecodeFrame(kExample.data(), kExample.size(), nullptr));
}

TEST(MeterFrameBuilder, ComposesTheWorkedExample) {
  MeterFrameFields fields;
  fields.value = 1234;
  fields.rangeCode = 1;
  fields.number = 7;
  fields.year = 2025;
  fields.month = 3;
  fields.day = 14;
  fields.hour = 9;
  fields.minute = 30;
  fields.second = 45;
  EXPECT_EQ(BuildMeterFrame(fields), kExample);

  fields.rangeCode = 3;
  fields.overload = true;
  std::vector<uint8_t> overloaded = ExampleWith(14, 0x43);
  overloaded[15] = 0x40;
  EXPECT_EQ(BuildMeterFrame(fields), overloaded);
}

TEST(MeterFrameBuilder, RoundTripsEveryFieldThroughDecodeFrame) {
  const double factors[] = {100.0, 0.1, 1.0, 10.0};
  const char* labels[] = {"400 klx", "400 lx", "4000 lx", "40 klx"};
  const char hex[] = "0123456789abcdef";
  for (int code = 0; code < 16; ++code) {
    for (bool overload : {false, true}) {
      MeterFrameFields f;
      f.value = 25599 - code * 1601;
      f.rangeCode = code;
      f.overload = overload;
      f.number = static_cast<uint8_t>(code * 17);
      f.year = 2000 + code * 6;
      f.month = 1 + code % 12;
      f.day = 31 - code;
      f.hour = 23 - code;
      f.minute = 59 - code * 3;
      f.second = code * 3;
      SCOPED_TRACE(code);
      const std::vector<uint8_t> frame = BuildMeterFrame(f);
      ASSERT_EQ(frame.size(), kMeterFrameLength);
      const MeterReading r = Decode(frame);
      EXPECT_EQ(r.raw, f.value);
      EXPECT_EQ(r.rangeCode, code);
      EXPECT_EQ(r.lux, f.value * (code < 4 ? factors[code] : 1.0));
      const std::string unknownLabel = {'?', overload ? '4' : '0', hex[code]};
      EXPECT_EQ(r.rangeLabel, code < 4 ? labels[code] : unknownLabel);
      EXPECT_EQ(r.overload, overload);
      EXPECT_EQ(r.nr, f.number);
      EXPECT_EQ(std::make_tuple(r.year, r.month, r.day, r.hour, r.minute, r.second),
                std::make_tuple(f.year, f.month, f.day, f.hour, f.minute, f.second));
    }
  }
}
