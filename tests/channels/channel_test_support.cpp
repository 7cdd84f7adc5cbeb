#include "channel_test_support.h"

#include <cstdio>

#include "channels/byte_buffer_streams.h"
#include "channels/standard_codec_serializer.h"

namespace channel_test {

Lines StderrCapture::Take() {
  Lines lines;
  std::string line;
  std::istringstream text(captured_.str());
  while (std::getline(text, line)) lines.push_back(text.eof() ? "<partial>" + line : line);
  captured_.str(std::string());
  return lines;
}

std::vector<uint8_t> Hex(const std::string& text) {
  std::vector<uint8_t> bytes;
  std::istringstream stream(text);
  std::string token;
  while (stream >> token) bytes.push_back(static_cast<uint8_t>(std::stoul(token, nullptr, 16)));
  return bytes;
}

std::string ToHex(const std::vector<uint8_t>& bytes) {
  std::string text;
  char digits[4];
  for (uint8_t byte : bytes) {
    std::snprintf(digits, sizeof(digits), "%02x ", byte);
    text += digits;
  }
  if (!text.empty()) text.pop_back();
  return text;
}

std::vector<uint8_t> Encode(const flutter::EncodableValue& value) {
  std::vector<uint8_t> bytes;
  flutter::ByteBufferStreamWriter writer(&bytes);
  flutter::StandardCodecSerializer::GetInstance().WriteValue(value, &writer);
  return bytes;
}

flutter::EncodableValue Decode(const std::vector<uint8_t>& bytes) {
  flutter::ByteBufferStreamReader reader(bytes.data(), bytes.size());
  return flutter::StandardCodecSerializer::GetInstance().ReadValue(&reader);
}

}  // namespace channel_test
