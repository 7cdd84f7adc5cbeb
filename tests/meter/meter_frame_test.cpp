#include "runner/meter/meter_frame.h"

#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <vector>

#include "tools/meter_frames/meter_frame_builder.h"

namespace {

using namespace meter_link;

using Bytes = std::vector<uint8_t>;

// The worked example: 1234 counts on the 400 lx range, number 7, 2025-03-14 09:30:45.
const Bytes kExample = {0xAA, 0xDD, 0x00, 0x25, 0x00, 0x03, 0x14, 0x09, 0x30, 0x45,
                        0x0C, 0x22, 0x00, 0x00, 0x01, 0x00, 0x07, 0x00, 0x00};

auto AllFields(const MeterReading& r) {
  return std::make_tuple(r.raw, r.rangeCode, r.lux, r.rangeLabel, r.overload, r.nr, r.year, r.month,
                         r.day, r.hour, r.minute, r.second);
}

auto DateTime(const MeterReading& r) {
  return std::make_tuple(r.year, r.month, r.day, r.hour, r.minute, r.second);
}

// A record that no frame decodes to, to see whether a rejected frame touched it.
MeterReading Sentinel() {
  MeterReading r;
  std::tie(r.raw, r.rangeCode, r.lux, r.rangeLabel, r.overload, r.nr) =
      std::make_tuple(-5, 99, -1.5, "unchanged", true, 1000);
  std::tie(r.year, r.month, r.day, r.hour, r.minute, r.second) = std::make_tuple(1, 2, 3, 4, 5, 6);
  return r;
}

MeterReading Decode(const Bytes& frame) {
  MeterReading r = Sentinel();
  EXPECT_TRUE(DecodeFrame(frame.data(), frame.size(), &r));
  return r;
}

// The example with some bytes changed: {index, value} pairs.
Bytes ExampleWith(std::initializer_list<std::pair<size_t, uint8_t>> changes) {
  Bytes frame = kExample;
  for (const auto& change : changes) frame[change.first] = change.second;
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
  EXPECT_EQ(DateTime(r), std::make_tuple(2025, 3, 14, 9, 30, 45));
  EXPECT_EQ(Decode(ExampleWith({{16, 0xFF}})).nr, 255);
}

// Byte 14 holds the range code in its low nibble (bit 6 is the overload); bytes 10 and 11 are the
// display value as value / 100 and value % 100, without a range check.
TEST(DecodeFrame, RangeOverloadAndDisplayValue) {
  struct Row {
    uint8_t byte14, byte15, byte10, byte11;
    int raw, code;
    const char* label;
    double lux;
    bool overload;
  };
  const Row rows[] = {
      // Code 0 is the largest range, code 1 the smallest; bits other than 6 are no overload.
      {0x00, 0, 1, 0, 100, 0, "400 klx", 10000.0, false},
      {0x01, 0, 1, 0, 100, 1, "400 lx", 10.0, false},
      {0x02, 0, 1, 0, 100, 2, "4000 lx", 100.0, false},
      {0x03, 0, 1, 0, 100, 3, "40 klx", 1000.0, false},
      {0xB2, 0, 1, 0, 100, 2, "4000 lx", 100.0, false},
      {0x41, 0, 1, 0, 100, 1, "400 lx", 10.0, true},
      {0x43, 0, 12, 34, 1234, 3, "40 klx", 12340.0, true},
      {0x02, 0x40, 12, 34, 1234, 2, "4000 lx", 1234.0, true},  // overload from byte 15 alone
      {0x42, 0x40, 12, 34, 1234, 2, "4000 lx", 1234.0, true},
      {0x02, 0xBF, 12, 34, 1234, 2, "4000 lx", 1234.0, false},  // every bit of byte 15 but 6
      // Unknown codes show the whole byte 14 in lower-case hex, with the factor 1.
      {0x04, 0, 12, 34, 1234, 4, "?04", 1234.0, false},
      {0x0A, 0, 12, 34, 1234, 10, "?0a", 1234.0, false},
      {0x0F, 0, 12, 34, 1234, 15, "?0f", 1234.0, false},
      {0x4C, 0, 12, 34, 1234, 12, "?4c", 1234.0, true},
      {0x87, 0, 12, 34, 1234, 7, "?87", 1234.0, false},
      {0xB5, 0, 12, 34, 1234, 5, "?b5", 1234.0, false},
      {0xFF, 0, 12, 34, 1234, 15, "?ff", 1234.0, true},
      {0x02, 0, 0xFF, 0xFF, 25755, 2, "4000 lx", 25755.0, false},
      {0x02, 0, 0, 0, 0, 2, "4000 lx", 0.0, false},
      // The smallest range multiplies by one tenth rather than dividing by ten.
      {0x01, 0, 0, 3, 3, 1, "400 lx", 0.30000000000000004, false},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(testing::Message() << std::hex << "byte 14 " << int{row.byte14} << ", byte 15 "
                                    << int{row.byte15} << ", raw " << std::dec << row.raw);
    const MeterReading r = Decode(
        ExampleWith({{14, row.byte14}, {15, row.byte15}, {10, row.byte10}, {11, row.byte11}}));
    EXPECT_EQ(r.raw, row.raw);
    EXPECT_EQ(r.rangeCode, row.code);
    EXPECT_EQ(r.rangeLabel, row.label);
    EXPECT_EQ(r.lux, row.lux);
    EXPECT_EQ(r.overload, row.overload);
  }
}

TEST(DecodeFrame, DateAndTimeAreBcdWithoutValidation) {
  Bytes frame = ExampleWith({{3, 0x99}, {5, 0xFF}, {6, 0x1A}, {7, 0x3F}, {8, 0x00}, {9, 0xA0}});
  EXPECT_EQ(DateTime(Decode(frame)), std::make_tuple(2099, 165, 20, 45, 0, 100));
  frame[3] = 0x00;
  EXPECT_EQ(Decode(frame).year, 2000);
}

TEST(DecodeFrame, BytesThatAreNotReadHaveNoInfluence) {
  const auto expected = AllFields(Decode(kExample));
  for (size_t index : {4, 12, 13, 17, 18}) {
    SCOPED_TRACE(index);
    EXPECT_EQ(AllFields(Decode(ExampleWith({{index, 0xA5}}))), expected);
  }
  // A 40-byte buffer decodes from its first 19 bytes; what follows may even be another frame.
  Bytes longer = kExample;
  const Bytes next = ExampleWith({{14, 0x43}});
  longer.insert(longer.end(), next.begin(), next.end());
  longer.insert(longer.end(), {0x11, 0x22});
  EXPECT_EQ(AllFields(Decode(longer)), expected);
}

TEST(DecodeFrame, RejectsShortBuffersWrongHeadersAndNullPointersUntouched) {
  const struct {
    Bytes frame;
    size_t length;
  } rejected[] = {{kExample, 18},
                  {kExample, 0},
                  {ExampleWith({{2, 0x01}}), 19},
                  {ExampleWith({{1, 0xDC}}), 19},
                  {ExampleWith({{0, 0xAB}}), 19}};
  for (const auto& row : rejected) {
    SCOPED_TRACE(testing::Message() << "length " << row.length);
    MeterReading r = Sentinel();
    EXPECT_FALSE(DecodeFrame(row.frame.data(), row.length, &r));
    EXPECT_EQ(AllFields(r), AllFields(Sentinel()));
  }
  MeterReading r = Sentinel();
  EXPECT_FALSE(DecodeFrame(nullptr, 19, &r));
  EXPECT_EQ(AllFields(r), AllFields(Sentinel()));
  EXPECT_FALSE(DecodeFrame(kExample.data(), kExample.size(), nullptr));
}

TEST(MeterFrameBuilder, ComposesTheWorkedExample) {
  MeterFrameFields fields;
  fields.value = 1234;
  fields.number = 7;
  std::tie(fields.year, fields.month, fields.day, fields.hour, fields.minute, fields.second) =
      std::make_tuple(2025, 3, 14, 9, 30, 45);
  EXPECT_EQ(BuildMeterFrame(fields), kExample);

  fields.rangeCode = 3;
  fields.overload = true;
  EXPECT_EQ(BuildMeterFrame(fields), ExampleWith({{14, 0x43}, {15, 0x40}}));
}

TEST(MeterFrameBuilder, RoundTripsEveryFieldThroughDecodeFrame) {
  for (int code = 0; code < 16; ++code) {
    for (bool overload : {false, true}) {
      MeterFrameFields f;
      f.value = 25599 - code * 1601;
      f.rangeCode = code;
      f.overload = overload;
      f.number = static_cast<uint8_t>(code * 17);
      std::tie(f.year, f.month, f.day, f.hour, f.minute, f.second) = std::make_tuple(
          2000 + code * 6, 1 + code % 12, 31 - code, 23 - code, 59 - code * 3, code * 3);
      SCOPED_TRACE(code);
      const Bytes frame = BuildMeterFrame(f);
      ASSERT_EQ(frame.size(), kMeterFrameLength);
      const MeterReading r = Decode(frame);
      EXPECT_EQ(std::make_tuple(r.raw, r.rangeCode, r.overload, r.nr),
                std::make_tuple(f.value, code, overload, f.number));
      EXPECT_EQ(DateTime(r), std::make_tuple(f.year, f.month, f.day, f.hour, f.minute, f.second));
    }
  }
}
