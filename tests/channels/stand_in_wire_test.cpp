// The stand-in engine's transcript reads the bytes our codec writes (its scripts are shown by the
// program's own test, tests/shell/win32_program_test.cpp).

#include <gtest/gtest.h>

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
}

}  // namespace
}  // namespace stand_in
