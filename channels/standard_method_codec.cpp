#include "channels/standard_method_codec.h"

#include <map>
#include <mutex>
#include <new>
#include <utility>

#include "channels/byte_buffer_streams.h"
#include "channels/channel_diagnostics.h"
#include "channels/channel_messages.h"

namespace flutter {
namespace {

constexpr uint8_t kSuccessFlag = 0;
constexpr uint8_t kErrorFlag = 1;

struct CodecRegistry {
  std::mutex mutex;
  std::map<const StandardCodecSerializer*, std::unique_ptr<StandardMethodCodec>> codecs;
};

// Created on first use and never destroyed, so codecs outlive every channel, including those
// released during static destruction.
CodecRegistry& Registry() {
  alignas(CodecRegistry) static unsigned char storage[sizeof(CodecRegistry)];
  static CodecRegistry* registry = ::new (static_cast<void*>(storage)) CodecRegistry();
  return *registry;
}

}  // namespace

StandardMethodCodec::StandardMethodCodec(RegistryKey, const StandardCodecSerializer* serializer)
    : serializer_(serializer) {}

StandardMethodCodec::~StandardMethodCodec() = default;

const StandardMethodCodec& StandardMethodCodec::GetInstance(
    const StandardCodecSerializer* serializer) {
  if (serializer == nullptr) serializer = &StandardCodecSerializer::GetInstance();
  CodecRegistry& registry = Registry();
  std::lock_guard<std::mutex> lock(registry.mutex);
  auto found = registry.codecs.find(serializer);
  if (found == registry.codecs.end()) {
    found =
        registry.codecs
            .emplace(serializer, std::make_unique<StandardMethodCodec>(RegistryKey(), serializer))
            .first;
  }
  return *found->second;
}

std::unique_ptr<MethodCall<EncodableValue>> StandardMethodCodec::DecodeMethodCallInternal(
    const uint8_t* message, size_t message_size) const {
  ByteBufferStreamReader stream(message, message_size);
  EncodableValue name = serializer_->ReadValue(&stream);
  const auto* method_name = std::get_if<std::string>(&name);
  if (method_name == nullptr) {
    PrintChannelDiagnostic(kMethodNameMessage);
    return nullptr;
  }
  // A message that ends after the name gets null arguments; trailing bytes are ignored.
  auto arguments = std::make_unique<EncodableValue>(serializer_->ReadValue(&stream));
  return std::make_unique<MethodCall<EncodableValue>>(*method_name, std::move(arguments));
}

std::unique_ptr<std::vector<uint8_t>> StandardMethodCodec::EncodeMethodCallInternal(
    const MethodCall<EncodableValue>& method_call) const {
  auto bytes = std::make_unique<std::vector<uint8_t>>();
  ByteBufferStreamWriter stream(bytes.get());
  serializer_->WriteValue(EncodableValue(method_call.method_name()), &stream);
  if (method_call.arguments() != nullptr) {
    serializer_->WriteValue(*method_call.arguments(), &stream);
  } else {
    serializer_->WriteValue(EncodableValue(), &stream);
  }
  return bytes;
}

std::unique_ptr<std::vector<uint8_t>> StandardMethodCodec::EncodeSuccessEnvelopeInternal(
    const EncodableValue* result) const {
  auto bytes = std::make_unique<std::vector<uint8_t>>();
  ByteBufferStreamWriter stream(bytes.get());
  // The flag byte counts for the alignment of what follows.
  stream.WriteByte(kSuccessFlag);
  serializer_->WriteValue(result != nullptr ? *result : EncodableValue(), &stream);
  return bytes;
}

std::unique_ptr<std::vector<uint8_t>> StandardMethodCodec::EncodeErrorEnvelopeInternal(
    const std::string& error_code, const std::string& error_message,
    const EncodableValue* error_details) const {
  auto bytes = std::make_unique<std::vector<uint8_t>>();
  ByteBufferStreamWriter stream(bytes.get());
  stream.WriteByte(kErrorFlag);
  serializer_->WriteValue(EncodableValue(error_code), &stream);
  serializer_->WriteValue(error_message.empty() ? EncodableValue() : EncodableValue(error_message),
                          &stream);
  serializer_->WriteValue(error_details != nullptr ? *error_details : EncodableValue(), &stream);
  return bytes;
}

bool StandardMethodCodec::DecodeAndProcessResponseEnvelopeInternal(
    const uint8_t* response, size_t response_size, MethodResult<EncodableValue>* result) const {
  ByteBufferStreamReader stream(response, response_size);
  const uint8_t flag = stream.ReadByte();
  if (flag == kSuccessFlag) {
    EncodableValue value = serializer_->ReadValue(&stream);
    if (value.IsNull()) {
      result->Success();
    } else {
      result->Success(value);
    }
    return true;
  }
  if (flag != kErrorFlag) return false;

  EncodableValue code = serializer_->ReadValue(&stream);
  EncodableValue message = serializer_->ReadValue(&stream);
  EncodableValue details = serializer_->ReadValue(&stream);
  // Malformed input from the peer is reported, never thrown.
  const auto* code_text = std::get_if<std::string>(&code);
  const auto* message_text = std::get_if<std::string>(&message);
  if (code_text == nullptr || (message_text == nullptr && !message.IsNull())) {
    PrintChannelDiagnostic(kErrorEnvelopeMessage);
    return false;
  }
  const std::string message_string = message_text != nullptr ? *message_text : std::string();
  if (details.IsNull()) {
    result->Error(*code_text, message_string);
  } else {
    result->Error(*code_text, message_string, details);
  }
  return true;
}

}  // namespace flutter
