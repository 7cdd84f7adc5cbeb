// Decodes arbitrary bytes as a value, a method call, a reply envelope and an incoming call on a
// method channel; re-encodes what was decoded and checks that decoding the re-encoding is stable
// and silent.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <memory>
#include <stdexcept>
#include <streambuf>
#include <string>
#include <vector>

#include "channels/byte_buffer_streams.h"
#include "channels/method_channel.h"
#include "channels/standard_method_codec.h"

namespace {

using flutter::EncodableValue;

// Swallows the layer's diagnostics (expected here) and counts them.
class CountingNullBuffer : public std::streambuf {
 public:
  size_t written = 0;

 protected:
  int overflow(int character) override {
    ++written;
    return traits_type::not_eof(character);
  }
  std::streamsize xsputn(const char*, std::streamsize count) override {
    written += static_cast<size_t>(count);
    return count;
  }
};

CountingNullBuffer diagnostics;

void Require(bool condition, const char* what) {
  if (condition) return;
  std::fprintf(stderr, "fuzz check failed: %s\n", what);
  std::abort();
}

const flutter::StandardCodecSerializer& Serializer() {
  return flutter::StandardCodecSerializer::GetInstance();
}
const flutter::StandardMethodCodec& Codec() { return flutter::StandardMethodCodec::GetInstance(); }

std::vector<uint8_t> Encode(const EncodableValue& value) {
  std::vector<uint8_t> bytes;
  flutter::ByteBufferStreamWriter writer(&bytes);
  Serializer().WriteValue(value, &writer);
  return bytes;
}

// Our own encodings must decode completely and without a single diagnostic.
EncodableValue DecodeOwnEncoding(const std::vector<uint8_t>& bytes) {
  const size_t before = diagnostics.written;
  flutter::ByteBufferStreamReader reader(bytes.data(), bytes.size());
  EncodableValue value = Serializer().ReadValue(&reader);
  Require(reader.position() == bytes.size(), "re-decoding consumes the whole encoding");
  Require(diagnostics.written == before, "re-decoding prints nothing");
  return value;
}

void CheckValue(const uint8_t* data, size_t size) {
  flutter::ByteBufferStreamReader reader(data, size);
  const EncodableValue decoded = Serializer().ReadValue(&reader);
  const std::vector<uint8_t> encoded = Encode(decoded);
  Require(Encode(DecodeOwnEncoding(encoded)) == encoded, "value re-encoding is stable");
}

void CheckMethodCall(const uint8_t* data, size_t size) {
  auto call = Codec().DecodeMethodCall(data, size);
  if (!call) return;
  Require(call->arguments() != nullptr, "a decoded call has arguments");
  const auto encoded = Codec().EncodeMethodCall(*call);
  const size_t before = diagnostics.written;
  auto again = Codec().DecodeMethodCall(*encoded);
  Require(diagnostics.written == before, "re-decoding a call prints nothing");
  Require(again != nullptr && again->method_name() == call->method_name(), "call name survives");
  Require(*Codec().EncodeMethodCall(*again) == *encoded, "call re-encoding is stable");
}

// Keeps the envelope a result received, re-encoded.
class EnvelopeResult : public flutter::MethodResult<EncodableValue> {
 public:
  std::unique_ptr<std::vector<uint8_t>> envelope;
  int answers = 0;

 protected:
  void SuccessInternal(const EncodableValue* result) override {
    ++answers;
    envelope = Codec().EncodeSuccessEnvelope(result);
  }
  void ErrorInternal(const std::string& code, const std::string& message,
                     const EncodableValue* details) override {
    ++answers;
    envelope = Codec().EncodeErrorEnvelope(code, message, details);
  }
  void NotImplementedInternal() override { Require(false, "envelopes never say not implemented"); }
};

void CheckReplyEnvelope(const uint8_t* data, size_t size) {
  EnvelopeResult first;
  const bool recognised = Codec().DecodeAndProcessResponseEnvelope(data, size, &first);
  Require(first.answers == (recognised ? 1 : 0), "a recognised envelope answers once");
  if (!recognised) return;
  EnvelopeResult second;
  const size_t before = diagnostics.written;
  Require(Codec().DecodeAndProcessResponseEnvelope(first.envelope->data(), first.envelope->size(),
                                                   &second),
          "a re-encoded envelope is recognised");
  Require(diagnostics.written == before, "re-processing an envelope prints nothing");
  Require(*second.envelope == *first.envelope, "envelope re-encoding is stable");
}

class OneChannelMessenger : public flutter::BinaryMessenger {
 public:
  void Send(const std::string&, const uint8_t*, size_t, flutter::BinaryReply) const override {}
  void SetMessageHandler(const std::string&, flutter::BinaryMessageHandler handler) override {
    handler_ = std::move(handler);
  }
  flutter::BinaryMessageHandler handler_;
};

// The handler path: answers with the arguments, or throws when the method is "throw".
void CheckChannel(const uint8_t* data, size_t size) {
  static OneChannelMessenger messenger;
  static flutter::MethodChannel<EncodableValue> channel(&messenger, "fuzz", &Codec());
  static const bool installed = [] {
    channel.SetMethodCallHandler([](const flutter::MethodCall<EncodableValue>& call,
                                    std::unique_ptr<flutter::MethodResult<EncodableValue>> result) {
      if (call.method_name() == "throw") throw std::runtime_error("thrown");
      result->Success(*call.arguments());
    });
    return true;
  }();
  Require(installed, "the channel has its handler");
  int replies = 0;
  messenger.handler_(data, size, [&replies](const uint8_t*, size_t) { ++replies; });
  Require(replies == 1, "every incoming call is answered exactly once");
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  std::cerr.rdbuf(&diagnostics);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  CheckValue(data, size);
  CheckMethodCall(data, size);
  CheckReplyEnvelope(data, size);
  CheckChannel(data, size);
  return 0;
}
