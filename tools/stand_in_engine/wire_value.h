#pragma once

// Values of the standard encoding decoded into a small tree, for the stand-in's view of what the
// host sends. Typed number lists are checked and skipped; the view never shows them.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace stand_in {

struct WireValue {
  enum class Kind { kNull, kBool, kInt, kDouble, kString, kList, kMap, kNumberList };
  Kind kind = Kind::kNull;
  bool boolean = false;
  // 32- and 64-bit integers alike.
  int64_t integer = 0;
  double number = 0;
  std::string text;
  // A list's elements; a map's keys and values, alternating.
  std::vector<WireValue> items;

  // The value under a string key of a map, or null when absent or not a map.
  const WireValue* Find(const std::string& key) const;
};

struct WireEnvelope {
  bool success = false;
  // The success value, or the error's details.
  WireValue value;
  // An error's code and message (empty when they are not strings).
  std::string errorCode, errorMessage;
};

// None unless the bytes are exactly one success or error envelope.
std::optional<WireEnvelope> DecodeEnvelope(const uint8_t* bytes, size_t size);
// The method name of a method call, or none when the bytes do not start with one.
std::optional<std::string> DecodeMethodName(const uint8_t* bytes, size_t size);

}  // namespace stand_in
