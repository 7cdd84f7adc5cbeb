// The stand-in engine's own reading and writing of the standard encoding (its transcript and its
// script) against the bytes our codec writes.

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

const flutter::StandardMethodCodec& Codec() { return flutter::StandardMethodCodec::GetInstance(); }

std::string Summary(const std::vector<uint8_t>& bytes, bool preferMethodCall = false) {
  return SummarizeMessage(bytes.data(), bytes.size(), preferMethodCall);
}

TEST(StandInWireTest, TranscriptReadsWhatOurCodecWrites) {
  // Empty typed lists are padded like full ones; the values after them must stay readable.
  const EncodableValue event(EncodableList{
      EncodableValue(std::vector<int32_t>{}), EncodableValue(1.5),
      EncodableValue(std::vector<double>{}), EncodableValue(std::vector<uint8_t>{1, 2}),
      EncodableValue(EncodableMap{{EncodableValue("t"), EncodableValue(int64_t{1700000000000})}}),
      EncodableValue(std::vector<double>{0.5}), EncodableValue(false)});
  EXPECT_EQ(Summary(*Codec().EncodeSuccessEnvelope(&event)),
            "success [int32[], 1.5, float64[], bytes[1, 2], {\"t\": 1700000000000L}, "
            "float64[0.5], false]");
  const EncodableValue details(std::string("szczegóły"));
  EXPECT_EQ(Summary(*Codec().EncodeErrorEnvelope("blad", "", &details)),
            "error \"blad\" null \"szczegóły\"");
  EXPECT_EQ(Summary(ParseHex("00 07 05 6162").value()), "undecodable");
}

TEST(StandInWireTest, ScriptCallsAreTheBytesOurCodecWrites) {
  const ParsedScript script = ParseScript(
      "# comment\n\nwait 250\ncall lumerovantix/sonel_info porty \"z blankiem\"\n"
      "send raw/channel 07 01 61\nawait-reply\nawait-event lumerovantix/sonel 800\nclose\n");
  ASSERT_EQ(script.error, "");
  using Kind = ScriptCommand::Kind;
  std::vector<Kind> kinds;
  for (const ScriptCommand& command : script.commands) kinds.push_back(command.kind);
  EXPECT_EQ(kinds, (std::vector<Kind>{Kind::kWait, Kind::kCall, Kind::kSend, Kind::kAwaitReply,
                                      Kind::kAwaitEvent, Kind::kClose}));
  ASSERT_EQ(kinds.size(), 6u);
  EXPECT_EQ(script.commands[1].message,
            *Codec().EncodeMethodCall(MethodCall<EncodableValue>(
                "porty", std::make_unique<EncodableValue>(std::string("z blankiem")))));
  EXPECT_EQ(script.commands[4].millis, 800u);
  EXPECT_EQ(ParseScript("wait 1\nfrobnicate\n").error, "line 2: unknown command frobnicate");
}

}  // namespace
}  // namespace stand_in
