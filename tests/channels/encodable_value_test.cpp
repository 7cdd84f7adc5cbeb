#include <gtest/gtest.h>

#include <any>
#include <cmath>
#include <limits>
#include <string>
#include <variant>
#include <vector>

#include "channels/encodable_value.h"

namespace {

using flutter::CustomEncodableValue;
using flutter::EncodableList;
using flutter::EncodableMap;
using flutter::EncodableValue;

// Listed in ascending order: values of different alternatives order by the alternative's fixed
// index, whatever their contents.
TEST(EncodableValueOrder, EachTypeLandsOnItsFixedIndexAndOrdersByIt) {
  const std::vector<EncodableValue> ascending = {
      EncodableValue(),
      EncodableValue(true),
      EncodableValue(100),
      EncodableValue(int64_t{-5}),
      EncodableValue(-1e300),
      EncodableValue("literal"),
      EncodableValue(std::vector<uint8_t>{}),
      EncodableValue(std::vector<int32_t>{}),
      EncodableValue(std::vector<int64_t>{}),
      EncodableValue(std::vector<double>{}),
      EncodableValue(EncodableList{}),
      EncodableValue(EncodableMap{}),
      EncodableValue(CustomEncodableValue(std::any(1))),
      EncodableValue(std::vector<float>{}),
  };
  for (size_t i = 0; i < ascending.size(); ++i) {
    EXPECT_EQ(ascending[i].index(), i);
    if (i == 0) continue;
    EXPECT_LT(ascending[i - 1], ascending[i]) << "index " << i;
    EXPECT_FALSE(ascending[i] < ascending[i - 1]) << "index " << i;
  }
  EXPECT_TRUE(EncodableValue().IsNull());
  EncodableValue assigned;
  assigned = "text";
  EXPECT_EQ(std::get<std::string>(assigned), "text");
}

TEST(EncodableValueOrder, WithinOneAlternative) {
  EXPECT_EQ(EncodableValue(), EncodableValue());
  EXPECT_LT(EncodableValue(false), EncodableValue(true));
  EXPECT_LT(EncodableValue(-3), EncodableValue(2));
  EXPECT_LT(EncodableValue(int64_t{-3}), EncodableValue(int64_t{2}));
  EXPECT_LT(EncodableValue(-0.5), EncodableValue(0.25));
  // Strings: unsigned bytes (UTF-8 after ASCII), proper prefix first.
  EXPECT_LT(EncodableValue("z"), EncodableValue("\xc4\x85"));
  EXPECT_LT(EncodableValue("ab"), EncodableValue("abc"));
  EXPECT_LT(EncodableValue(""), EncodableValue("a"));
  // Lists lexicographically by element.
  EXPECT_LT(EncodableValue(std::vector<uint8_t>{1, 2}), EncodableValue(std::vector<uint8_t>{1, 3}));
  EXPECT_LT(EncodableValue(std::vector<int32_t>{-1}), EncodableValue(std::vector<int32_t>{-1, 0}));
  EXPECT_LT(EncodableValue(std::vector<double>{2.0}), EncodableValue(std::vector<double>{10.0}));
  EXPECT_LT(EncodableValue(EncodableList{1, "b"}), EncodableValue(EncodableList{1, "c"}));
  EXPECT_LT(EncodableValue(EncodableList{2}), EncodableValue(EncodableList{"a"}));
  // Maps by entries: key first, then value.
  EXPECT_LT(EncodableValue(EncodableMap{{"a", 9}}), EncodableValue(EncodableMap{{"b", 0}}));
  EXPECT_LT(EncodableValue(EncodableMap{{"a", 1}}), EncodableValue(EncodableMap{{"a", 2}}));
  EXPECT_LT(EncodableValue(EncodableMap{{"a", 1}}),
            EncodableValue(EncodableMap{{"a", 1}, {"b", 0}}));
}

TEST(EncodableValueOrder, CustomValuesGoByIdentity) {
  EncodableList both{EncodableValue(CustomEncodableValue(std::any(1))),
                     EncodableValue(CustomEncodableValue(std::any(1)))};
  const auto* first = &std::get<CustomEncodableValue>(both[0]);
  const auto* second = &std::get<CustomEncodableValue>(both[1]);
  EXPECT_EQ(both[0] < both[1], first < second);
  EXPECT_NE(both[0], both[1]);
  EXPECT_EQ(both[0], both[0]);
  EXPECT_EQ(std::any_cast<int>(std::get<CustomEncodableValue>(both[0]).value()), 1);
}

TEST(EncodableValueOrder, NanKeysCannotSwallowOtherEntries) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  EncodableMap map;
  map.emplace(nan, "nan");
  map.emplace(1.0, "one");
  map.emplace(-1.0, "minus one");
  map.emplace(nan, "second nan");
  ASSERT_EQ(map.size(), 3u);
  auto it = map.begin();
  EXPECT_EQ(std::get<double>(it->first), -1.0);
  EXPECT_EQ(std::get<double>((++it)->first), 1.0);
  EXPECT_TRUE(std::isnan(std::get<double>((++it)->first)));
  EXPECT_EQ(std::get<std::string>(it->second), "nan");
  EXPECT_LT(EncodableValue(std::vector<float>{1.0f}),
            EncodableValue(std::vector<float>{std::numeric_limits<float>::quiet_NaN()}));
}

}  // namespace
