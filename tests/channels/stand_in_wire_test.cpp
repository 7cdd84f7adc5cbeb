// The stand-in engine's transcript reads the bytes our codec writes (its scripts are shown by the
// program's own test, tests/shell/win32_program_test.cpp).

#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <vector>

#include "channels/encodable_value.h"
#include "channels/standard_method_codec.h"
#include "tools/stand_in_engine/view_model.h"
#include "tools/stand_in_engine/wire_text.h"

namespace stand_in {
namespace {

using flutter::EncodableList;
using flutter::EncodableMap;
using flutter::EncodableValue;

const flutter::StandardMethodCodec& Codec() { return flutter::StandardMethodCodec::GetInstance(); }

std::string Summary(const std::vector<uint8_t>& bytes) {
  return SummarizeMessage(bytes.data(), bytes.size(), false);
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
  EXPECT_EQ(Summary(ParseHex("00 06 00 00 00 00 00 00 000000000000f83f").value()), "success 1.5");
  EXPECT_EQ(Summary(ParseHex("00 06 00 00 00 00 01 00 000000000000f83f").value()), "undecodable");
}

TEST(StandInWireTest, ViewFollowsEventsAndAnswers) {
  using V = EncodableValue;
  const V reading(EncodableMap{{V("typ"), V("pomiar")},
                               {V("lux"), V(123.4)},
                               {V("raw"), V(1234)},
                               {V("kod"), V(1)},
                               {V("zakres"), V("400 lx")},
                               {V("ol"), V(true)},
                               {V("nr"), V(7)},
                               {V("t"), V(int64_t{1700000000000})}});
  const V state(EncodableMap{{V("typ"), V("stan")}, {V("podlaczony"), V(false)}});
  const V error(EncodableMap{{V("typ"), V("blad")}, {V("tekst"), V("Brak odpowiedzi")}});
  ViewModel model;
  for (const V* event : {&reading, &state, &error}) {
    const auto bytes = Codec().EncodeSuccessEnvelope(event);
    EXPECT_TRUE(ApplyHostMessage(model, "lumerovantix/sonel", bytes->data(), bytes->size()));
    EXPECT_FALSE(ApplyHostMessage(model, "test/echo", bytes->data(), bytes->size()));
  }
  ASSERT_TRUE(model.reading.has_value());
  const ViewReading& shown = *model.reading;
  EXPECT_EQ(std::make_tuple(shown.lux, shown.raw, shown.rangeCode, shown.range, shown.overload,
                            shown.number, shown.time, model.readingCount),
            std::make_tuple(123.4, 1234, 1, "400 lx", true, 7, 1700000000000, 1));
  EXPECT_EQ(model.connected, std::optional<bool>(false));
  EXPECT_EQ(model.lastError, "Brak odpowiedzi");
  const V ports(EncodableList{V("COM3"), V("COM7")});
  const auto portsCall = EncodeMethodCall("porty", std::nullopt);
  const auto portsReply = Codec().EncodeSuccessEnvelope(&ports);
  EXPECT_TRUE(ApplyReply(model, "lumerovantix/sonel_info", portsCall.data(), portsCall.size(),
                         portsReply->data(), portsReply->size()));
  const auto idCall = EncodeMethodCall("id", std::nullopt);
  const auto idReply = Codec().EncodeErrorEnvelope("brak_id", "Nie odczytano MachineGuid");
  EXPECT_TRUE(ApplyReply(model, "lumerovantix/device", idCall.data(), idCall.size(),
                         idReply->data(), idReply->size()));
  EXPECT_EQ(model.ports, (std::vector<std::string>{"COM3", "COM7"}));
  EXPECT_EQ(model.deviceError, "Nie odczytano MachineGuid");
}

}  // namespace
}  // namespace stand_in
