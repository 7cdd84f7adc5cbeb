#pragma once

#include <cstdint>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#include "channels/byte_buffer_streams.h"
#include "channels/standard_codec_serializer.h"

namespace channel_test {

using Lines = std::vector<std::string>;

// Collects everything written to std::cerr while it lives.
class StderrCapture {
 public:
  StderrCapture() : previous_(std::cerr.rdbuf(captured_.rdbuf())) {}
  ~StderrCapture() { std::cerr.rdbuf(previous_); }
  StderrCapture(const StderrCapture&) = delete;
  StderrCapture& operator=(const StderrCapture&) = delete;

  // The lines written so far; an unterminated last piece shows up as "<partial>...".
  Lines Take() {
    Lines lines;
    std::string line;
    std::istringstream text(captured_.str());
    while (std::getline(text, line)) lines.push_back(text.eof() ? "<partial>" + line : line);
    captured_.str(std::string());
    return lines;
  }

 private:
  std::ostringstream captured_;
  std::streambuf* previous_;
};

// "0d 01 07" -> bytes, and back.
inline std::vector<uint8_t> Hex(const std::string& text) {
  std::vector<uint8_t> bytes;
  std::istringstream stream(text);
  std::string token;
  while (stream >> token) bytes.push_back(static_cast<uint8_t>(std::stoul(token, nullptr, 16)));
  return bytes;
}
inline std::string ToHex(const std::vector<uint8_t>& bytes) {
  std::string text;
  for (uint8_t byte : bytes)
    text += std::string(text.empty() ? "" : " ") + "0123456789abcdef"[byte >> 4] +
            "0123456789abcdef"[byte & 15];
  return text;
}

using Serializer = flutter::StandardCodecSerializer;
// Not ours, so it takes the virtual slots as derived serializers do; ours takes a direct path.
class SlotSerializer : public Serializer {};
inline const SlotSerializer kSlotSerializer;
inline const Serializer* const kBothPaths[] = {&Serializer::GetInstance(), &kSlotSerializer};

// The standard encoding of value into a fresh buffer, and back.
inline std::vector<uint8_t> Encode(const flutter::EncodableValue& value,
                                   const Serializer& serializer = Serializer::GetInstance()) {
  std::vector<uint8_t> bytes;
  flutter::ByteBufferStreamWriter writer(&bytes);
  serializer.WriteValue(value, &writer);
  return bytes;
}
inline flutter::EncodableValue Decode(const std::vector<uint8_t>& bytes,
                                      const Serializer& serializer = Serializer::GetInstance()) {
  flutter::ByteBufferStreamReader reader(bytes.data(), bytes.size());
  return serializer.ReadValue(&reader);
}

inline constexpr char kInvalidRead[] = "Invalid read in StandardCodecByteStreamReader";
inline constexpr char kNameNotString[] = "Invalid method call; method name is not a string.";

}  // namespace channel_test
