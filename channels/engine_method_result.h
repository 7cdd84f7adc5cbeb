#pragma once

#include <string>
#include <utility>

#include "channels/binary_messenger.h"
#include "channels/method_codec.h"
#include "channels/method_result.h"
#include "channels/reply_guard.h"

namespace flutter {

// The result of a call that came from the engine: answers encode an envelope and reply with it.
template <typename T>
class EngineMethodResult : public MethodResult<T> {
 public:
  EngineMethodResult(BinaryReply reply, const MethodCodec<T>* codec)
      : reply_guard_(std::move(reply)), codec_(codec) {}
  ~EngineMethodResult() override = default;

 protected:
  void SuccessInternal(const T* result) override {
    auto data = codec_->EncodeSuccessEnvelope(result);
    reply_guard_.SendReply(data.get());
  }

  void ErrorInternal(const std::string& error_code, const std::string& error_message,
                     const T* error_details) override {
    auto data = codec_->EncodeErrorEnvelope(error_code, error_message, error_details);
    reply_guard_.SendReply(data.get());
  }

  // The empty answer is the signal for an unknown method.
  void NotImplementedInternal() override { reply_guard_.SendReply(nullptr); }

 private:
  ReplyGuard reply_guard_;
  const MethodCodec<T>* codec_;  // borrowed
};

}  // namespace flutter
