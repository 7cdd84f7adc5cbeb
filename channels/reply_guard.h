#pragma once

#include <cstdint>
#include <vector>

#include "channels/binary_messenger.h"

namespace flutter {

// Answers one incoming message at most once, and reports one that is never answered.
class ReplyGuard {
 public:
  explicit ReplyGuard(BinaryReply reply);
  ~ReplyGuard();

  ReplyGuard(const ReplyGuard&) = delete;
  ReplyGuard& operator=(const ReplyGuard&) = delete;

  // Sends data (null or empty means an empty answer); a second call only reports.
  void SendReply(const std::vector<uint8_t>* data);

 private:
  BinaryReply reply_;  // empty once used
};

}  // namespace flutter
