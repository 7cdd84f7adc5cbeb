#include "channels/reply_guard.h"

#include <utility>

#include "channels/channel_diagnostics.h"
#include "channels/channel_messages.h"

namespace flutter {

ReplyGuard::ReplyGuard(BinaryReply reply) : reply_(std::move(reply)) {}

ReplyGuard::~ReplyGuard() {
  if (reply_) PrintChannelDiagnostic(kUnansweredMessage);
}

void ReplyGuard::SendReply(const std::vector<uint8_t>* data) {
  if (!reply_) {
    PrintChannelDiagnostic(kDuplicateResultMessage);
    return;
  }
  const uint8_t* bytes = (data != nullptr && !data->empty()) ? data->data() : nullptr;
  const size_t size = data != nullptr ? data->size() : 0;
  // Spent before it runs, so even a reply that throws or re-enters answers only once.
  BinaryReply reply = std::move(reply_);
  reply_ = nullptr;
  reply(bytes, size);
}

}  // namespace flutter
