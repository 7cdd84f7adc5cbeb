// The messenger functions of the C interface and the deliveries from the engine window.

#include <algorithm>
#include <mutex>
#include <string>

#include "channels/flutter_windows.h"
#include "tools/stand_in_engine/environment.h"
#include "tools/stand_in_engine/state.h"
#include "tools/stand_in_engine/transcript.h"

namespace stand_in {

// Runs on the UI thread when the engine window dispatches kDeliverMessage.
void DeliverQueuedMessage(FlutterDesktopEngine* engine, uint64_t id) {
  State& state = TheState();
  FlutterDesktopEngine::Callback callback;
  std::string channel;
  std::vector<uint8_t> bytes;
  const FlutterDesktopMessageResponseHandle* handle = nullptr;
  bool unhandled = false;
  {
    std::lock_guard<std::mutex> lock(state.mutex);
    auto found = state.incoming.find(id);
    if (found == state.incoming.end() || found->second.state != MessageState::kQueued) {
      return;
    }
    IncomingMessage& message = found->second;
    channel = message.channel;
    bytes = message.bytes;
    message.deliveryThread = GetCurrentThreadId();
    message.fromMessageLoop = true;
    auto registered = engine->callbacks.find(channel);
    if (registered == engine->callbacks.end()) {
      // Like the engine: a message nobody listens to is answered with nothing.
      message.state = MessageState::kUnhandled;
      unhandled = true;
    } else {
      callback = registered->second;
      message.state = MessageState::kDelivered;
      auto created = std::make_unique<FlutterDesktopMessageResponseHandle>();
      created->messageId = id;
      created->engineSerial = engine->serial;
      handle = created.get();
      state.knownResponseHandles.insert(handle);
      state.responseHandles.push_back(std::move(created));
    }
  }
  state.changed.notify_all();
  if (unhandled) {
    WriteTranscriptMessage(channel, "unhandled#" + std::to_string(id), bytes.data(), bytes.size(),
                           true);
    return;
  }
  WriteTranscriptMessage(channel, "to-host#" + std::to_string(id), bytes.data(), bytes.size(),
                         true);
  FlutterDesktopMessage message = {};
  message.struct_size = sizeof message;
  message.channel = channel.c_str();
  message.message = bytes.empty() ? nullptr : bytes.data();
  message.message_size = bytes.size();
  message.response_handle = handle;
  callback.function(engine->messenger, &message, callback.userData);
}

// Runs on the UI thread when the engine window dispatches kDeliverAnswer.
void DeliverHostAnswer(uint64_t id) {
  State& state = TheState();
  PendingHostReply pending;
  {
    std::lock_guard<std::mutex> lock(state.mutex);
    auto found = state.pendingHostReplies.find(id);
    if (found == state.pendingHostReplies.end() || !found->second.answered) {
      return;
    }
    pending = std::move(found->second);
    state.pendingHostReplies.erase(found);
  }
  WriteTranscriptMessage(pending.channel, "to-host-answer#" + std::to_string(id),
                         pending.answer.data(), pending.answer.size(), false);
  pending.function(pending.answer.empty() ? nullptr : pending.answer.data(), pending.answer.size(),
                   pending.userData);
}

namespace {

// Records a message from the host; returns its id, or 0 when the engine is gone.
uint64_t RecordHostMessage(FlutterDesktopMessenger* messenger, const char* channel,
                           const uint8_t* bytes, size_t size, bool wantsReply,
                           FlutterDesktopEngine** engineOut) {
  State& state = TheState();
  std::lock_guard<std::mutex> lock(state.mutex);
  if (!IsLiveMessenger(state, messenger)) {
    ++state.handleErrors;
    return 0;
  }
  FlutterDesktopEngine* engine = messenger->engine;
  if (engine == nullptr || channel == nullptr) {
    return 0;
  }
  HostMessage message;
  message.id = state.nextMessageId++;
  message.channel = channel;
  message.bytes.assign(bytes, bytes + size);
  message.wantsReply = wantsReply;
  state.hostMessages.push_back(message);
  *engineOut = engine;
  return message.id;
}

bool CheckMessenger(FlutterDesktopMessenger* messenger) {
  State& state = TheState();
  std::lock_guard<std::mutex> lock(state.mutex);
  if (IsLiveMessenger(state, messenger)) {
    return true;
  }
  ++state.handleErrors;
  return false;
}

}  // namespace
}  // namespace stand_in

using stand_in::CountCall;
using stand_in::State;
using stand_in::TheState;
using stand_in::WriteTranscriptMessage;

FlutterDesktopMessengerRef FlutterDesktopEngineGetMessenger(FlutterDesktopEngineRef engine) {
  CountCall(__func__);
  State& state = TheState();
  std::lock_guard<std::mutex> lock(state.mutex);
  FlutterDesktopEngine* live = stand_in::FindEngine(state, engine);
  return live != nullptr ? live->messenger : nullptr;
}

bool FlutterDesktopMessengerSend(FlutterDesktopMessengerRef messenger, const char* channel,
                                 const uint8_t* message, size_t message_size) {
  CountCall(__func__);
  FlutterDesktopEngine* engine = nullptr;
  const uint64_t id =
      stand_in::RecordHostMessage(messenger, channel, message, message_size, false, &engine);
  const std::string name = channel != nullptr ? channel : "";
  if (id == 0) {
    WriteTranscriptMessage(name, "from-host-dropped", message, message_size, false);
    return false;
  }
  TheState().changed.notify_all();
  WriteTranscriptMessage(name, "from-host", message, message_size, false);
  return true;
}

bool FlutterDesktopMessengerSendWithReply(FlutterDesktopMessengerRef messenger, const char* channel,
                                          const uint8_t* message, size_t message_size,
                                          FlutterDesktopBinaryReply reply, void* user_data) {
  CountCall(__func__);
  State& state = TheState();
  const std::string name = channel != nullptr ? channel : "";
  bool refuse = stand_in::EnvironmentSwitch(L"LUMERO_STANDIN_REFUSE_SEND_WITH_REPLY");
  {
    std::lock_guard<std::mutex> lock(state.mutex);
    refuse = refuse || state.refuseSendWithReply;
  }
  if (refuse || reply == nullptr) {
    WriteTranscriptMessage(name, "from-host-refused", message, message_size, false);
    return false;
  }
  FlutterDesktopEngine* engine = nullptr;
  const uint64_t id =
      stand_in::RecordHostMessage(messenger, channel, message, message_size, true, &engine);
  if (id == 0) {
    WriteTranscriptMessage(name, "from-host-dropped", message, message_size, false);
    return false;
  }
  {
    std::lock_guard<std::mutex> lock(state.mutex);
    stand_in::PendingHostReply& pending = state.pendingHostReplies[id];
    pending.function = reply;
    pending.userData = user_data;
    pending.engineSerial = engine->serial;
    pending.window = engine->window;
    pending.channel = name;
  }
  state.changed.notify_all();
  WriteTranscriptMessage(name, "from-host#" + std::to_string(id), message, message_size, false);
  return true;
}

void FlutterDesktopMessengerSetCallback(FlutterDesktopMessengerRef messenger, const char* channel,
                                        FlutterDesktopMessageCallback callback, void* user_data) {
  CountCall(__func__);
  State& state = TheState();
  if (channel == nullptr || !stand_in::CheckMessenger(messenger)) {
    return;
  }
  {
    std::lock_guard<std::mutex> lock(state.mutex);
    FlutterDesktopEngine* engine = messenger->engine;
    if (callback == nullptr) {
      ++state.clearCallbackCounts[channel];
    }
    if (engine == nullptr) {
      return;
    }
    if (callback == nullptr) {
      engine->callbacks.erase(channel);
    } else {
      engine->callbacks[channel] = {callback, user_data};
    }
  }
  stand_in::WriteTranscriptEvent(callback != nullptr ? "handler-set" : "handler-cleared", channel);
}

void FlutterDesktopMessengerSendResponse(FlutterDesktopMessengerRef messenger,
                                         const FlutterDesktopMessageResponseHandle* handle,
                                         const uint8_t* data, size_t data_length) {
  CountCall(__func__);
  State& state = TheState();
  std::string channel;
  std::string problem;
  uint64_t id = 0;
  {
    std::lock_guard<std::mutex> lock(state.mutex);
    if (!stand_in::IsLiveMessenger(state, messenger)) {
      problem = "response on an unknown messenger";
    } else if (state.knownResponseHandles.count(handle) == 0) {
      problem = "response with an unknown handle";
    } else {
      // The handle's memory is the stand-in's own and never freed; casting away const is safe.
      auto* known = const_cast<FlutterDesktopMessageResponseHandle*>(handle);
      id = known->messageId;
      if (known->used) {
        problem = "response handle used twice or after teardown, message #" + std::to_string(id);
      } else {
        known->used = true;
        stand_in::IncomingMessage& message = state.incoming[id];
        channel = message.channel;
        message.reply.assign(data, data + data_length);
        message.state = stand_in::MessageState::kAnswered;
      }
    }
    if (!problem.empty()) {
      ++state.responseErrors;
    }
  }
  if (!problem.empty()) {
    stand_in::WriteTranscriptEvent("error", problem);
    return;
  }
  state.changed.notify_all();
  WriteTranscriptMessage(channel, "host-reply#" + std::to_string(id), data, data_length, false);
}

FlutterDesktopMessengerRef FlutterDesktopMessengerAddRef(FlutterDesktopMessengerRef messenger) {
  CountCall(__func__);
  if (stand_in::CheckMessenger(messenger)) {
    ++messenger->references;
  }
  return messenger;
}

void FlutterDesktopMessengerRelease(FlutterDesktopMessengerRef messenger) {
  CountCall(__func__);
  if (!stand_in::CheckMessenger(messenger) || --messenger->references > 0) {
    return;
  }
  State& state = TheState();
  std::unique_ptr<FlutterDesktopMessenger> last;
  std::lock_guard<std::mutex> lock(state.mutex);
  auto it = std::find_if(state.messengers.begin(), state.messengers.end(),
                         [&](const auto& live) { return live.get() == messenger; });
  last = std::move(*it);
  state.messengers.erase(it);
}

FlutterDesktopMessengerRef FlutterDesktopMessengerLock(FlutterDesktopMessengerRef messenger) {
  CountCall(__func__);
  if (stand_in::CheckMessenger(messenger)) {
    messenger->lock.lock();
  }
  return messenger;
}

void FlutterDesktopMessengerUnlock(FlutterDesktopMessengerRef messenger) {
  if (stand_in::CheckMessenger(messenger)) {
    messenger->lock.unlock();
  }
  CountCall(__func__);
}

bool FlutterDesktopMessengerIsAvailable(FlutterDesktopMessengerRef messenger) {
  CountCall(__func__);
  return stand_in::CheckMessenger(messenger) && messenger->engine != nullptr;
}
