#include "runner/meter/meter_frame.h"

#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <vector>

#include "tools/meter_frames/meter_frame_builder.h"

namespace meter_link {
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
  for (const auto& change : changes) frame.at(change.first) = change.second;
  return frame;
}

TEST(DecodeFrame, WorkedExampleFillsEveryField) {
  EXPECT_EQ(AllFields(Decode(kExample)),
            std::make_tuple(1234, 1, 1234 * 0.1, "400 lx", false, 7, 2025, 3, 14, 9, 30, 45));
  // BCD nibbles are not validated; the number byte is passed on whole.
  const MeterReading odd = Decode(ExampleWith({{3, 0x99}, {6, 0x1A}, {9, 0xA0}, {16, 0xFF}}));
  EXPECT_EQ(std::make_tuple(odd.year, odd.day, odd.second, odd.nr),
            std::make_tuple(2099, 20, 100, 255));
  EXPECT_EQ(Decode(ExampleWith({{3, 0x00}})).year, 2000);
  // Bytes that are not read have no influence; a 40-byte buffer decodes from its first 19.
  const auto expected = AllFields(Decode(kExample));
  for (size_t index : {4, 12, 13, 17, 18}) {
    EXPECT_EQ(AllFields(Decode(ExampleWith({{index, 0xA5}}))), expected) << index;
  }
  Bytes longer = kExample;
  longer.insert(longer.end(), 21, 0x43);
  EXPECT_EQ(AllFields(Decode(longer)), expected);
}

// Byte 14: range code in the low nibble, bit 6 overload; byte 15 bit 6 overload too. The value
// of the example is 1234 counts.
TEST(DecodeFrame, RangeLabelFactorAndOverload) {
  const struct {
    uint8_t byte14, byte15;
    int code;
    const char* label;
    double lux;
    bool overload;
  } rows[] = {
      {0x00, 0, 0, "400 klx", 123400.0, false}, {0x01, 0, 1, "400 lx", 1234 * 0.1, false},
      {0x02, 0, 2, "4000 lx", 1234.0, false},   {0x03, 0, 3, "40 klx", 12340.0, false},
      {0xB2, 0, 2, "4000 lx", 1234.0, false},   {0x41, 0, 1, "400 lx", 1234 * 0.1, true},
      {0x02, 0x40, 2, "4000 lx", 1234.0, true}, {0x02, 0xBF, 2, "4000 lx", 1234.0, false},
      {0x07, 0, 7, "?07", 1234.0, false},       {0x4C, 0, 12, "?4c", 1234.0, true},
      {0xB5, 0, 5, "?b5", 1234.0, false},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(testing::Message() << std::hex << int{row.byte14} << " " << int{row.byte15});
    const MeterReading r = Decode(ExampleWith({{14, row.byte14}, {15, row.byte15}}));
    EXPECT_EQ(std::make_tuple(r.rangeCode, r.rangeLabel, r.lux, r.overload),
              std::make_tuple(row.code, std::string(row.label), row.lux, row.overload));
  }
  EXPECT_EQ(Decode(ExampleWith({{10, 0xFF}, {11, 0xFF}, {14, 0x02}})).raw, 25755);
  // The smallest range multiplies by one tenth rather than dividing by ten.
  EXPECT_EQ(Decode(ExampleWith({{10, 0}, {11, 3}})).lux, 0.30000000000000004);
}

TEST(DecodeFrame, RejectsShortBuffersWrongHeadersAndNullPointersUntouched) {
  const Bytes wrong[] = {ExampleWith({{2, 0x01}}), ExampleWith({{1, 0xDC}}),
                         ExampleWith({{0, 0xAB}})};
  const std::pair<const uint8_t*, size_t> rejected[] = {
      {kExample.data(), 18}, {kExample.data(), 0},  {wrong[0].data(), 19},
      {wrong[1].data(), 19}, {wrong[2].data(), 19}, {nullptr, 19}};
  for (const auto& [data, length] : rejected) {
    MeterReading r = Sentinel();
    EXPECT_FALSE(DecodeFrame(data, length, &r)) << length;
    EXPECT_EQ(AllFields(r), AllFields(Sentinel()));
  }
  EXPECT_FALSE(DecodeFrame(kExample.data(), kExample.size(), nullptr));
}

// Smoke test of the frame builder that the other meter tests and the simulator rely on.
TEST(MeterFrameBuilder, ComposesTheWorkedExample) {
  MeterFrameFields fields{1234, 1, false, 7, 2025, 3, 14, 9, 30, 45};
  EXPECT_EQ(BuildMeterFrame(fields), kExample);
  fields.rangeCode = 3;
  fields.overload = true;
  EXPECT_EQ(BuildMeterFrame(fields), ExampleWith({{14, 0x43}, {15, 0x40}}));
}

}  // namespace
}  // namespace meter_link
