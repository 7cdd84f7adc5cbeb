#pragma once

// The stand-in engine's view of the standard encoding: readable summaries of messages for the
// transcript, and a small encoder for the values a script can put into a method call. Written
// independently of the channel layer, so the two check each other.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace stand_in {

// Lower-case hex, two digits per byte, no separators.
std::string HexBytes(const uint8_t* bytes, size_t size);
// Parses hex digits (blanks between bytes allowed); none for odd counts or other characters.
std::optional<std::vector<uint8_t>> ParseHex(const std::string& text);

// "call start(null)", or none when the bytes are not exactly one method call.
std::optional<std::string> SummarizeMethodCall(const uint8_t* bytes, size_t size);
// Where the bytes, read as a method call, hold alignment padding that is not zero (which makes
// them undecodable); none when they hold none.
std::optional<size_t> NonZeroPaddingInMethodCall(const uint8_t* bytes, size_t size);
// "success {...}", "error "code" "message" null", "empty", or none when not an envelope.
std::optional<std::string> SummarizeEnvelope(const uint8_t* bytes, size_t size);
// The summary that fits: a method call or an envelope, else "undecodable".
std::string SummarizeMessage(const uint8_t* bytes, size_t size, bool preferMethodCall);

// A value a script can write: null, true, false, an integer (32-bit when it fits, else 64-bit),
// a double (has '.', 'e' or is inf/nan) or a string ("quoted", with \" and \\; or one bare
// word). None for an empty text or a broken quote.
struct ScriptValue {
  enum class Kind { kNull, kBool, kInt32, kInt64, kDouble, kString } kind = Kind::kNull;
  bool boolean = false;
  int64_t integer = 0;
  double number = 0;
  std::string text;
};
std::optional<ScriptValue> ParseScriptValue(const std::string& text);

// Appends the value's standard encoding; alignment counts from the start of out.
void AppendValue(const ScriptValue& value, std::vector<uint8_t>& out);
// Method name as a string value, then the argument (null when absent).
std::vector<uint8_t> EncodeMethodCall(const std::string& method,
                                      const std::optional<ScriptValue>& argument);

}  // namespace stand_in
