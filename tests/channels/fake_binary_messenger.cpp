#include "fake_binary_messenger.h"

namespace channel_test {

void FakeBinaryMessenger::Send(const std::string& channel, const uint8_t* message,
                               size_t message_size, flutter::BinaryReply reply) const {
  sent_.push_back(
      {channel, std::vector<uint8_t>(message, message + message_size), static_cast<bool>(reply)});
}

void FakeBinaryMessenger::SetMessageHandler(const std::string& channel,
                                            flutter::BinaryMessageHandler handler) {
  if (handler) {
    handlers_[channel] = std::move(handler);
  } else {
    handlers_.erase(channel);
  }
}

bool FakeBinaryMessenger::Deliver(const std::string& channel, const std::vector<uint8_t>& message) {
  auto found = handlers_.find(channel);
  if (found == handlers_.end()) return false;
  auto replies = replies_;
  found->second(
      message.empty() ? nullptr : message.data(), message.size(),
      [replies](const uint8_t* reply, size_t reply_size) {
        replies->push_back(
            {reply == nullptr, reply == nullptr ? std::vector<uint8_t>()
                                                : std::vector<uint8_t>(reply, reply + reply_size)});
      });
  return true;
}

}  // namespace channel_test
