#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "channels/encodable_value.h"
#include "channels/method_codec.h"
#include "channels/standard_codec_serializer.h"

namespace flutter {

// The method codec of the standard encoding. One instance per serializer, kept for the life of
// the process.
class StandardMethodCodec : public MethodCodec<EncodableValue> {
 public:
  // The codec for serializer; null means the process-wide StandardCodecSerializer.
  static const StandardMethodCodec& GetInstance(
      const StandardCodecSerializer* serializer = nullptr);

  ~StandardMethodCodec() override;

  // Only GetInstance can name this; it keeps the constructor to the registry.
  class RegistryKey {
   public:
    explicit RegistryKey() = default;
  };
  StandardMethodCodec(RegistryKey key, const StandardCodecSerializer* serializer);

 protected:
  std::unique_ptr<MethodCall<EncodableValue>> DecodeMethodCallInternal(
      const uint8_t* message, size_t message_size) const override;
  std::unique_ptr<std::vector<uint8_t>> EncodeMethodCallInternal(
      const MethodCall<EncodableValue>& method_call) const override;
  std::unique_ptr<std::vector<uint8_t>> EncodeSuccessEnvelopeInternal(
      const EncodableValue* result) const override;
  std::unique_ptr<std::vector<uint8_t>> EncodeErrorEnvelopeInternal(
      const std::string& error_code, const std::string& error_message,
      const EncodableValue* error_details) const override;
  bool DecodeAndProcessResponseEnvelopeInternal(
      const uint8_t* response, size_t response_size,
      MethodResult<EncodableValue>* result) const override;

 private:
  const StandardCodecSerializer* serializer_;  // borrowed
};

}  // namespace flutter
