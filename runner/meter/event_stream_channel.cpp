// The meter's event stream: the interface's "listen" and "cancel" arrive as method calls on the
// event channel itself, answered here without a stream-handler object; events leave through
// Wysylka.
#include "runner/meter/event_stream_channel.h"

#include <string>
#include <utility>

#include "channels/binary_messenger.h"
#include "channels/event_sink.h"
#include "channels/flutter_engine.h"
#include "channels/standard_method_codec.h"
#include "runner/diagnostics/native_log.h"
#include "runner/meter/run_guarded.h"

namespace meter_link {

using flutter::EncodableValue;

namespace {

// Sends each event as an envelope on the event channel, expecting no answer.
class Wysylka final : public flutter::EventSink<EncodableValue> {
 public:
  Wysylka(flutter::BinaryMessenger* messenger, const flutter::MethodCodec<EncodableValue>* codec)
      : messenger(messenger), channelName(kEventChannelName), codec(codec) {}

 protected:
  void SuccessInternal(const EncodableValue* event) override {
    Send(codec->EncodeSuccessEnvelope(event));
  }
  void ErrorInternal(const std::string& code, const std::string& message,
                     const EncodableValue* details) override {
    Send(codec->EncodeErrorEnvelope(code, message, details));
  }
  void EndOfStreamInternal() override { Send(codec->EncodeSuccessEnvelope()); }

 private:
  void Send(const std::unique_ptr<std::vector<uint8_t>>& bytes) const {
    if (bytes) messenger->Send(channelName, bytes->data(), bytes->size());
  }

  flutter::BinaryMessenger* messenger;
  std::string channelName;
  const flutter::MethodCodec<EncodableValue>* codec;
};

}  // namespace

void HandleEventChannelMessage(Miernik& meter, const uint8_t* message, size_t messageSize,
                               std::unique_ptr<std::vector<uint8_t>>* response) {
  LogMessage("kanał: wywołanie odebrane");
  const std::unique_ptr<flutter::MethodCall<EncodableValue>> call =
      meter.Codec()->DecodeMethodCall(message, messageSize);
  if (call) {
    const std::string& name = call->method_name();
    LogMessage(("kanał: metoda " + name).c_str());
    if (name == "listen") {
      auto sink = std::make_unique<Wysylka>(meter.Engine()->GetMessenger(), meter.Codec());
      LogMessage("listen: przypinam sink");
      meter.ReplaceSink(std::move(sink));
      LogMessage("listen: sink przypięty");
      meter.PostState();
      LogMessage("listen: stan zamówiony");
    } else if (name == "cancel") {
      LogMessage("cancel: odpinam sink");
      meter.ReplaceSink(nullptr);
      meter.Stop();
      LogMessage("cancel: odpięte");
    }
  }
  *response = meter.Codec()->EncodeSuccessEnvelope();
}

void Miernik::AttachEventChannel() {
  // A plain pointer: the bridge removes the handler before it lets the meter go.
  Miernik* meter = this;
  engine->GetMessenger()->SetMessageHandler(
      kEventChannelName,
      [meter](const uint8_t* message, size_t messageSize, flutter::BinaryReply reply) {
        std::unique_ptr<std::vector<uint8_t>> response;
        RunGuarded("kanał zdarzeń",
                   [&] { HandleEventChannelMessage(*meter, message, messageSize, &response); });
        if (response) {
          reply(response->data(), response->size());
        } else {
          reply(nullptr, 0);
        }
      });
  LogMessage("kanał zdarzeń: zarejestrowany");
}

void Miernik::DetachEventChannel() {
  engine->GetMessenger()->SetMessageHandler(kEventChannelName, nullptr);
  // Nothing goes to the interface: the stream is not ended with a message.
  ReplaceSink(nullptr);
}

}  // namespace meter_link
