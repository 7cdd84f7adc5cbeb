#include "runner/meter/meter_frame.h"

#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <vector>

#include "tools/meter_frames/meter_frame_builder.h"

namespace meter_link {
namespace {

using Bytes = std::vector<uint8_t>;

// The worked example: 1234 counts on the 400 lx range, number 7, 2025-03-14 09:30:45.
const Bytes kExample = {0xAA, 0xDD, 0x00, 0x25, 0x00, 0x03, 0x14, 0x09, 0x30, 0x45,
                        0x0C, 0x22, 0x00, 0x00, 0x01, 0x00, 0x07, 0x00, 0x00};

auto AllFields(const MeterReading& r) {
  return std::make_tuple(r.raw, r.rangeCode, r.lux, r.rangeLabel, r.overload, r.nr, r.year, r.month,
                         r.day, r.hour, r.minute, r.second);
}

MeterReading Decode(const Bytes& frame, size_t length = 19, bool decodes = true) {
  MeterReading r;  // a rejected frame leaves every field as it was
  std::tie(r.raw, r.rangeLabel, r.year) = std::make_tuple(-5, "unchanged", 1);
  EXPECT_EQ(DecodeFrame(frame.empty() ? nullptr : frame.data(), length, &r), decodes);
  return r;
}

// The example with some bytes changed: {index, value} pairs.
Bytes ExampleWith(std::initializer_list<std::pair<size_t, int>> changes) {
  Bytes frame = kExample;
  for (const auto& change : changes) frame.at(change.first) = static_cast<uint8_t>(change.second);
  return frame;
}

// The frame builder that the other meter tests and the simulator rely on composes it too.
TEST(DecodeFrame, WorkedExampleFillsEveryField) {
  EXPECT_EQ(BuildMeterFrame({1234, 1, false, 7, 2025, 3, 14, 9, 30, 45}), kExample);
  EXPECT_EQ(BuildMeterFrame({1234, 3, true, 7, 2025, 3, 14, 9, 30, 45}),
            ExampleWith({{14, 0x43}, {15, 0x40}}));
  const auto expected = AllFields(Decode(kExample));
  EXPECT_EQ(expected,
            std::make_tuple(1234, 1, 1234 * 0.1, "400 lx", false, 7, 2025, 3, 14, 9, 30, 45));
  // BCD nibbles are not validated; the number byte is passed on whole.
  const MeterReading odd = Decode(ExampleWith({{3, 0x99}, {6, 0x1A}, {9, 0xA0}, {16, 0xFF}}));
  EXPECT_EQ(std::make_tuple(odd.year, odd.day, odd.second, odd.nr),
            std::make_tuple(2099, 20, 100, 255));
  EXPECT_EQ(Decode(ExampleWith({{3, 0x00}})).year, 2000);
  EXPECT_EQ(Decode(ExampleWith({{10, 0xFF}, {11, 0xFF}, {14, 0x02}})).raw, 25755);
  // Bytes that are not read have no influence; a 40-byte buffer decodes from its first 19.
  for (size_t index : {4, 12, 13, 17, 18}) {
    EXPECT_EQ(AllFields(Decode(ExampleWith({{index, 0xA5}}))), expected) << index;
  }
  Bytes longer = kExample;
  longer.insert(longer.end(), 21, 0x43);
  EXPECT_EQ(AllFields(Decode(longer, 40)), expected);
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
    const MeterReading r = Decode(ExampleWith({{14, row.byte14}, {15, row.byte15}}));
    EXPECT_EQ(std::make_tuple(r.rangeCode, r.rangeLabel, r.lux, r.overload),
              std::make_tuple(row.code, std::string(row.label), row.lux, row.overload))
        << std::hex << int{row.byte14} << " " << int{row.byte15};
  }
}

TEST(DecodeFrame, RejectsShortBuffersWrongHeadersAndNullPointersUntouched) {
  const auto untouched = AllFields(Decode({}, 0, false));
  for (const auto& [frame, length] :
       {std::make_pair(kExample, 18), std::make_pair(Bytes{}, 19),
        std::make_pair(ExampleWith({{2, 0x01}}), 19), std::make_pair(ExampleWith({{1, 0xDC}}), 19),
        std::make_pair(ExampleWith({{0, 0xAB}}), 19)}) {
    EXPECT_EQ(AllFields(Decode(frame, length, false)), untouched) << length;
  }
  EXPECT_FALSE(DecodeFrame(kExample.data(), kExample.size(), nullptr));
}

}  // namespace
}  // namespace meter_link
