#pragma once

#include <functional>
#include <memory>
#include <string>
#include <utility>

#include "channels/binary_messenger.h"
#include "channels/channel_diagnostics.h"
#include "channels/channel_messages.h"
#include "channels/engine_method_result.h"
#include "channels/handler_exception_guard.h"
#include "channels/method_call.h"
#include "channels/method_codec.h"
#include "channels/method_result.h"

namespace flutter {

// Handles one method call; answers through the result, at once or later.
template <typename T>
using MethodCallHandler =
    std::function<void(const MethodCall<T>& call, std::unique_ptr<MethodResult<T>> result)>;

// A named channel of method calls over a binary messenger. Destroying it does not remove its
// handler from the messenger; install an empty handler first.
template <typename T>
class MethodChannel {
 public:
  // messenger and codec are borrowed and must outlive the channel's handler.
  MethodChannel(BinaryMessenger* messenger, const std::string& name, const MethodCodec<T>* codec)
      : messenger_(messenger), name_(name), codec_(codec) {}
  ~MethodChannel() = default;

  MethodChannel(const MethodChannel&) = delete;
  MethodChannel& operator=(const MethodChannel&) = delete;

  // Installs handler, replacing any earlier one; an empty handler removes the channel's handler.
  //
  // A handler that throws never lets the exception out: the exception is reported on standard
  // error, and when the handler dropped its result unanswered (whose guard reports that first)
  // the call is answered with an error envelope, code "exception", message the exception's
  // text. A result the handler answered or kept is left alone.
  void SetMethodCallHandler(MethodCallHandler<T> handler) const {
    if (!handler) {
      messenger_->SetMessageHandler(name_, nullptr);
      return;
    }
    const MethodCodec<T>* codec = codec_;
    std::string name = name_;
    messenger_->SetMessageHandler(
        name_, [handler = std::move(handler), codec, name](const uint8_t* message,
                                                           size_t message_size, BinaryReply reply) {
          AnswerTracker tracker(std::move(reply));
          try {
            auto result = std::make_unique<EngineMethodResult<T>>(tracker.TrackedReply(), codec);
            std::unique_ptr<MethodCall<T>> call = codec->DecodeMethodCall(message, message_size);
            if (!call) {
              PrintChannelDiagnostic(kUnableToConstructMessage + name);
              result->NotImplemented();
              return;
            }
            handler(*call, std::move(result));
          } catch (...) {
            const std::string what = CurrentExceptionText();
            PrintHandlerException(name, what);
            if (tracker.DroppedUnanswered()) {
              tracker.Answer(*codec->EncodeErrorEnvelope("exception", what));
            }
          }
        });
  }

 private:
  BinaryMessenger* messenger_;
  std::string name_;
  const MethodCodec<T>* codec_;
};

}  // namespace flutter
