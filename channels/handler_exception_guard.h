#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "channels/binary_messenger.h"

namespace flutter {

// Watches the reply of one incoming call so that the call can still be answered when its
// handler throws after dropping the result unanswered.
class AnswerTracker {
 public:
  explicit AnswerTracker(BinaryReply reply);

  AnswerTracker(const AnswerTracker&) = delete;
  AnswerTracker& operator=(const AnswerTracker&) = delete;

  // The reply to give the call's result (once): forwards to the real reply and records the
  // answer.
  BinaryReply TrackedReply();

  // True when every copy of the tracked reply is gone and none of them answered.
  bool DroppedUnanswered() const;

  // Answers through the real reply; for calls whose result was dropped unanswered.
  void Answer(const std::vector<uint8_t>& bytes);

 private:
  struct State {
    explicit State(BinaryReply real_reply) : reply(std::move(real_reply)) {}
    BinaryReply reply;
    std::atomic<bool> answered{false};
  };

  struct HolderToken {};

  std::shared_ptr<State> state_;
  std::weak_ptr<HolderToken> holders_;  // alive while a copy of the tracked reply exists
};

// The text of the exception being handled ("unknown exception" when it is not a
// std::exception). Call only inside a catch block.
std::string CurrentExceptionText();

// The line for an exception that escaped the handler of channel.
void PrintHandlerException(const std::string& channel, const std::string& what);

}  // namespace flutter
