#include "channels/handler_exception_guard.h"

#include <exception>
#include <utility>

#include "channels/channel_diagnostics.h"
#include "channels/channel_messages.h"

namespace flutter {

AnswerTracker::AnswerTracker(BinaryReply reply)
    : state_(std::make_shared<State>(std::move(reply))) {}

BinaryReply AnswerTracker::TrackedReply() {
  // The copies share a token of their own, so that holders_ expires exactly when the last copy
  // is destroyed (state_ is also held here).
  auto holder = std::make_shared<HolderToken>();
  holders_ = holder;
  std::shared_ptr<State> state = state_;
  return [state, holder](const uint8_t* reply, size_t reply_size) {
    static_cast<void>(holder);
    state->answered = true;
    if (state->reply) state->reply(reply, reply_size);
  };
}

bool AnswerTracker::DroppedUnanswered() const { return holders_.expired() && !state_->answered; }

void AnswerTracker::Answer(const std::vector<uint8_t>& bytes) {
  state_->answered = true;
  if (state_->reply) state_->reply(bytes.empty() ? nullptr : bytes.data(), bytes.size());
}

std::string CurrentExceptionText() {
  try {
    throw;
  } catch (const std::exception& exception) {
    return exception.what();
  } catch (...) {
    return "unknown exception";
  }
}

void PrintHandlerException(const std::string& channel, const std::string& what) {
  PrintChannelDiagnostic(kHandlerExceptionMessage + channel + ": " + what);
}

}  // namespace flutter
