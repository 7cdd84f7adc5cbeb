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

void RecordingResult::SuccessInternal(const flutter::EncodableValue* result) {
  answers.push_back(result != nullptr ? "success " + ToHex(Encode(*result)) : "success");
}

void RecordingResult::ErrorInternal(const std::string& code, const std::string& message,
                                    const flutter::EncodableValue* details) {
  answers.push_back("error " + code + "|" + message +
                    (details != nullptr ? "|" + ToHex(Encode(*details)) : ""));
}

void FakeBinaryMessenger::SetMessageHandler(const std::string& channel,
                                            flutter::BinaryMessageHandler handler) {
  if (handler) {
    handlers_[channel] = std::move(handler);
  } else {
    handlers_.erase(channel);
  }
}

bool FakeBinaryMessenger::Deliver(const std::string& channel, const std::vector<uint8_t>& message) {
  auto found = handlers_.find(channel);
  if (found == handlers_.end()) return false;
  auto replies = replies_;
  found->second(message.empty() ? nullptr : message.data(), message.size(),
                [replies](const uint8_t* reply, size_t size) {
                  replies->push_back(reply == nullptr ? "<null>" : ToHex({reply, reply + size}));
                });
  return true;
}

}  // namespace channel_test
