// The messenger functions of the C interface and the deliveries from the engine window.

#include <algorithm>
#include <mutex>
#include <string>

#include "channels/flutter_windows.h"
#include "tools/stand_in_engine/contract.h"
#include "tools/stand_in_engine/environment.h"
#include "tools/stand_in_engine/state.h"
#include "tools/stand_in_engine/transcript.h"
#include "tools/stand_in_engine/view_window.h"

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

// The engine behind a messenger the host may use on the UI thread, or null: after a handle error,
// or after teardown, when the call is counted and logged as a late one.
FlutterDesktopEngine* EngineForCall(State& state, FlutterDesktopMessenger* messenger,
                                    const char* function, const std::string& logEntry) {
  if (!LiveMessenger(state, messenger, function, true)) {
    LogHostCall(state, logEntry);
    return nullptr;
  }
  FlutterDesktopEngine* engine = messenger->engine;
  if (engine == nullptr) {
    ++state.callsAfterTeardown;
    LogHostCall(state, logEntry + " (engine gone)");
    WriteTranscriptEvent("late", logEntry + " after engine teardown");
    return nullptr;
  }
  LogHostCall(state, logEntry);
  return engine;
}

// Records a message from the host; returns its id, or 0 when the engine is gone.
uint64_t RecordHostMessage(FlutterDesktopMessenger* messenger, const char* channel,
                           const uint8_t* bytes, size_t size, bool wantsReply,
                           FlutterDesktopEngine** engineOut) {
  State& state = TheState();
  std::lock_guard<std::mutex> lock(state.mutex);
  const char* function =
      wantsReply ? "FlutterDesktopMessengerSendWithReply" : "FlutterDesktopMessengerSend";
  FlutterDesktopEngine* engine =
      EngineForCall(state, messenger, function,
                    std::string(wantsReply ? "MessengerSendWithReply " : "MessengerSend ") +
                        (channel != nullptr ? channel : "(null)"));
  if (engine == nullptr || channel == nullptr) {
    return 0;
  }
  HostMessage message;
  message.id = state.nextMessageId++;
  message.channel = channel;
  message.bytes.assign(bytes, bytes + size);
  message.wantsReply = wantsReply;
  ++state.hostMessageCounts[message.channel];
  ShowHostMessage(engine, message);
  ScriptInbox& inbox = state.scriptInboxes[message.channel];
  inbox.messages.push_back(message.bytes);
  if (inbox.messages.size() > ScriptInbox::kLimit) {
    inbox.messages.pop_front();
    ++inbox.first;
  }
  if (state.keepRecords) {
    state.hostMessages.push_back(message);
  }
  *engineOut = engine;
  return message.id;
}

// For the reply path, which may run on any thread.
bool CheckMessenger(FlutterDesktopMessenger* messenger, const char* function) {
  State& state = TheState();
  std::lock_guard<std::mutex> lock(state.mutex);
  return LiveMessenger(state, messenger, function, false);
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
  stand_in::LogHostCall(state, "EngineGetMessenger");
  // The wrapper asks for the messenger of a failed engine creation too; that null is no error.
  if (engine == nullptr && state.lastEngineCreateFailed) {
    return nullptr;
  }
  FlutterDesktopEngine* live = stand_in::LiveEngine(state, engine, __func__);
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
    refuse = refuse || state.refuseSendWithReply || reply == nullptr;
    if (refuse) {
      stand_in::LiveMessenger(state, messenger, __func__, true);
      stand_in::LogHostCall(state, "MessengerSendWithReply " + name + " (refused)");
    }
  }
  FlutterDesktopEngine* engine = nullptr;
  if (refuse) {
    WriteTranscriptMessage(name, "from-host-refused", message, message_size, false);
    return false;
  }
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
  {
    std::lock_guard<std::mutex> lock(state.mutex);
    const std::string name = channel != nullptr ? channel : "(null)";
    FlutterDesktopEngine* engine = stand_in::EngineForCall(
        state, messenger, __func__,
        "MessengerSetCallback " + name + (callback == nullptr ? " null" : ""));
    if (callback == nullptr) {
      ++state.clearCallbackCounts[name];
    }
    if (engine == nullptr || channel == nullptr) {
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
    if (!stand_in::LiveMessenger(state, messenger, __func__, false)) {
      return;
    }
    if (state.knownResponseHandles.count(handle) == 0) {
      problem = "null or unknown response handle";
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
        stand_in::ShowReply(state, message);
      }
    }
    if (!problem.empty()) {
      stand_in::RecordError(state, state.responseErrors, std::string(__func__) + ": " + problem);
      return;
    }
  }
  state.changed.notify_all();
  WriteTranscriptMessage(channel, "host-reply#" + std::to_string(id), data, data_length, false);
}

FlutterDesktopMessengerRef FlutterDesktopMessengerAddRef(FlutterDesktopMessengerRef messenger) {
  CountCall(__func__);
  if (stand_in::CheckMessenger(messenger, __func__)) {
    ++messenger->references;
  }
  return messenger;
}

void FlutterDesktopMessengerRelease(FlutterDesktopMessengerRef messenger) {
  CountCall(__func__);
  // At zero references the messenger stays behind as a dead marker.
  if (stand_in::CheckMessenger(messenger, __func__)) {
    --messenger->references;
  }
}

FlutterDesktopMessengerRef FlutterDesktopMessengerLock(FlutterDesktopMessengerRef messenger) {
  CountCall(__func__);
  if (stand_in::CheckMessenger(messenger, __func__)) {
    messenger->lock.lock();
  }
  return messenger;
}

void FlutterDesktopMessengerUnlock(FlutterDesktopMessengerRef messenger) {
  if (stand_in::CheckMessenger(messenger, __func__)) {
    messenger->lock.unlock();
  }
  CountCall(__func__);
}

bool FlutterDesktopMessengerIsAvailable(FlutterDesktopMessengerRef messenger) {
  CountCall(__func__);
  return stand_in::CheckMessenger(messenger, __func__) && messenger->engine != nullptr;
}
