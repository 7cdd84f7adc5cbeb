#include <gtest/gtest.h>

#include <limits>
#include <utility>
#include <vector>

#include "channels/encodable_value.h"

namespace {

using flutter::CustomEncodableValue;
using flutter::EncodableList;
using flutter::EncodableMap;
using flutter::EncodableValue;

// Map keys go by this order, so it decides the order in which map entries travel: by alternative
// first (the first rows' contents disagree with that order), then by content.
TEST(EncodableValueOrder, ByAlternativeThenByContent) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const std::pair<EncodableValue, EncodableValue> ascending[] = {
      {EncodableValue(), false},
      {true, -100},
      {100, int64_t{-5}},
      {int64_t{5}, -1e300},
      {1e300, ""},
      {"z", std::vector<uint8_t>{}},
      {std::vector<double>{1.0}, EncodableList{}},
      {EncodableMap{{1, 2}}, CustomEncodableValue(1)},
      {CustomEncodableValue(1), std::vector<float>{}},
      {1e300, nan},       // a NaN after every number, so that a NaN key cannot swallow other keys
      {"z", "\xc4\x85"},  // strings by unsigned bytes, a proper prefix first
      {"ab", "abc"},
      {std::vector<int32_t>{-1}, std::vector<int32_t>{-1, 0}},
      {EncodableList{2}, EncodableList{"a"}},
      {EncodableMap{{"a", 9}}, EncodableMap{{"b", 0}}},  // maps by key, then value
      {EncodableMap{{"a", 1}}, EncodableMap{{"a", 2}}}};
  for (size_t i = 0; i < std::size(ascending); ++i) {
    EXPECT_LT(ascending[i].first, ascending[i].second) << i;
    EXPECT_FALSE(ascending[i].second < ascending[i].first) << i;
  }
  EXPECT_EQ(EncodableValue(nan), EncodableValue(nan));
}

}  // namespace
