#pragma once

#include <any>
#include <cstdint>
#include <map>
#include <string>
#include <typeinfo>
#include <variant>
#include <vector>

namespace flutter {

class EncodableValue;

// Ordered sequence of values.
using EncodableList = std::vector<EncodableValue>;
// Values keyed by values, kept in key order (the order in which entries are encoded).
using EncodableMap = std::map<EncodableValue, EncodableValue>;

// An opaque value of any type. The standard encoding cannot carry it; it exists so that
// extended codecs can. Copies are distinct objects: ordering and equality go by identity.
class CustomEncodableValue {
 public:
  explicit CustomEncodableValue(const std::any& value) : value_(value) {}
  ~CustomEncodableValue() = default;

  CustomEncodableValue(const CustomEncodableValue&) = default;
  CustomEncodableValue& operator=(const CustomEncodableValue&) = default;
  CustomEncodableValue(CustomEncodableValue&&) = default;
  CustomEncodableValue& operator=(CustomEncodableValue&&) = default;

  const std::any& value() const { return value_; }
  operator std::any&() { return value_; }
  operator const std::any&() const { return value_; }
  const std::type_info& type() const noexcept { return value_.type(); }

  bool operator<(const CustomEncodableValue& other) const;
  bool operator==(const CustomEncodableValue& other) const { return this == &other; }
  bool operator!=(const CustomEncodableValue& other) const { return this != &other; }

 private:
  std::any value_;
};

// The alternatives, at the indices that decide their encoding.
using EncodableVariant = std::variant<std::monostate,        // 0 null
                                      bool,                  // 1
                                      int32_t,               // 2
                                      int64_t,               // 3
                                      double,                // 4
                                      std::string,           // 5
                                      std::vector<uint8_t>,  // 6
                                      std::vector<int32_t>,  // 7
                                      std::vector<int64_t>,  // 8
                                      std::vector<double>,   // 9
                                      EncodableList,         // 10
                                      EncodableMap,          // 11
                                      CustomEncodableValue,  // 12
                                      std::vector<float>>;   // 13

// The value of every channel message: a tagged union with value semantics. Default is null.
// Read alternatives with std::get / std::holds_alternative; a wrong one throws
// std::bad_variant_access.
class EncodableValue : public EncodableVariant {
 public:
  using EncodableVariant::EncodableVariant;
  using EncodableVariant::operator=;

  EncodableValue() = default;
  // Without this a string literal would become a bool.
  EncodableValue(const char* string) : EncodableVariant(std::string(string)) {}
  EncodableValue& operator=(const char* string) {
    EncodableVariant::operator=(std::string(string));
    return *this;
  }

  EncodableValue(const EncodableValue&) = default;
  EncodableValue(EncodableValue&&) = default;
  EncodableValue& operator=(const EncodableValue&) = default;
  EncodableValue& operator=(EncodableValue&&) = default;
  ~EncodableValue() = default;

  bool IsNull() const { return std::holds_alternative<std::monostate>(*this); }

  const EncodableVariant& variant() const { return *this; }

  // Total order: by alternative index, then by content (strings by unsigned bytes, numbers
  // numerically with NaN after every number, sequences lexicographically, custom values by
  // identity). Negative, zero or positive like memcmp.
  static int Compare(const EncodableValue& a, const EncodableValue& b);

  friend bool operator<(const EncodableValue& a, const EncodableValue& b) {
    return Compare(a, b) < 0;
  }
  friend bool operator>(const EncodableValue& a, const EncodableValue& b) {
    return Compare(a, b) > 0;
  }
  friend bool operator<=(const EncodableValue& a, const EncodableValue& b) {
    return Compare(a, b) <= 0;
  }
  friend bool operator>=(const EncodableValue& a, const EncodableValue& b) {
    return Compare(a, b) >= 0;
  }
  // Equivalence under the order above.
  friend bool operator==(const EncodableValue& a, const EncodableValue& b) {
    return Compare(a, b) == 0;
  }
  friend bool operator!=(const EncodableValue& a, const EncodableValue& b) {
    return Compare(a, b) != 0;
  }
};

}  // namespace flutter
