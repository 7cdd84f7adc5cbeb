// The stand-in engine's summaries of the standard encoding (its transcript) and its script format;
// its encoder and reader also against the channel layer's codec: two independent implementations
// of the standard encoding must agree.

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "channels/encodable_value.h"
#include "channels/standard_method_codec.h"
#include "tools/stand_in_engine/script.h"
#include "tools/stand_in_engine/wire_text.h"

namespace stand_in {
namespace {

using flutter::EncodableList;
using flutter::EncodableMap;
using flutter::EncodableValue;
using flutter::MethodCall;
using flutter::StandardMethodCodec;

std::vector<uint8_t> Hex(const std::string& text) { return ParseHex(text).value(); }

TEST(WireTextTest, SummariesOfWellFormedAndBrokenMessages) {
  std::string deep;  // Deep nesting is refused instead of recursing without bound.
  for (int i = 0; i < 200; ++i) deep += "0c01";
  struct Case {
    std::string hex;
    bool preferMethodCall;
    const char* summary;
  } const cases[] = {
      {"07057374617274 00", true, "call start(null)"},
      {"0701 61", true, "call a (no arguments value)"},
      {"", false, "empty"},
      {"0000", false, "success null"},
      // Padding counts from offset 0.
      {"00 0c 01 06 00000000 000000000000f83f", false, "success [1.5]"},
      {"00 09 00", false, "success int32[]"},  // An empty 32-bit list carries no padding.
      {"00 07 04 61220a01", false, "success \"a\\\"\\n\\x01\""},
      {"00 07 05 6162", false, "undecodable"},
      {"00 00 00", false, "undecodable"},
      {"02", false, "undecodable"},
      {"00 0c ffffffffff", false, "undecodable"},
      {"00" + deep + "00", false, "undecodable"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.hex.substr(0, 40));
    const std::vector<uint8_t> bytes = Hex(c.hex);
    EXPECT_EQ(SummarizeMessage(bytes.data(), bytes.size(), c.preferMethodCall), c.summary);
  }
}

TEST(ScriptTest, ParsesEveryCommand) {
  const ParsedScript script = ParseScript(
      "# a comment\r\n"
      "\n"
      "wait 250\n"
      "call lumerovantix/sonel_info stan\n"
      "call lumerovantix/sonel listen \"with blank\"\n"
      "send raw/channel 07 01 61\n"
      "await-reply\n"
      "await-event lumerovantix/sonel 800\n"
      "close\n");
  ASSERT_EQ(script.error, "");
  ASSERT_EQ(script.commands.size(), 7u);
  using Kind = ScriptCommand::Kind;
  const Kind kinds[] = {Kind::kWait,       Kind::kCall,       Kind::kCall, Kind::kSend,
                        Kind::kAwaitReply, Kind::kAwaitEvent, Kind::kClose};
  for (size_t i = 0; i < 7; ++i) EXPECT_EQ(script.commands[i].kind, kinds[i]) << i;
  EXPECT_EQ(script.commands[0].millis, 250u);
  EXPECT_EQ(script.commands[0].line, 3);
  EXPECT_EQ(script.commands[1].channel, "lumerovantix/sonel_info");
  EXPECT_EQ(script.commands[1].message, Hex("0704 7374616e 00"));
  EXPECT_EQ(script.commands[2].message, Hex("0706 6c697374656e 070a 7769746820626c616e6b"));
  EXPECT_EQ(script.commands[3].message, Hex("070161"));
  EXPECT_EQ(script.commands[4].millis, kDefaultAwaitMillis);
  EXPECT_EQ(script.commands[5].channel, "lumerovantix/sonel");
  EXPECT_EQ(script.commands[5].millis, 800u);
}

TEST(ScriptTest, ReportsTheFirstBrokenLineAndRunsNothing) {
  const std::pair<const char*, const char*> cases[] = {
      {"wait 1\nfrobnicate\n", "line 2: unknown command frobnicate"},
      {"wait soon", "line 1: wait needs a number of milliseconds"},
      {"call only-channel", "line 1: call needs a channel and a method"},
      {"send c 0", "line 1: send needs a channel and hex bytes"},
      {"send c zz", "line 1: send needs a channel and hex bytes"},
      {"await-event", "line 1: await-event needs a channel"},
      {"call c m \"open", "line 1: cannot read the value \"open"},
      {"call c m 99999999999999999999", "line 1: cannot read the value 99999999999999999999"},
  };
  for (const auto& [text, error] : cases) {
    const ParsedScript script = ParseScript(text);
    EXPECT_EQ(script.error, error);
    EXPECT_TRUE(script.commands.empty()) << text;
  }
}

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
      // Strings long enough for the wider size prefixes.
      {"\"" + std::string(300, 'x') + "\"", EncodableValue(std::string(300, 'x'))},
      {"\"" + std::string(65536, 'x') + "\"", EncodableValue(std::string(65536, 'x'))},
  };
  for (const auto& [text, value] : cases) {
    for (const std::string method : {"stan", "a-method-name-long-enough-to-shift-alignment"}) {
      const std::vector<uint8_t> ours = EncodeMethodCall(method, ParseScriptValue(text).value());
      const std::vector<uint8_t> theirs = *Codec().EncodeMethodCall(
          MethodCall<EncodableValue>(method, std::make_unique<EncodableValue>(value)));
      EXPECT_EQ(HexBytes(ours.data(), ours.size()), HexBytes(theirs.data(), theirs.size()))
          << method << " " << text.substr(0, 20);
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
