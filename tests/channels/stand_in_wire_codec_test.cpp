// The stand-in's own encoder and reader against the channel layer's codec: two independent
// implementations of the standard encoding must agree.

#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <string>
#include <vector>

#include "channels/encodable_value.h"
#include "channels/standard_method_codec.h"
#include "tools/stand_in_engine/wire_text.h"

namespace stand_in {
namespace {

using flutter::EncodableList;
using flutter::EncodableMap;
using flutter::EncodableValue;
using flutter::MethodCall;
using flutter::StandardMethodCodec;

const StandardMethodCodec& Codec() { return StandardMethodCodec::GetInstance(); }

TEST(StandInWireCodecTest, ScriptCallsEncodeAsTheCodecDoes) {
  const std::vector<std::pair<std::string, EncodableValue>> cases = {
      {"null", EncodableValue()},
      {"true", EncodableValue(true)},
      {"false", EncodableValue(false)},
      {"-7", EncodableValue(int32_t{-7})},
      {"5000000000", EncodableValue(int64_t{5000000000})},
      {"0.1", EncodableValue(0.1)},
      {"\"z blankiem\"", EncodableValue(std::string("z blankiem"))},
      {"COM7", EncodableValue(std::string("COM7"))},
  };
  for (const auto& [text, value] : cases) {
    for (const std::string method : {"stan", "a-method-name-long-enough-to-shift-alignment"}) {
      const std::vector<uint8_t> ours = EncodeMethodCall(method, ParseScriptValue(text).value());
      const std::vector<uint8_t> theirs = *Codec().EncodeMethodCall(
          MethodCall<EncodableValue>(method, std::make_unique<EncodableValue>(value)));
      EXPECT_EQ(HexBytes(ours.data(), ours.size()), HexBytes(theirs.data(), theirs.size()))
          << method << " " << text;
    }
  }
}

TEST(StandInWireCodecTest, SummariesReadWhatTheCodecWrites) {
  const EncodableValue event(EncodableMap{
      {EncodableValue("typ"), EncodableValue("pomiar")},
      {EncodableValue("lux"), EncodableValue(123.5)},
      {EncodableValue("ol"), EncodableValue(false)},
      {EncodableValue("t"), EncodableValue(int64_t{1700000000000})},
      {EncodableValue("lista"), EncodableValue(EncodableList{EncodableValue(1), EncodableValue()})},
      {EncodableValue("bajty"), EncodableValue(std::vector<uint8_t>{1, 2})},
      {EncodableValue("liczby"), EncodableValue(std::vector<double>{0.5})},
  });
  const std::vector<uint8_t> success = *Codec().EncodeSuccessEnvelope(&event);
  EXPECT_EQ(SummarizeMessage(success.data(), success.size(), false),
            "success {\"bajty\": bytes[1, 2], \"liczby\": float64[0.5], \"lista\": [1, null], "
            "\"lux\": 123.5, \"ol\": false, \"t\": 1700000000000L, \"typ\": \"pomiar\"}");
  const EncodableValue details(std::string("szczegóły"));
  const std::vector<uint8_t> error = *Codec().EncodeErrorEnvelope("blad", "", &details);
  EXPECT_EQ(SummarizeMessage(error.data(), error.size(), false),
            "error \"blad\" null \"szczegóły\"");
  const std::vector<uint8_t> call = *Codec().EncodeMethodCall(
      MethodCall<EncodableValue>("listen", std::make_unique<EncodableValue>(EncodableValue(2.0))));
  EXPECT_EQ(SummarizeMessage(call.data(), call.size(), true), "call listen(2.0)");
}

}  // namespace
}  // namespace stand_in
