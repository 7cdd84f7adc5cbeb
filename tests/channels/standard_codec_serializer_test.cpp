#include <gtest/gtest.h>

#include <any>
#include <string>
#include <vector>

#include "channel_test_support.h"
#include "channels/byte_buffer_streams.h"
#include "channels/standard_codec_serializer.h"

namespace {

using namespace channel_test;
using flutter::EncodableList;
using flutter::EncodableMap;
using flutter::EncodableValue;

TEST(StandardEncoding, GoldenBytesBothWays) {
  const struct {
    const char* hex;
    EncodableValue value;
  } cases[] = {
      {"0d 01 07 01 61 03 01 00 00 00", EncodableMap{{"a", 1}}},
      {"0c 01 06 00 00 00 00 00 00 00 00 00 00 00 f8 3f", EncodableList{1.5}},
      {"00", EncodableValue()},
      {"01", true},
      {"02", false},
      {"03 fe ff ff ff", -2},
      {"04 08 07 06 05 04 03 02 01", int64_t{0x0102030405060708}},
      {"06 00 00 00 00 00 00 00 00 00 00 00 00 00 00 40", 2.0},
      {"07 00", ""},
      {"07 03 61 62 63", "abc"},
      {"08 03 01 02 03", std::vector<uint8_t>{1, 2, 3}},
      {"09 02 00 00 01 00 00 00 ff ff ff ff", std::vector<int32_t>{1, -1}},
      {"0a 01 00 00 00 00 00 00 01 00 00 00 00 00 00 00", std::vector<int64_t>{1}},
      {"0b 01 00 00 00 00 00 00 00 00 00 00 00 00 f0 3f", std::vector<double>{1.0}},
      {"0e 01 00 00 00 00 80 3f", std::vector<float>{1.0f}},
      // Map entries in ascending key order.
      {"0d 03 07 01 61 03 02 00 00 00 07 02 61 62 03 03 00 00 00 07 01 62 03 01 00 00 00",
       EncodableMap{{"b", 1}, {"a", 2}, {"ab", 3}}},
      // Empty lists of 4- and 8-byte elements are padded like full ones, because the reader
      // aligns before every such list; without the padding the value after one would be misread.
      {"09 00 00 00", std::vector<int32_t>{}},
      {"0e 00 00 00", std::vector<float>{}},
      {"0b 00 00 00 00 00 00 00", std::vector<double>{}},
      {"0a 00 00 00 00 00 00 00", std::vector<int64_t>{}},
      {"08 00", std::vector<uint8_t>{}},
      {"0c 05 01 09 00 00 00 00 03 05 00 00 00 0b 00 00 03 06 00 00 00",
       EncodableList{true, std::vector<int32_t>{}, 5, std::vector<double>{}, 6}},
  };
  for (const auto* serializer : kBothPaths)
    for (const auto& c : cases) {
      SCOPED_TRACE(c.hex);
      EXPECT_EQ(ToHex(Encode(c.value, *serializer)), c.hex);
      StderrCapture errors;
      EXPECT_EQ(Decode(Hex(c.hex), *serializer), c.value);
      EXPECT_EQ(errors.Take(), Lines{});
    }
}

TEST(StandardEncoding, SizePrefixBoundaries) {
  const std::pair<size_t, std::string> cases[] = {
      {253, "fd"}, {254, "fe fe 00"}, {65535, "fe ff ff"}, {65536, "ff 00 00 01 00"}};
  for (const auto& [length, prefix] : cases) {
    SCOPED_TRACE(length);
    const auto text = Encode(std::string(length, 'q'));
    const auto list = Encode(std::vector<uint8_t>(length, 7));
    const size_t head = Hex(prefix).size() + 1;
    ASSERT_EQ(text.size(), head + length);
    ASSERT_EQ(list.size(), head + length);
    EXPECT_EQ(ToHex({text.begin(), text.begin() + head}), "07 " + prefix);
    EXPECT_EQ(ToHex({list.begin(), list.begin() + head}), "08 " + prefix);
    EXPECT_EQ(Decode(text), EncodableValue(std::string(length, 'q')));
    EXPECT_EQ(Decode(list), EncodableValue(std::vector<uint8_t>(length, 7)));
  }
}

// Odd and broken input: what it decodes to and the line it reports. Short input reads as zero or
// empty from an unmoved position; size prefixes the remaining bytes cannot back (hostile counts,
// a mend) are refused before any allocation.
TEST(StandardEncoding, OddAndBrokenInput) {
  const struct {
    const char* hex;
    EncodableValue value;
    const char* line = kInvalidRead;  // nullptr: nothing reported
  } cases[] = {
      {"05 02 68 69", "hi", nullptr},  // the legacy string type byte
      // A repeated map key keeps the first value.
      {"0d 02 07 01 61 03 01 00 00 00 07 01 61 03 02 00 00 00", EncodableMap{{"a", 1}}, nullptr},
      // An unknown type consumes no payload.
      {"0c 02 14 03 01 00 00 00", EncodableList{EncodableValue(), 1},
       "Unknown type in StandardCodecSerializer::ReadValueOfType: 20"},
      {"ff", EncodableValue(), "Unknown type in StandardCodecSerializer::ReadValueOfType: 255"},
      {"", EncodableValue()},
      {"09 00", std::vector<int32_t>()},                       // alignment reads past the end
      {"0c 02 04 01 02 03", EncodableList{int64_t{0}, true}},  // the failed read did not move
      {"06 00 00 00 00 00 00 00 00 f0", 0.0},
      {"07 fe 01", std::string()},  // truncated 16-bit size prefix reads as 0
      {"0d 01 07 01 61", EncodableMap{{"a", EncodableValue()}}},
      {"07 ff ff ff ff ff 41", std::string()},
      {"09 ff ff ff ff 7f 00 00 00 01 00 00 00", std::vector<int32_t>()},
      {"0b ff 00 00 00 20", std::vector<double>()},
      {"0c ff ff ff ff ff 00 00", EncodableList()},
      {"0d ff ff ff ff ff 00 00", EncodableMap()},
      // One more element than the bytes hold.
      {"08 03 01 02", std::vector<uint8_t>()},
      {"09 02 00 00 01 00 00 00", std::vector<int32_t>()},
      {"0c 03 00 00", EncodableList()},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.hex);
    StderrCapture errors;
    EXPECT_EQ(Decode(Hex(c.hex)), c.value);
    EXPECT_EQ(errors.Take(), c.line ? Lines{c.line} : Lines{});
  }
}

// A derived serializer gets every nested key and value through its slots; a custom stream gets
// alignment padding through WriteByte.
TEST(StandardEncoding, DerivedSerializerAndStreamSeeEveryCall) {
  struct Tagged : Serializer {  // a custom int as type 0x80 and 4 bytes
    void WriteValue(const EncodableValue& value, flutter::ByteStreamWriter* stream) const override {
      const auto* custom = std::get_if<flutter::CustomEncodableValue>(&value);
      if (custom == nullptr) return Serializer::WriteValue(value, stream);
      stream->WriteByte(0x80);
      stream->WriteInt32(std::any_cast<int32_t>(custom->value()));
    }
    EncodableValue ReadValueOfType(uint8_t type, flutter::ByteStreamReader* stream) const override {
      if (type != 0x80) return Serializer::ReadValueOfType(type, stream);
      return flutter::CustomEncodableValue(stream->ReadInt32());
    }
  } tagged;
  const auto bytes = Encode(EncodableMap{{"p", flutter::CustomEncodableValue(7)}}, tagged);
  EXPECT_EQ(ToHex(bytes), "0d 01 07 01 70 80 07 00 00 00");
  EXPECT_EQ(Encode(Decode(bytes, tagged), tagged), bytes);  // read back as the custom value
  struct CountingWriter : flutter::ByteBufferStreamWriter {
    CountingWriter() : ByteBufferStreamWriter(&bytes) {}
    void WriteByte(uint8_t byte) override { ++count, ByteBufferStreamWriter::WriteByte(byte); }
    std::vector<uint8_t> bytes;
    int count = 0;
  } writer;
  Serializer::GetInstance().WriteValue(2.0, &writer);
  EXPECT_EQ(writer.count, 8);  // the type byte and 7 of padding
}

// Mend: hostile nesting is cut off at 256 levels instead of exhausting the stack.
TEST(StandardEncoding, DeepNestingIsCutOff) {
  StderrCapture errors;
  EncodableValue deep = 1;
  for (int i = 0; i < 256; ++i) deep = EncodableList{deep};
  EXPECT_EQ(Decode(Encode(deep)), deep);
  EXPECT_EQ(errors.Take(), Lines{});

  std::vector<uint8_t> hostile;
  for (int i = 0; i < 100000; ++i) hostile.insert(hostile.end(), {0x0c, 0x01});
  hostile.push_back(0x00);
  const EncodableValue decoded = Decode(hostile);
  int depth = 0;
  for (auto* list = std::get_if<EncodableList>(&decoded); list != nullptr && !list->empty();
       list = std::get_if<EncodableList>(&list->front()))
    ++depth;
  EXPECT_EQ(depth, 256);
  EXPECT_EQ(errors.Take(),
            Lines{"Value nested too deeply in StandardCodecSerializer::ReadValueOfType"});
}

}  // namespace
