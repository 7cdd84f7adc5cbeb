#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "channel_test_support.h"
#include "channels/standard_method_codec.h"

namespace {

using channel_test::Hex;
using channel_test::kInvalidRead;
using channel_test::RecordingResult;
using channel_test::StderrCapture;
using channel_test::ToHex;
using flutter::EncodableList;
using flutter::EncodableMap;
using flutter::EncodableValue;
using flutter::MethodCall;
using flutter::StandardCodecSerializer;
using flutter::StandardMethodCodec;
using Lines = std::vector<std::string>;

const StandardMethodCodec& Codec() { return StandardMethodCodec::GetInstance(); }

TEST(MethodCallBytes, EncodeGolden) {
  EXPECT_EQ(ToHex(*Codec().EncodeMethodCall(MethodCall<EncodableValue>("start", nullptr))),
            "07 05 73 74 61 72 74 00");
  // The arguments' alignment counts from the first byte of the message.
  auto arguments = std::make_unique<EncodableValue>(1.0);
  EXPECT_EQ(
      ToHex(*Codec().EncodeMethodCall(MethodCall<EncodableValue>("ab", std::move(arguments)))),
      "07 02 61 62 06 00 00 00 00 00 00 00 00 00 f0 3f");
}

TEST(MethodCallBytes, DecodeRoundTripAndTrailingBytes) {
  auto arguments = std::make_unique<EncodableValue>(EncodableMap{{"x", EncodableList{1, 2.5}}});
  auto bytes = Codec().EncodeMethodCall(MethodCall<EncodableValue>("porty", std::move(arguments)));
  bytes->push_back(0x99);  // ignored
  StderrCapture errors;
  auto call = Codec().DecodeMethodCall(*bytes);
  ASSERT_NE(call, nullptr);
  EXPECT_EQ(call->method_name(), "porty");
  ASSERT_NE(call->arguments(), nullptr);
  EXPECT_EQ(*call->arguments(), EncodableValue(EncodableMap{{"x", EncodableList{1, 2.5}}}));
  EXPECT_EQ(errors.Text(), "");
}

TEST(MethodCallBytes, BrokenCalls) {
  StderrCapture errors;
  auto call = Codec().DecodeMethodCall(Hex("07 01 61"));  // a name without arguments
  ASSERT_NE(call, nullptr);
  EXPECT_EQ(call->method_name(), "a");
  ASSERT_NE(call->arguments(), nullptr);
  EXPECT_TRUE(call->arguments()->IsNull());
  EXPECT_EQ(errors.Lines(), Lines{kInvalidRead});
  errors.Clear();
  EXPECT_EQ(Codec().DecodeMethodCall(Hex("03 01 00 00 00 00")), nullptr);
  EXPECT_EQ(errors.Lines(), Lines{"Invalid method call; method name is not a string."});
  errors.Clear();
  EXPECT_EQ(Codec().DecodeMethodCall(nullptr, 0), nullptr);
  EXPECT_EQ(errors.Lines(),
            (Lines{kInvalidRead, "Invalid method call; method name is not a string."}));
}

TEST(EnvelopeBytes, Golden) {
  const EncodableValue two(2.0);
  const EncodableValue seven(7);
  const EncodableValue state(EncodableMap{{"typ", "stan"}, {"podlaczony", true}});
  EXPECT_EQ(ToHex(*Codec().EncodeSuccessEnvelope()), "00 00");
  EXPECT_EQ(ToHex(*Codec().EncodeSuccessEnvelope(&two)),
            "00 06 00 00 00 00 00 00 00 00 00 00 00 00 00 40");
  // The state event: twenty-seven bytes.
  EXPECT_EQ(ToHex(*Codec().EncodeSuccessEnvelope(&state)),
            "00 0d 02 07 0a 70 6f 64 6c 61 63 7a 6f 6e 79 01 07 03 74 79 70 07 04 73 74 61 6e");
  EXPECT_EQ(ToHex(*Codec().EncodeErrorEnvelope("error")), "01 07 05 65 72 72 6f 72 00 00");
  EXPECT_EQ(ToHex(*Codec().EncodeErrorEnvelope("")), "01 07 00 00 00");
  EXPECT_EQ(ToHex(*Codec().EncodeErrorEnvelope("e", "m", &seven)),
            "01 07 01 65 07 01 6d 03 07 00 00 00");
}

// Maps are written in their own order (see the serializer's golden bytes), which is byte order.
TEST(EnvelopeBytes, ReadingEventKeysTravelInByteOrder) {
  const EncodableMap reading{
      {"typ", "pomiar"},    {"lux", 123.5}, {"raw", 1235}, {"kod", 2},
      {"zakres", "400 lx"}, {"ol", false},  {"nr", 7},     {"t", int64_t{1700000000000}}};
  std::vector<std::string> keys;
  for (const auto& entry : reading) keys.push_back(std::get<std::string>(entry.first));
  EXPECT_EQ(keys, (Lines{"kod", "lux", "nr", "ol", "raw", "t", "typ", "zakres"}));
}

std::vector<std::string> Process(const std::vector<uint8_t>& envelope, bool expect_recognised) {
  RecordingResult result;
  EXPECT_EQ(Codec().DecodeAndProcessResponseEnvelope(envelope.data(), envelope.size(), &result),
            expect_recognised)
      << ToHex(envelope);
  return result.answers;
}

TEST(ResponseEnvelope, SuccessAndErrorReachTheResult) {
  StderrCapture errors;
  EXPECT_EQ(Process(Hex("00 00"), true), Lines{"success"});
  EXPECT_EQ(Process(Hex("00 03 05 00 00 00"), true), Lines{"success 03 05 00 00 00"});
  EXPECT_EQ(Process(Hex("01 07 05 65 72 72 6f 72 00 00"), true), Lines{"error error|"});
  EXPECT_EQ(Process(Hex("01 07 01 65 07 01 6d 03 07 00 00 00"), true),
            Lines{"error e|m|03 07 00 00 00"});
  EXPECT_EQ(Process(Hex("02 00"), false), Lines{});
  EXPECT_EQ(errors.Text(), "");
  // An empty reply is success without a value.
  EXPECT_EQ(Process({}, true), Lines{"success"});
  EXPECT_EQ(errors.Lines(), (Lines{kInvalidRead, kInvalidRead}));
}

// A malformed error envelope from the peer is reported, not thrown.
TEST(ResponseEnvelope, ErrorWithoutStringCodeOrMessageIsRefused) {
  StderrCapture errors;
  EXPECT_EQ(Process(Hex("01 03 01 00 00 00 00 00"), false), Lines{});
  EXPECT_EQ(Process(Hex("01 07 01 65 01 00"), false), Lines{});
  EXPECT_EQ(errors.Lines(), Lines(2, "Invalid error envelope; code or message is not a string."));
}

class PlusOneSerializer : public StandardCodecSerializer {
 public:
  void WriteValue(const EncodableValue& value, flutter::ByteStreamWriter* stream) const override {
    if (const auto* number = std::get_if<int32_t>(&value)) {
      StandardCodecSerializer::WriteValue(*number + 1, stream);
      return;
    }
    StandardCodecSerializer::WriteValue(value, stream);
  }
};

TEST(CodecRegistry, OneCodecPerSerializer) {
  static const PlusOneSerializer serializer;  // registered codecs outlive every test
  const StandardMethodCodec& codec = StandardMethodCodec::GetInstance(&serializer);
  EXPECT_NE(&codec, &StandardMethodCodec::GetInstance());
  EXPECT_EQ(&codec, &StandardMethodCodec::GetInstance(&serializer));
  const EncodableValue value(EncodableList{1});
  EXPECT_EQ(ToHex(*codec.EncodeSuccessEnvelope(&value)), "00 0c 01 03 02 00 00 00");
}

}  // namespace
