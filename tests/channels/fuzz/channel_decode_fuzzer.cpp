// Decodes arbitrary bytes as a value, a method call, a reply envelope and an incoming call on a
// method channel; re-encodes what was decoded and checks that decoding the re-encoding is stable
// and silent.
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <sstream>
#include <stdexcept>

#include "channels/byte_buffer_streams.h"
#include "channels/method_channel.h"
#include "channels/standard_method_codec.h"

namespace {

using flutter::EncodableValue;
const flutter::StandardCodecSerializer& kSerializer =
    flutter::StandardCodecSerializer::GetInstance();
const flutter::StandardMethodCodec& kCodec = flutter::StandardMethodCodec::GetInstance();

// The layer's diagnostics, expected for arbitrary input; emptied for every input.
std::ostringstream diagnostics;
std::streamoff Printed() { return diagnostics.tellp(); }

void Require(bool condition, const char* what) {
  if (condition) return;
  std::fprintf(stderr, "fuzz check failed: %s\n", what);
  std::abort();
}

std::vector<uint8_t> Encode(const EncodableValue& value) {
  std::vector<uint8_t> bytes;
  flutter::ByteBufferStreamWriter writer(&bytes);
  kSerializer.WriteValue(value, &writer);
  return bytes;
}

void CheckValue(const uint8_t* data, size_t size) {
  flutter::ByteBufferStreamReader reader(data, size);
  const std::vector<uint8_t> encoded = Encode(kSerializer.ReadValue(&reader));
  const std::streamoff before = Printed();
  flutter::ByteBufferStreamReader again(encoded.data(), encoded.size());
  Require(Encode(kSerializer.ReadValue(&again)) == encoded, "value re-encoding is stable");
  Require(again.position() == encoded.size(), "re-decoding consumes the whole encoding");
  Require(Printed() == before, "re-decoding prints nothing");
}

void CheckMethodCall(const uint8_t* data, size_t size) {
  auto call = kCodec.DecodeMethodCall(data, size);
  if (!call) return;
  Require(call->arguments() != nullptr, "a decoded call has arguments");
  const auto encoded = kCodec.EncodeMethodCall(*call);
  const std::streamoff before = Printed();
  auto again = kCodec.DecodeMethodCall(*encoded);
  Require(Printed() == before, "re-decoding a call prints nothing");
  Require(again != nullptr && *kCodec.EncodeMethodCall(*again) == *encoded, "call is stable");
}

// Keeps each answer a result received as its envelope, re-encoded.
class EnvelopeResult : public flutter::MethodResult<EncodableValue> {
 public:
  std::vector<std::vector<uint8_t>> envelopes;

 protected:
  void SuccessInternal(const EncodableValue* result) override {
    envelopes.push_back(*kCodec.EncodeSuccessEnvelope(result));
  }
  void ErrorInternal(const std::string& code, const std::string& message,
                     const EncodableValue* details) override {
    envelopes.push_back(*kCodec.EncodeErrorEnvelope(code, message, details));
  }
  void NotImplementedInternal() override { Require(false, "envelopes never say not implemented"); }
};

void CheckReplyEnvelope(const uint8_t* data, size_t size) {
  EnvelopeResult first, second;
  const bool recognised = kCodec.DecodeAndProcessResponseEnvelope(data, size, &first);
  Require(first.envelopes.size() == (recognised ? 1u : 0u), "a recognised envelope answers once");
  if (!recognised) return;
  const std::vector<uint8_t>& envelope = first.envelopes[0];
  const std::streamoff before = Printed();
  Require(kCodec.DecodeAndProcessResponseEnvelope(envelope.data(), envelope.size(), &second),
          "a re-encoded envelope is recognised");
  Require(Printed() == before, "re-processing an envelope prints nothing");
  Require(second.envelopes == first.envelopes, "envelope re-encoding is stable");
}

struct OneChannelMessenger : flutter::BinaryMessenger {
  void Send(const std::string&, const uint8_t*, size_t, flutter::BinaryReply) const override {}
  void SetMessageHandler(const std::string&, flutter::BinaryMessageHandler handler) override {
    handler_ = std::move(handler);
  }
  flutter::BinaryMessageHandler handler_;
};

// The handler path: answers with the arguments, or throws when the method is "throw".
void CheckChannel(const uint8_t* data, size_t size) {
  static OneChannelMessenger messenger;
  static flutter::MethodChannel<EncodableValue> channel(&messenger, "fuzz", &kCodec);
  if (!messenger.handler_) {
    channel.SetMethodCallHandler([](const flutter::MethodCall<EncodableValue>& call,
                                    std::unique_ptr<flutter::MethodResult<EncodableValue>> result) {
      if (call.method_name() == "throw") throw std::runtime_error("thrown");
      result->Success(*call.arguments());
    });
  }
  int replies = 0;
  messenger.handler_(data, size, [&replies](const uint8_t*, size_t) { ++replies; });
  Require(replies == 1, "every incoming call is answered exactly once");
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  std::cerr.rdbuf(diagnostics.rdbuf());
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  diagnostics.str(std::string());
  CheckValue(data, size);
  CheckMethodCall(data, size);
  CheckReplyEnvelope(data, size);
  CheckChannel(data, size);
  return 0;
}
