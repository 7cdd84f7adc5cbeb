#include <gtest/gtest.h>

#include "channel_test_support.h"
#include "channels/byte_buffer_streams.h"
#include "channels/standard_codec_serializer.h"

namespace {

using channel_test::Decode;
using channel_test::Encode;
using channel_test::Hex;
using channel_test::StderrCapture;
using channel_test::ToHex;
using flutter::EncodableList;
using flutter::EncodableMap;
using flutter::EncodableValue;

TEST(StandardEncodingGolden, QuotedExamples) {
  EXPECT_EQ(ToHex(Encode(EncodableMap{{"a", 1}})), "0d 01 07 01 61 03 01 00 00 00");
  EXPECT_EQ(ToHex(Encode(EncodableList{1.5})), "0c 01 06 00 00 00 00 00 00 00 00 00 00 00 f8 3f");
}

}  // namespace
