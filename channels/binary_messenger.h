#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

namespace flutter {

// Answers one incoming message; bytes may be null.
using BinaryReply = std::function<void(const uint8_t* reply, size_t reply_size)>;

// Handles one incoming message on a channel; answers through the reply.
using BinaryMessageHandler =
    std::function<void(const uint8_t* message, size_t message_size, BinaryReply reply)>;

// Raw messages on named channels.
class BinaryMessenger {
 public:
  virtual ~BinaryMessenger() = default;
  // Fire-and-forget when reply is empty; otherwise reply runs once with the peer's answer.
  virtual void Send(const std::string& channel, const uint8_t* message, size_t message_size,
                    BinaryReply reply = nullptr) const = 0;
  // Installs, replaces or (with an empty handler) removes the handler of a channel.
  virtual void SetMessageHandler(const std::string& channel, BinaryMessageHandler handler) = 0;
};

}  // namespace flutter
