#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "channel_test_support.h"
#include "channels/standard_method_codec.h"

namespace {

using namespace channel_test;
using flutter::EncodableMap;
using flutter::EncodableValue;
using flutter::MethodCall;
using flutter::StandardMethodCodec;

const StandardMethodCodec& Codec() { return StandardMethodCodec::GetInstance(); }

// Records every answer as a line, values as the hex of their encoding: "success",
// "success 03 05 00 00 00", "error <code>|<message>[|<details hex>]".
class RecordingResult : public flutter::MethodResult<EncodableValue> {
 public:
  Lines answers;

 protected:
  void SuccessInternal(const EncodableValue* value) override {
    answers.push_back(value != nullptr ? "success " + ToHex(Encode(*value)) : "success");
  }
  void ErrorInternal(const std::string& code, const std::string& message,
                     const EncodableValue* details) override {
    answers.push_back("error " + code + "|" + message +
                      (details != nullptr ? "|" + ToHex(Encode(*details)) : ""));
  }
  void NotImplementedInternal() override { answers.push_back("not implemented"); }
};

// Calls we write, and what reading bytes gives: a name without arguments reads as a null
// argument, trailing bytes are ignored, a call without a string name is none.
TEST(MethodCallBytes, GoldenBytesBothWays) {
  const struct {
    bool ours;  // written by us, else read only
    const char* hex;
    const char* name;  // nullptr: no call
    EncodableValue arguments;
    Lines lines = {};
  } cases[] = {
      {true, "07 05 73 74 61 72 74 00", "start", EncodableValue()},
      // The arguments' alignment counts from the first byte of the message.
      {true, "07 02 61 62 06 00 00 00 00 00 00 00 00 00 f0 3f", "ab", 1.0},
      {false, "07 01 61 00 99", "a", EncodableValue()},
      {false, "07 01 61", "a", EncodableValue(), {kInvalidRead}},
      {false, "03 01 00 00 00 00", nullptr, {}, {kNameNotString}},
      {false, "", nullptr, {}, {kInvalidRead, kNameNotString}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.hex);
    if (c.ours) {
      EXPECT_EQ(ToHex(*Codec().EncodeMethodCall(MethodCall<EncodableValue>(
                    c.name, c.arguments.IsNull() ? nullptr
                                                 : std::make_unique<EncodableValue>(c.arguments)))),
                c.hex);
    }
    StderrCapture errors;
    const auto call = Codec().DecodeMethodCall(Hex(c.hex));
    EXPECT_EQ(errors.Take(), c.lines);
    if (c.name == nullptr) {
      EXPECT_EQ(call, nullptr);
      continue;
    }
    ASSERT_NE(call, nullptr);
    EXPECT_EQ(call->method_name(), c.name);
    ASSERT_NE(call->arguments(), nullptr);
    EXPECT_EQ(*call->arguments(), c.arguments);
  }
}

// Each envelope's bytes we write, and what processing bytes answers: an unknown flag is not an
// envelope, an empty reply is success without a value, a malformed error envelope from the peer
// is reported, not thrown.
TEST(Envelopes, GoldenBytesAndTheirAnswers) {
  const EncodableValue two(2.0), seven(7);
  const EncodableValue state(EncodableMap{{"typ", "stan"}, {"podlaczony", true}});
  const std::string bad_error = "Invalid error envelope; code or message is not a string.";
  const struct {
    std::unique_ptr<std::vector<uint8_t>> ours;  // null: read only
    const char* hex;
    Lines answers, lines = {};
  } cases[] = {
      {Codec().EncodeSuccessEnvelope(), "00 00", {"success"}},
      {Codec().EncodeSuccessEnvelope(&two),
       "00 06 00 00 00 00 00 00 00 00 00 00 00 00 00 40",
       {"success 06 00 00 00 00 00 00 00 00 00 00 00 00 00 00 40"}},
      // The state event: twenty-seven bytes.
      {Codec().EncodeSuccessEnvelope(&state),
       "00 0d 02 07 0a 70 6f 64 6c 61 63 7a 6f 6e 79 01 07 03 74 79 70 07 04 73 74 61 6e",
       {"success 0d 02 07 0a 70 6f 64 6c 61 63 7a 6f 6e 79 01 07 03 74 79 70 07 04 73 74 61 6e"}},
      {Codec().EncodeErrorEnvelope("error"), "01 07 05 65 72 72 6f 72 00 00", {"error error|"}},
      {Codec().EncodeErrorEnvelope(""), "01 07 00 00 00", {"error |"}},
      {Codec().EncodeErrorEnvelope("e", "m", &seven),
       "01 07 01 65 07 01 6d 03 07 00 00 00",
       {"error e|m|03 07 00 00 00"}},
      {nullptr, "02 00", {}},
      {nullptr, "", {"success"}, {kInvalidRead, kInvalidRead}},
      {nullptr, "01 03 01 00 00 00 00 00", {}, {bad_error}},
      {nullptr, "01 07 01 65 01 00", {}, {bad_error}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.hex);
    if (c.ours) {
      EXPECT_EQ(ToHex(*c.ours), c.hex);
    }
    StderrCapture errors;
    RecordingResult result;
    const auto bytes = Hex(c.hex);
    EXPECT_EQ(Codec().DecodeAndProcessResponseEnvelope(bytes.data(), bytes.size(), &result),
              !c.answers.empty());
    EXPECT_EQ(result.answers, c.answers);
    EXPECT_EQ(errors.Take(), c.lines);
  }
}

}  // namespace
