#include "channels/binary_messenger_impl.h"

#include <atomic>
#include <memory>
#include <utility>

#include "channels/callback_guard.h"

namespace flutter {
namespace {

// Holds the engine's messenger between Lock and Unlock; teardown waits for Unlock.
class MessengerLock {
 public:
  explicit MessengerLock(FlutterDesktopMessengerRef messenger)
      : messenger(FlutterDesktopMessengerLock(messenger)) {}
  ~MessengerLock() { FlutterDesktopMessengerUnlock(messenger); }
  MessengerLock(const MessengerLock&) = delete;
  MessengerLock& operator=(const MessengerLock&) = delete;

 private:
  FlutterDesktopMessengerRef messenger;
};

// A reference on the engine's messenger, released when the last reply closure is gone.
using SharedMessenger = std::shared_ptr<FlutterDesktopMessenger>;

SharedMessenger ShareMessenger(FlutterDesktopMessengerRef messenger) {
  return SharedMessenger(
      FlutterDesktopMessengerAddRef(messenger),
      [](FlutterDesktopMessengerRef held) { FlutterDesktopMessengerRelease(held); });
}

// One incoming message's way back. Copies of the reply closure share it, so the engine's
// response handle is used once however many copies answer.
struct PendingResponse {
  SharedMessenger messenger;
  const FlutterDesktopMessageResponseHandle* handle;
  std::atomic<bool> used{false};
};

enum class DuplicateAnswer { kReport, kIgnore };

void Respond(PendingResponse& pending, const uint8_t* data, size_t size,
             DuplicateAnswer duplicate) {
  MessengerLock lock(pending.messenger.get());
  if (!FlutterDesktopMessengerIsAvailable(pending.messenger.get())) {
    return;  // The engine is gone; the answer has nowhere to go.
  }
  if (pending.used.exchange(true)) {
    if (duplicate == DuplicateAnswer::kReport) {
      PrintChannelDiagnostic("Error: Response can be set only once. Ignoring duplicate response.");
    }
    return;
  }
  FlutterDesktopMessengerSendResponse(pending.messenger.get(), pending.handle, data, size);
}

// Every function the engine calls is noexcept: nothing may unwind into the engine.
void ForwardIncomingMessage(FlutterDesktopMessengerRef messenger,
                            const FlutterDesktopMessage* message, void* user_data) noexcept {
  const std::string channel = message->channel != nullptr ? message->channel : "";
  std::shared_ptr<PendingResponse> pending;
  const bool completed = RunCallbackGuarded("message handler on channel " + channel, [&] {
    pending = std::make_shared<PendingResponse>();
    pending->messenger = ShareMessenger(messenger);
    pending->handle = message->response_handle;
    BinaryReply reply = [pending](const uint8_t* data, size_t size) {
      Respond(*pending, data, size, DuplicateAnswer::kReport);
    };
    // A copy: the handler may replace or remove itself while it runs.
    BinaryMessageHandler handler = *static_cast<const BinaryMessageHandler*>(user_data);
    handler(message->message, message->message_size, std::move(reply));
  });
  if (completed) {
    return;
  }
  // The caller on the interface side still gets an answer (empty, like an unknown method), and
  // the engine's response handle is not left hanging.
  if (pending && pending->messenger) {
    Respond(*pending, nullptr, 0, DuplicateAnswer::kIgnore);
    return;
  }
  MessengerLock lock(messenger);
  if (FlutterDesktopMessengerIsAvailable(messenger)) {
    FlutterDesktopMessengerSendResponse(messenger, message->response_handle, nullptr, 0);
  }
}

struct ReplyHolder {
  BinaryReply reply;
  std::string channel;
};

void ReplyTrampoline(const uint8_t* data, size_t data_size, void* user_data) noexcept {
  std::unique_ptr<ReplyHolder> holder(static_cast<ReplyHolder*>(user_data));
  RunCallbackGuarded("reply callback for channel " + holder->channel,
                     [&] { holder->reply(data, data_size); });
}

}  // namespace

BinaryMessengerImpl::BinaryMessengerImpl(FlutterDesktopMessengerRef messenger)
    : messenger(messenger) {}

BinaryMessengerImpl::~BinaryMessengerImpl() = default;

void BinaryMessengerImpl::Send(const std::string& channel, const uint8_t* message,
                               size_t message_size, BinaryReply reply) const {
  if (!reply) {
    FlutterDesktopMessengerSend(messenger, channel.c_str(), message, message_size);
    return;
  }
  auto holder = std::make_unique<ReplyHolder>(ReplyHolder{std::move(reply), channel});
  if (FlutterDesktopMessengerSendWithReply(messenger, channel.c_str(), message, message_size,
                                           ReplyTrampoline, holder.get())) {
    holder.release();  // The engine hands it back to ReplyTrampoline exactly once.
  }
}

void BinaryMessengerImpl::SetMessageHandler(const std::string& channel,
                                            BinaryMessageHandler handler) {
  if (!handler) {
    handlers.erase(channel);
    FlutterDesktopMessengerSetCallback(messenger, channel.c_str(), nullptr, nullptr);
    return;
  }
  BinaryMessageHandler& stored = handlers[channel];
  stored = std::move(handler);
  FlutterDesktopMessengerSetCallback(messenger, channel.c_str(), ForwardIncomingMessage, &stored);
}

}  // namespace flutter
