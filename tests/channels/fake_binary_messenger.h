#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "channels/binary_messenger.h"

namespace channel_test {

// One answer a handler gave: null_data tells a null pointer from an empty vector.
struct RecordedReply {
  bool null_data;
  std::vector<uint8_t> bytes;
};

// A messenger that keeps handlers in memory and records what they answer.
class FakeBinaryMessenger : public flutter::BinaryMessenger {
 public:
  void Send(const std::string& channel, const uint8_t* message, size_t message_size,
            flutter::BinaryReply reply) const override;
  void SetMessageHandler(const std::string& channel,
                         flutter::BinaryMessageHandler handler) override;

  bool HasHandler(const std::string& channel) const { return handlers_.count(channel) != 0; }

  // Runs the channel's handler with message; false when none is installed. Answers land in
  // replies() whenever they are given.
  bool Deliver(const std::string& channel, const std::vector<uint8_t>& message);

  const std::vector<RecordedReply>& replies() const { return *replies_; }

  struct SentMessage {
    std::string channel;
    std::vector<uint8_t> bytes;
    bool wants_reply;
  };
  const std::vector<SentMessage>& sent() const { return sent_; }

 private:
  std::map<std::string, flutter::BinaryMessageHandler> handlers_;
  std::shared_ptr<std::vector<RecordedReply>> replies_ =
      std::make_shared<std::vector<RecordedReply>>();
  mutable std::vector<SentMessage> sent_;
};

}  // namespace channel_test
