#include "channels/encodable_value.h"

#include <cmath>
#include <functional>

namespace flutter {
namespace {

template <typename T>
int CompareNumbers(T a, T b) {
  if (a < b) return -1;
  if (b < a) return 1;
  return 0;
}

// Numeric order with every NaN after all numbers and equal to each other, so that map keys
// always see a strict weak order (a plain < would let a NaN key swallow other entries).
template <typename T>
int CompareFloating(T a, T b) {
  const bool a_nan = std::isnan(a);
  const bool b_nan = std::isnan(b);
  if (a_nan || b_nan) return static_cast<int>(a_nan) - static_cast<int>(b_nan);
  return CompareNumbers(a, b);
}

template <typename Sequence, typename ElementCompare>
int CompareSequences(const Sequence& a, const Sequence& b, ElementCompare compare) {
  auto left = a.begin();
  auto right = b.begin();
  for (; left != a.end() && right != b.end(); ++left, ++right) {
    const int order = compare(*left, *right);
    if (order != 0) return order;
  }
  if (left == a.end()) return right == b.end() ? 0 : -1;
  return 1;
}

template <typename T>
int CompareNumberLists(const std::vector<T>& a, const std::vector<T>& b) {
  return CompareSequences(a, b, [](T x, T y) { return CompareNumbers(x, y); });
}

template <typename T>
int CompareFloatingLists(const std::vector<T>& a, const std::vector<T>& b) {
  return CompareSequences(a, b, [](T x, T y) { return CompareFloating(x, y); });
}

int CompareMaps(const EncodableMap& a, const EncodableMap& b) {
  return CompareSequences(a, b, [](const auto& x, const auto& y) {
    const int order = EncodableValue::Compare(x.first, y.first);
    return order != 0 ? order : EncodableValue::Compare(x.second, y.second);
  });
}

}  // namespace

bool CustomEncodableValue::operator<(const CustomEncodableValue& other) const {
  return std::less<const CustomEncodableValue*>()(this, &other);
}

int EncodableValue::Compare(const EncodableValue& a, const EncodableValue& b) {
  if (a.index() != b.index()) return a.index() < b.index() ? -1 : 1;
  switch (a.index()) {
    case 0:
      return 0;
    case 1:
      return CompareNumbers(std::get<bool>(a), std::get<bool>(b));
    case 2:
      return CompareNumbers(std::get<int32_t>(a), std::get<int32_t>(b));
    case 3:
      return CompareNumbers(std::get<int64_t>(a), std::get<int64_t>(b));
    case 4:
      return CompareFloating(std::get<double>(a), std::get<double>(b));
    case 5: {
      // std::string compares its chars as unsigned bytes, a proper prefix first.
      const int order = std::get<std::string>(a).compare(std::get<std::string>(b));
      return CompareNumbers(order, 0);
    }
    case 6:
      return CompareNumberLists(std::get<std::vector<uint8_t>>(a),
                                std::get<std::vector<uint8_t>>(b));
    case 7:
      return CompareNumberLists(std::get<std::vector<int32_t>>(a),
                                std::get<std::vector<int32_t>>(b));
    case 8:
      return CompareNumberLists(std::get<std::vector<int64_t>>(a),
                                std::get<std::vector<int64_t>>(b));
    case 9:
      return CompareFloatingLists(std::get<std::vector<double>>(a),
                                  std::get<std::vector<double>>(b));
    case 10:
      return CompareSequences(std::get<EncodableList>(a), std::get<EncodableList>(b), Compare);
    case 11:
      return CompareMaps(std::get<EncodableMap>(a), std::get<EncodableMap>(b));
    case 12: {
      const auto& x = std::get<CustomEncodableValue>(a);
      const auto& y = std::get<CustomEncodableValue>(b);
      return x < y ? -1 : (y < x ? 1 : 0);
    }
    case 13:
      return CompareFloatingLists(std::get<std::vector<float>>(a), std::get<std::vector<float>>(b));
    default:
      return 0;  // valueless_by_exception: all equal
  }
}

}  // namespace flutter
