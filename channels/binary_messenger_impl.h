#pragma once

#include <map>
#include <string>

#include "channels/binary_messenger.h"
#include "channels/flutter_windows.h"

namespace flutter {

// The binary messenger over the engine's messenger handle. Handlers run on the UI thread, where
// the engine delivers messages; a reply may be sent from any thread.
//
// Nothing thrown by a handler, a reply callback or a next-frame callback unwinds into the engine:
// the exception is reported on standard error as one line and, for an incoming message that was
// not answered yet, an empty response is sent so that the engine's response handle is used up.
class BinaryMessengerImpl : public BinaryMessenger {
 public:
  // messenger is borrowed; no reference is taken for it.
  explicit BinaryMessengerImpl(FlutterDesktopMessengerRef messenger);
  // Frees the handlers without unregistering them: destroy only after the engine is gone.
  ~BinaryMessengerImpl() override;

  BinaryMessengerImpl(const BinaryMessengerImpl&) = delete;
  BinaryMessengerImpl& operator=(const BinaryMessengerImpl&) = delete;

  void Send(const std::string& channel, const uint8_t* message, size_t message_size,
            BinaryReply reply = nullptr) const override;
  void SetMessageHandler(const std::string& channel, BinaryMessageHandler handler) override;

 private:
  FlutterDesktopMessengerRef messenger;
  // Node-based: the engine holds the address of each stored handler while it is registered.
  std::map<std::string, BinaryMessageHandler> handlers;
};

}  // namespace flutter
