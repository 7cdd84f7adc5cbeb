#include <gtest/gtest.h>

#include <any>
#include <cmath>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include "channel_test_support.h"
#include "channels/byte_buffer_streams.h"
#include "channels/standard_codec_serializer.h"

namespace {

using channel_test::Decode;
using channel_test::Encode;
using channel_test::Hex;
using channel_test::kInvalidRead;
using channel_test::StderrCapture;
using channel_test::ToHex;
using flutter::ByteBufferStreamReader;
using flutter::ByteBufferStreamWriter;
using flutter::CustomEncodableValue;
using flutter::EncodableList;
using flutter::EncodableMap;
using flutter::EncodableValue;
using flutter::StandardCodecSerializer;
using Lines = std::vector<std::string>;

const StandardCodecSerializer& Serializer() { return StandardCodecSerializer::GetInstance(); }

// One value of every alternative the standard encoding carries, nested in a list and a map.
EncodableValue EveryAlternative() {
  EncodableList scalars{
      EncodableValue(),
      true,
      false,
      int32_t{-123456},
      int64_t{-1234567890123},
      3.25,
      "zażółć",
      std::string(),
      std::vector<uint8_t>{0, 1, 255},
      std::vector<uint8_t>{},
      std::vector<int32_t>{-1, 2, std::numeric_limits<int32_t>::max()},
      std::vector<int32_t>{},
      std::vector<int64_t>{std::numeric_limits<int64_t>::min(), 5},
      std::vector<int64_t>{},
      std::vector<double>{0.5, -1e-300},
      std::vector<double>{},
      std::vector<float>{1.5f, -2.25f, 3.0f},
      std::vector<float>{},
  };
  EncodableMap map{{"list", scalars},
                   {1, "int key"},
                   {2.5, EncodableMap{{"inner", EncodableList{EncodableList{}, 7.0}}}},
                   {EncodableList{1, 2}, std::vector<double>{9.0}}};
  return EncodableList{scalars, map, EncodableMap{}, EncodableList{}};
}

TEST(StandardEncodingGolden, EveryAlternative) {
  struct Case {
    EncodableValue value;
    const char* hex;
  };
  const Case cases[] = {
      {EncodableMap{{"a", 1}}, "0d 01 07 01 61 03 01 00 00 00"},
      {EncodableList{1.5}, "0c 01 06 00 00 00 00 00 00 00 00 00 00 00 f8 3f"},
      {EncodableValue(), "00"},
      {true, "01"},
      {false, "02"},
      {-2, "03 fe ff ff ff"},
      {int64_t{0x0102030405060708}, "04 08 07 06 05 04 03 02 01"},
      {2.0, "06 00 00 00 00 00 00 00 00 00 00 00 00 00 00 40"},
      {"", "07 00"},
      {std::vector<uint8_t>{1, 2, 3}, "08 03 01 02 03"},
      {std::vector<int32_t>{1, -1}, "09 02 00 00 01 00 00 00 ff ff ff ff"},
      {std::vector<int64_t>{1}, "0a 01 00 00 00 00 00 00 01 00 00 00 00 00 00 00"},
      {std::vector<double>{1.0}, "0b 01 00 00 00 00 00 00 00 00 00 00 00 00 f0 3f"},
      {std::vector<float>{1.0f}, "0e 01 00 00 00 00 80 3f"},
      // Map entries in ascending key order.
      {EncodableMap{{"b", 1}, {"a", 2}, {"ab", 3}},
       "0d 03 07 01 61 03 02 00 00 00 07 02 61 62 03 03 00 00 00 07 01 62 03 01 00 00 00"},
      // Empty lists of 4- and 8-byte elements are padded like full ones, because the reader
      // aligns before every such list; without the padding the value after one would be misread.
      {std::vector<int32_t>{}, "09 00 00 00"},
      {std::vector<float>{}, "0e 00 00 00"},
      {std::vector<double>{}, "0b 00 00 00 00 00 00 00"},
      {std::vector<int64_t>{}, "0a 00 00 00 00 00 00 00"},
      {std::vector<uint8_t>{}, "08 00"},
      {EncodableList{true, std::vector<int32_t>{}, 5, std::vector<double>{}, 6},
       "0c 05 01 09 00 00 00 00 03 05 00 00 00 0b 00 00 03 06 00 00 00"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.hex);
    EXPECT_EQ(ToHex(Encode(c.value)), c.hex);
    StderrCapture errors;
    EXPECT_EQ(Decode(Hex(c.hex)), c.value);
    EXPECT_EQ(errors.Text(), "");
  }
}

TEST(StandardEncodingSizePrefix, Boundaries) {
  struct Case {
    size_t length;
    std::string prefix;
  };
  for (const Case& c :
       {Case{0, "07 00"}, Case{253, "07 fd"}, Case{254, "07 fe fe 00"}, Case{300, "07 fe 2c 01"},
        Case{65535, "07 fe ff ff"}, Case{65536, "07 ff 00 00 01 00"}}) {
    const std::string text(c.length, 'q');
    const auto bytes = Encode(text);
    const size_t prefix_size = Hex(c.prefix).size();
    ASSERT_EQ(bytes.size(), prefix_size + c.length) << c.length;
    EXPECT_EQ(ToHex({bytes.begin(), bytes.begin() + prefix_size}), c.prefix);
    EXPECT_EQ(std::get<std::string>(Decode(bytes)), text);

    const std::vector<uint8_t> list(c.length, 7);
    const auto list_bytes = Encode(list);
    EXPECT_EQ(list_bytes[0], 0x08);
    EXPECT_EQ(ToHex({list_bytes.begin() + 1, list_bytes.begin() + prefix_size}),
              c.prefix.substr(3));
    EXPECT_EQ(std::get<std::vector<uint8_t>>(Decode(list_bytes)), list);
  }
}

TEST(StandardEncodingAlignment, CountsFromTheBufferStart) {
  // Type byte at offset 0: 7 padding bytes. At offset 7: none.
  EXPECT_EQ(Encode(1.0).size(), 16u);
  std::vector<uint8_t> bytes(7, 0xaa);
  ByteBufferStreamWriter writer(&bytes);
  Serializer().WriteValue(1.0, &writer);
  EXPECT_EQ(ToHex(bytes), "aa aa aa aa aa aa aa 06 00 00 00 00 00 00 f0 3f");

  ByteBufferStreamReader reader(bytes.data(), bytes.size());
  uint8_t skipped[7];
  reader.ReadBytes(skipped, 7);
  EXPECT_EQ(std::get<double>(Serializer().ReadValue(&reader)), 1.0);
  EXPECT_EQ(reader.position(), bytes.size());
}

TEST(StandardEncodingRoundTrip, EveryAlternativeNestedAtEveryOffset) {
  const EncodableValue value = EveryAlternative();
  const auto at_zero = Encode(value);
  for (size_t offset = 0; offset < 8; ++offset) {
    std::vector<uint8_t> bytes(offset, 0xee);
    ByteBufferStreamWriter writer(&bytes);
    Serializer().WriteValue(value, &writer);

    ByteBufferStreamReader reader(bytes.data(), bytes.size());
    std::vector<uint8_t> skipped(offset);
    reader.ReadBytes(skipped.data(), offset);
    StderrCapture errors;
    const EncodableValue decoded = Serializer().ReadValue(&reader);
    EXPECT_EQ(decoded, value) << "offset " << offset;
    EXPECT_EQ(reader.position(), bytes.size()) << "offset " << offset;
    EXPECT_EQ(errors.Text(), "");
    EXPECT_EQ(Encode(decoded), at_zero) << "offset " << offset;
  }
}

TEST(StandardEncodingRoundTrip, LegacyStringTypeByteReadsAsString) {
  EXPECT_EQ(std::get<std::string>(Decode(Hex("05 02 68 69"))), "hi");
}

TEST(StandardEncodingFailures, UnknownTypeByteConsumesNoPayload) {
  StderrCapture errors;
  const auto bytes = Hex("14 03 01 00 00 00");
  ByteBufferStreamReader reader(bytes.data(), bytes.size());
  EXPECT_TRUE(Serializer().ReadValue(&reader).IsNull());
  EXPECT_EQ(errors.Lines(), Lines{"Unknown type in StandardCodecSerializer::ReadValueOfType: 20"});
  EXPECT_EQ(std::get<int32_t>(Serializer().ReadValue(&reader)), 1);
  errors.Clear();
  EXPECT_TRUE(Decode(Hex("ff")).IsNull());
  EXPECT_EQ(errors.Lines(), Lines{"Unknown type in StandardCodecSerializer::ReadValueOfType: 255"});
}

// Short input reads as zero or empty, with one line per failed read.
TEST(StandardEncodingFailures, TruncatedInputDecodesToZeroOrEmpty) {
  struct Case {
    const char* bytes;
    EncodableValue expected;
  };
  const Case cases[] = {
      {"", EncodableValue()},
      {"09 00", EncodableValue(std::vector<int32_t>())},  // alignment reads past the end
      {"03 01 00", EncodableValue(0)},
      {"04 01", EncodableValue(int64_t{0})},
      {"06 00 00 00 00 00 00 00 00 f0", EncodableValue(0.0)},
      {"07 fe 01", EncodableValue(std::string())},  // truncated 16-bit size prefix reads as 0
      {"0d 01 07 01 61", EncodableValue(EncodableMap{{"a", EncodableValue()}})},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.bytes);
    StderrCapture errors;
    EXPECT_EQ(Decode(Hex(c.bytes)), c.expected);
    EXPECT_EQ(errors.Lines(), Lines{kInvalidRead});
  }
}

TEST(StandardEncodingFailures, RepeatedMapKeyKeepsFirstValue) {
  const EncodableValue decoded =
      Decode(Hex("0d 02 07 01 61 03 01 00 00 00 07 01 61 03 02 00 00 00"));
  EXPECT_EQ(decoded, EncodableValue(EncodableMap{{"a", 1}}));
}

TEST(StandardEncodingFailures, CustomValueWritesNullAndOneLine) {
  StderrCapture errors;
  EXPECT_EQ(ToHex(Encode(EncodableList{CustomEncodableValue(std::any(5)), 1})),
            "0c 02 00 03 01 00 00 00");
  EXPECT_EQ(errors.Lines(), Lines{"Unhandled custom type in StandardCodecSerializer::WriteValue. "
                                  "Custom types require codec extensions."});
}

// Size prefixes that the remaining bytes cannot back are refused before any allocation.
TEST(StandardEncodingHostileCounts, RefusedWithOneLineAndAnEmptyValue) {
  struct Case {
    const char* bytes;
    EncodableValue expected;
  };
  const Case cases[] = {
      {"07 ff ff ff ff ff 41", EncodableValue(std::string())},
      {"08 ff ff ff ff ff 41", EncodableValue(std::vector<uint8_t>())},
      {"09 ff ff ff ff 7f 00 00 00 01 00 00 00", EncodableValue(std::vector<int32_t>())},
      {"0a fe ff ff", EncodableValue(std::vector<int64_t>())},
      {"0b ff 00 00 00 20", EncodableValue(std::vector<double>())},
      {"0e ff ff ff ff ff", EncodableValue(std::vector<float>())},
      {"0c ff ff ff ff ff 00 00", EncodableValue(EncodableList())},
      {"0d ff ff ff ff ff 00 00", EncodableValue(EncodableMap())},
      // One more element than the bytes hold.
      {"08 03 01 02", EncodableValue(std::vector<uint8_t>())},
      {"09 02 00 00 01 00 00 00", EncodableValue(std::vector<int32_t>())},
      {"0c 03 00 00", EncodableValue(EncodableList())},
      {"0d 02 00 00 00", EncodableValue(EncodableMap())},
      {"07 04 61 62 63", EncodableValue(std::string())},
  };
  for (const Case& c : cases) {
    StderrCapture errors;
    EXPECT_EQ(Decode(Hex(c.bytes)), c.expected) << c.bytes;
    EXPECT_EQ(errors.Lines(), Lines{kInvalidRead}) << c.bytes;
  }
}

TEST(StandardEncodingHostileCounts, ExactCountsStillDecode) {
  StderrCapture errors;
  EXPECT_EQ(Decode(Hex("08 02 01 02")), EncodableValue(std::vector<uint8_t>{1, 2}));
  EXPECT_EQ(Decode(Hex("0c 02 00 01")), EncodableValue(EncodableList{EncodableValue(), true}));
  EXPECT_EQ(Decode(Hex("0d 01 00 01")), EncodableValue(EncodableMap{{EncodableValue(), true}}));
  EXPECT_EQ(Decode(Hex("07 03 61 62 63")), EncodableValue("abc"));
  EXPECT_EQ(errors.Text(), "");
}

EncodableValue NestedLists(int depth) {
  EncodableValue value = 1;
  for (int i = 0; i < depth; ++i) value = EncodableList{value};
  return value;
}

int ListDepth(const EncodableValue& value) {
  int depth = 0;
  const EncodableValue* current = &value;
  while (const auto* list = std::get_if<EncodableList>(current)) {
    ++depth;
    if (list->empty()) break;
    current = &list->front();
  }
  return depth;
}

TEST(StandardEncodingHostileNesting, DeepNestingIsCutOff) {
  StderrCapture errors;
  const EncodableValue deep = NestedLists(256);
  EXPECT_EQ(Decode(Encode(deep)), deep);
  EXPECT_EQ(errors.Text(), "");

  std::vector<uint8_t> hostile;
  for (int i = 0; i < 100000; ++i) {
    hostile.push_back(0x0c);
    hostile.push_back(0x01);
  }
  hostile.push_back(0x00);
  const EncodableValue decoded = Decode(hostile);
  EXPECT_EQ(ListDepth(decoded), 256);
  EXPECT_EQ(errors.Lines(),
            Lines{"Value nested too deeply in StandardCodecSerializer::ReadValueOfType"});
}

TEST(ByteBufferStreams, ReaderMechanics) {
  const auto bytes = Hex("01 02 03");
  ByteBufferStreamReader reader(bytes.data(), bytes.size());
  StderrCapture errors;
  EXPECT_EQ(reader.ReadByte(), 1);
  uint8_t two[2] = {0xaa, 0xbb};
  reader.ReadAlignment(4);  // 1 -> 4, past the end
  EXPECT_EQ(reader.position(), 4u);
  EXPECT_EQ(reader.BytesRemaining(), 0u);
  reader.ReadBytes(two, 0);  // even an empty read fails there
  EXPECT_EQ(reader.ReadByte(), 0);
  EXPECT_EQ(reader.position(), 4u);
  EXPECT_EQ(errors.Lines(), Lines(2, kInvalidRead));

  ByteBufferStreamReader second(bytes.data(), bytes.size());
  errors.Clear();
  second.ReadBytes(two, 2);
  EXPECT_EQ(two[0], 1);
  EXPECT_EQ(two[1], 2);
  second.ReadBytes(two, 2);  // one byte short: nothing copied, position kept
  EXPECT_EQ(two[0], 1);
  EXPECT_EQ(second.position(), 2u);
  EXPECT_EQ(second.ReadInt32(), 0);
  EXPECT_EQ(second.ReadByte(), 3);
  EXPECT_EQ(errors.Lines(), Lines(2, kInvalidRead));
}

TEST(ByteBufferStreams, WriterAlignmentPadsThroughWriteByte) {
  struct CountingWriter : ByteBufferStreamWriter {
    using ByteBufferStreamWriter::ByteBufferStreamWriter;
    void WriteByte(uint8_t byte) override {
      ++single_bytes;
      ByteBufferStreamWriter::WriteByte(byte);
    }
    int single_bytes = 0;
  };
  std::vector<uint8_t> bytes{9};
  CountingWriter writer(&bytes);
  writer.WriteAlignment(8);
  EXPECT_EQ(writer.single_bytes, 7);
  writer.WriteAlignment(8);
  EXPECT_EQ(ToHex(bytes), "09 00 00 00 00 00 00 00");
}

// A serializer that adds a type; nested values must reach it through the virtual slots.
struct Point {
  int32_t x;
  int32_t y;
};

class PointSerializer : public StandardCodecSerializer {
 public:
  static constexpr uint8_t kPointType = 128;

  void WriteValue(const EncodableValue& value, flutter::ByteStreamWriter* stream) const override {
    if (const auto* custom = std::get_if<CustomEncodableValue>(&value)) {
      const auto& point = std::any_cast<const Point&>(custom->value());
      stream->WriteByte(kPointType);
      stream->WriteInt32(point.x);
      stream->WriteInt32(point.y);
      return;
    }
    StandardCodecSerializer::WriteValue(value, stream);
  }

 protected:
  EncodableValue ReadValueOfType(uint8_t type, flutter::ByteStreamReader* stream) const override {
    if (type != kPointType) return StandardCodecSerializer::ReadValueOfType(type, stream);
    Point point;
    point.x = stream->ReadInt32();
    point.y = stream->ReadInt32();
    return CustomEncodableValue(point);
  }
};

TEST(DerivedSerializer, NestedElementsUseTheDerivedSlots) {
  const PointSerializer serializer;
  const EncodableValue value(
      EncodableMap{{"p", EncodableList{CustomEncodableValue(Point{1, 2}), 3}}});
  std::vector<uint8_t> bytes;
  ByteBufferStreamWriter writer(&bytes);
  StderrCapture errors;
  serializer.WriteValue(value, &writer);
  EXPECT_EQ(ToHex(bytes), "0d 01 07 01 70 0c 02 80 01 00 00 00 02 00 00 00 03 03 00 00 00");

  ByteBufferStreamReader reader(bytes.data(), bytes.size());
  const EncodableValue decoded = serializer.ReadValue(&reader);
  const auto& list = std::get<EncodableList>(std::get<EncodableMap>(decoded).at("p"));
  const auto& point = std::any_cast<const Point&>(std::get<CustomEncodableValue>(list[0]).value());
  EXPECT_EQ(point.x, 1);
  EXPECT_EQ(point.y, 2);
  EXPECT_EQ(std::get<int32_t>(list[1]), 3);
  EXPECT_EQ(errors.Text(), "");
}

}  // namespace
