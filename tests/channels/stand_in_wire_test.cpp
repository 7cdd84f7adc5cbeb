// The stand-in engine's own reading and writing of the standard encoding, and its script format.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tools/stand_in_engine/script.h"
#include "tools/stand_in_engine/wire_text.h"

namespace stand_in {
namespace {

std::vector<uint8_t> Hex(const std::string& text) { return ParseHex(text).value(); }

std::string Summary(const std::string& hex, bool preferMethodCall) {
  const std::vector<uint8_t> bytes = Hex(hex);
  return SummarizeMessage(bytes.data(), bytes.size(), preferMethodCall);
}

TEST(WireTextTest, HexRoundTripsAndRejectsBrokenText) {
  const std::vector<uint8_t> bytes = {0x00, 0x0d, 0xab, 0xff};
  EXPECT_EQ(HexBytes(bytes.data(), bytes.size()), "000dabff");
  EXPECT_EQ(Hex("00 0D ab FF"), bytes);
  EXPECT_FALSE(ParseHex("0"));
  EXPECT_FALSE(ParseHex("0 0"));
  EXPECT_FALSE(ParseHex("zz"));
  EXPECT_EQ(HexBytes(nullptr, 0), "");
}

TEST(WireTextTest, SummarizesMethodCallsAndEnvelopes) {
  // "start" without arguments, the known bytes.
  EXPECT_EQ(Summary("07057374617274 00", true), "call start(null)");
  // Success envelope of the map {"a": 1}.
  EXPECT_EQ(Summary("00 0d 01 07 01 61 03 01000000", false), "success {\"a\": 1}");
  // Error envelope: code "error", no message, no details.
  EXPECT_EQ(Summary("01 07 05 6572726f72 00 00", false), "error \"error\" null null");
  EXPECT_EQ(Summary("", false), "empty");
  EXPECT_EQ(Summary("0000", false), "success null");
  // The list holding the double 1.5 inside a success envelope: padding counts from offset 0.
  EXPECT_EQ(Summary("00 0c 01 06 00000000 000000000000f83f", false), "success [1.5]");
  // An empty 32-bit list carries no padding.
  EXPECT_EQ(Summary("00 09 00", false), "success int32[]");
  EXPECT_EQ(Summary("00 04 0000000001000000", false), "success 4294967296L");
}

TEST(WireTextTest, RefusesTruncatedOrTrailingBytes) {
  EXPECT_EQ(Summary("00 07 05 6162", false), "undecodable");
  EXPECT_EQ(Summary("00 00 00", false), "undecodable");
  EXPECT_EQ(Summary("02", false), "undecodable");
  EXPECT_EQ(Summary("00 0c ffffffffff", false), "undecodable");
  EXPECT_EQ(Summary("0701 61", true), "call a (no arguments value)");
  // Deep nesting is refused instead of recursing without bound.
  std::string deep;
  for (int i = 0; i < 200; ++i) {
    deep += "0c01";
  }
  EXPECT_EQ(Summary("00" + deep + "00", false), "undecodable");
}

TEST(WireTextTest, EscapesStringsInSummaries) {
  EXPECT_EQ(Summary("00 07 04 61220a01", false), "success \"a\\\"\\n\\x01\"");
}

TEST(WireTextTest, ScriptValuesEncodeAsTheStandardEncoding) {
  auto encode = [](const std::string& text) {
    std::vector<uint8_t> out;
    AppendValue(ParseScriptValue(text).value(), out);
    return HexBytes(out.data(), out.size());
  };
  EXPECT_EQ(encode("null"), "00");
  EXPECT_EQ(encode("true"), "01");
  EXPECT_EQ(encode("false"), "02");
  EXPECT_EQ(encode("-2"), "03feffffff");
  EXPECT_EQ(encode("5000000000"), "0400f2052a01000000");
  EXPECT_EQ(encode("2.0"),
            "0600000000000000"
            "0000000000000040");
  EXPECT_EQ(encode("\"two words\""),
            "0709" + HexBytes(reinterpret_cast<const uint8_t*>("two words"), 9));
  EXPECT_EQ(encode("COM7"), "0704434f4d37");
  EXPECT_FALSE(ParseScriptValue("\"open"));
  EXPECT_FALSE(ParseScriptValue(""));
  EXPECT_FALSE(ParseScriptValue("99999999999999999999"));
}

TEST(WireTextTest, LongStringsGetWiderSizePrefixes) {
  std::vector<uint8_t> out;
  ScriptValue value;
  value.kind = ScriptValue::Kind::kString;
  value.text.assign(300, 'x');
  AppendValue(value, out);
  EXPECT_EQ(HexBytes(out.data(), 4), "07fe2c01");
  out.clear();
  value.text.assign(65536, 'x');
  AppendValue(value, out);
  EXPECT_EQ(HexBytes(out.data(), 6), "07ff00000100");
}

TEST(WireTextTest, MethodCallWithoutArgumentMatchesTheKnownBytes) {
  const std::vector<uint8_t> call = EncodeMethodCall("start", std::nullopt);
  EXPECT_EQ(HexBytes(call.data(), call.size()), "0705737461727400");
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
  EXPECT_EQ(script.commands[0].kind, ScriptCommand::Kind::kWait);
  EXPECT_EQ(script.commands[0].millis, 250u);
  EXPECT_EQ(script.commands[0].line, 3);
  EXPECT_EQ(script.commands[1].kind, ScriptCommand::Kind::kCall);
  EXPECT_EQ(script.commands[1].channel, "lumerovantix/sonel_info");
  EXPECT_EQ(script.commands[1].message, Hex("0704 7374616e 00"));
  EXPECT_EQ(script.commands[2].message, Hex("0706 6c697374656e 070a 7769746820626c616e6b"));
  EXPECT_EQ(script.commands[3].kind, ScriptCommand::Kind::kSend);
  EXPECT_EQ(script.commands[3].message, Hex("070161"));
  EXPECT_EQ(script.commands[4].kind, ScriptCommand::Kind::kAwaitReply);
  EXPECT_EQ(script.commands[4].millis, kDefaultAwaitMillis);
  EXPECT_EQ(script.commands[5].kind, ScriptCommand::Kind::kAwaitEvent);
  EXPECT_EQ(script.commands[5].channel, "lumerovantix/sonel");
  EXPECT_EQ(script.commands[5].millis, 800u);
  EXPECT_EQ(script.commands[6].kind, ScriptCommand::Kind::kClose);
}

TEST(ScriptTest, ReportsTheFirstBrokenLine) {
  EXPECT_EQ(ParseScript("wait 1\nfrobnicate\n").error, "line 2: unknown command frobnicate");
  EXPECT_EQ(ParseScript("wait soon").error, "line 1: wait needs a number of milliseconds");
  EXPECT_EQ(ParseScript("call only-channel").error, "line 1: call needs a channel and a method");
  EXPECT_EQ(ParseScript("send c 0").error, "line 1: send needs a channel and hex bytes");
  EXPECT_EQ(ParseScript("await-event").error, "line 1: await-event needs a channel");
  EXPECT_EQ(ParseScript("call c m \"open").error, "line 1: cannot read the value \"open");
  EXPECT_TRUE(ParseScript("wait 1\nfrobnicate\n").commands.empty());
}

}  // namespace
}  // namespace stand_in
