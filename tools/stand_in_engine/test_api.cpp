// The stand-in's test interface (stand_in_api.h).

#include "tools/stand_in_engine/stand_in_api.h"

#include <algorithm>
#include <cstring>
#include <mutex>

#include "tools/stand_in_engine/contract.h"
#include "tools/stand_in_engine/state.h"
#include "tools/stand_in_engine/transcript.h"

using stand_in::MessageState;
using stand_in::State;
using stand_in::TheState;

namespace {

// Storage behind StandInLastEngine.
StandInEngineRecord publishedRecord;

size_t CopyOut(const std::vector<uint8_t>& bytes, uint8_t* buffer, size_t capacity) {
  if (buffer != nullptr && !bytes.empty()) {
    std::memcpy(buffer, bytes.data(), std::min(capacity, bytes.size()));
  }
  return bytes.size();
}

bool OnChannel(const stand_in::HostMessage& message, const char* channel) {
  return channel == nullptr || message.channel == channel;
}

// From the counters, which are kept with records off too. Called with the mutex held.
size_t CountHostMessages(const State& state, const char* channel) {
  if (channel == nullptr) {
    size_t all = 0;
    for (const auto& entry : state.hostMessageCounts) all += entry.second;
    return all;
  }
  const auto found = state.hostMessageCounts.find(channel);
  return found != state.hostMessageCounts.end() ? found->second : 0;
}

}  // namespace

void StandInReset(void) {
  State& state = TheState();
  std::lock_guard<std::mutex> lock(state.mutex);
  state.failEngineCreate = false;
  state.failViewControllerCreate = false;
  state.refuseSendWithReply = false;
  state.monitorDpi = 0;
  state.automaticFirstFrame = true;
  state.claimedTopLevelMessages.clear();
  state.hasEngineRecord = false;
  state.engineRecord = stand_in::EngineRecord{};
  state.callCounts.clear();
  state.clearCallbackCounts.clear();
  state.responseErrors = 0;
  state.handleErrors = 0;
  state.threadErrors = 0;
  state.contractErrors.clear();
  state.callsAfterTeardown = 0;
  state.hostCalls.clear();
  state.incoming.clear();
  state.hostMessages.clear();
  state.hostMessageCounts.clear();
  state.scriptInboxes.clear();
  state.topLevelMessageCounts.clear();
  state.frames = 0;
  state.pluginRegistrations.clear();
}

void StandInSetFailEngineCreate(int fail) {
  std::lock_guard<std::mutex> lock(TheState().mutex);
  TheState().failEngineCreate = fail != 0;
}

void StandInSetFailViewControllerCreate(int fail) {
  std::lock_guard<std::mutex> lock(TheState().mutex);
  TheState().failViewControllerCreate = fail != 0;
}

void StandInSetRefuseSendWithReply(int refuse) {
  std::lock_guard<std::mutex> lock(TheState().mutex);
  TheState().refuseSendWithReply = refuse != 0;
}

void StandInSetKeepRecords(int keep) {
  std::lock_guard<std::mutex> lock(TheState().mutex);
  TheState().keepRecords = keep != 0;
}

void StandInSetAutomaticFirstFrame(int on) {
  std::lock_guard<std::mutex> lock(TheState().mutex);
  TheState().automaticFirstFrame = on != 0;
}

void StandInSetMonitorDpi(unsigned dpi) {
  std::lock_guard<std::mutex> lock(TheState().mutex);
  TheState().monitorDpi = dpi;
}

const StandInEngineRecord* StandInLastEngine(void) {
  State& state = TheState();
  std::lock_guard<std::mutex> lock(state.mutex);
  if (!state.hasEngineRecord) {
    return nullptr;
  }
  stand_in::EngineRecord& record = state.engineRecord;
  record.argumentPointers.clear();
  for (const std::string& argument : record.arguments) {
    record.argumentPointers.push_back(argument.c_str());
  }
  publishedRecord.assets_path = record.assetsPath.c_str();
  publishedRecord.icu_data_path = record.icuDataPath.c_str();
  publishedRecord.aot_library_path = record.aotLibraryPath.c_str();
  publishedRecord.dart_entrypoint = record.hasEntrypoint ? record.entrypoint.c_str() : nullptr;
  publishedRecord.argc = record.argumentCount;
  publishedRecord.argv_was_null = record.argvWasNull ? 1 : 0;
  publishedRecord.argv = record.argumentPointers.data();
  std::copy(std::begin(record.engineSettings), std::end(record.engineSettings),
            publishedRecord.engine_settings);
  publishedRecord.engine_flag = record.engineFlag;
  return &publishedRecord;
}

int StandInCallCount(const char* function_name) {
  State& state = TheState();
  std::lock_guard<std::mutex> lock(state.mutex);
  auto found = state.callCounts.find(function_name);
  return found != state.callCounts.end() ? found->second : 0;
}

size_t StandInLiveEngineCount(void) {
  State& state = TheState();
  std::lock_guard<std::mutex> lock(state.mutex);
  return static_cast<size_t>(std::count_if(state.engines.begin(), state.engines.end(),
                                           [](const auto& engine) { return engine->alive; }));
}

size_t StandInLiveMessengerCount(void) {
  State& state = TheState();
  std::lock_guard<std::mutex> lock(state.mutex);
  return static_cast<size_t>(
      std::count_if(state.messengers.begin(), state.messengers.end(),
                    [](const auto& messenger) { return messenger->references > 0; }));
}

int StandInHasHandler(const char* channel) {
  State& state = TheState();
  std::lock_guard<std::mutex> lock(state.mutex);
  return state.current != nullptr && state.current->callbacks.count(channel) != 0 ? 1 : 0;
}

int StandInClearCallbackCount(const char* channel) {
  State& state = TheState();
  std::lock_guard<std::mutex> lock(state.mutex);
  auto found = state.clearCallbackCounts.find(channel);
  return found != state.clearCallbackCounts.end() ? found->second : 0;
}

int StandInResponseErrorCount(void) {
  std::lock_guard<std::mutex> lock(TheState().mutex);
  return TheState().responseErrors;
}

int StandInHandleErrorCount(void) {
  std::lock_guard<std::mutex> lock(TheState().mutex);
  return TheState().handleErrors;
}

int StandInThreadErrorCount(void) {
  std::lock_guard<std::mutex> lock(TheState().mutex);
  return TheState().threadErrors;
}

size_t StandInContractErrorCount(void) {
  std::lock_guard<std::mutex> lock(TheState().mutex);
  return TheState().contractErrors.size();
}

const char* StandInContractError(size_t index) {
  State& state = TheState();
  std::lock_guard<std::mutex> lock(state.mutex);
  return index < state.contractErrors.size() ? state.contractErrors[index].c_str() : nullptr;
}

int StandInCallsAfterTeardownCount(void) {
  std::lock_guard<std::mutex> lock(TheState().mutex);
  return TheState().callsAfterTeardown;
}

size_t StandInHostCallCount(void) {
  std::lock_guard<std::mutex> lock(TheState().mutex);
  return TheState().hostCalls.size();
}

const char* StandInHostCall(size_t index) {
  State& state = TheState();
  std::lock_guard<std::mutex> lock(state.mutex);
  return index < state.hostCalls.size() ? state.hostCalls[index].c_str() : nullptr;
}

uint64_t StandInSend(const char* channel, const uint8_t* bytes, size_t size) {
  return stand_in::QueueToHost(channel != nullptr ? channel : "", bytes, size);
}

int StandInMessageState(uint64_t id) {
  State& state = TheState();
  std::lock_guard<std::mutex> lock(state.mutex);
  auto found = state.incoming.find(id);
  if (found == state.incoming.end()) {
    return kStandInUnknown;
  }
  switch (found->second.state) {
    case MessageState::kQueued:
      return kStandInQueued;
    case MessageState::kDelivered:
      return kStandInDelivered;
    case MessageState::kAnswered:
      return kStandInAnswered;
    case MessageState::kUnhandled:
      return kStandInUnhandled;
    case MessageState::kDropped:
      return kStandInDropped;
  }
  return kStandInUnknown;
}

size_t StandInCopyReply(uint64_t id, uint8_t* buffer, size_t capacity) {
  State& state = TheState();
  std::lock_guard<std::mutex> lock(state.mutex);
  auto found = state.incoming.find(id);
  return found != state.incoming.end() ? CopyOut(found->second.reply, buffer, capacity) : 0;
}

int StandInWaitForReply(uint64_t id, unsigned timeout_ms) {
  State& state = TheState();
  return stand_in::WaitUntil(
             [&] {
               auto found = state.incoming.find(id);
               return found == state.incoming.end() ||
                      (found->second.state != MessageState::kQueued &&
                       found->second.state != MessageState::kDelivered);
             },
             timeout_ms)
             ? 1
             : 0;
}

size_t StandInHostMessageCount(const char* channel) {
  State& state = TheState();
  std::lock_guard<std::mutex> lock(state.mutex);
  return CountHostMessages(state, channel);
}

size_t StandInCopyHostMessage(const char* channel, size_t index, uint8_t* buffer, size_t capacity,
                              uint64_t* id, int* wants_reply) {
  State& state = TheState();
  std::lock_guard<std::mutex> lock(state.mutex);
  size_t seen = 0;
  for (const stand_in::HostMessage& message : state.hostMessages) {
    if (!OnChannel(message, channel) || seen++ != index) {
      continue;
    }
    if (id != nullptr) {
      *id = message.id;
    }
    if (wants_reply != nullptr) {
      *wants_reply = message.wantsReply ? 1 : 0;
    }
    return CopyOut(message.bytes, buffer, capacity);
  }
  return 0;
}

int StandInWaitForHostMessages(const char* channel, size_t count, unsigned timeout_ms) {
  State& state = TheState();
  return stand_in::WaitUntil([&] { return CountHostMessages(state, channel) >= count; }, timeout_ms)
             ? 1
             : 0;
}

int StandInReplyToHost(uint64_t id, const uint8_t* bytes, size_t size) {
  State& state = TheState();
  HWND window = nullptr;
  {
    std::lock_guard<std::mutex> lock(state.mutex);
    auto found = state.pendingHostReplies.find(id);
    if (found == state.pendingHostReplies.end() || found->second.answered) {
      return 0;
    }
    found->second.answered = true;
    found->second.answer.assign(bytes, bytes + size);
    window = found->second.window;
  }
  return PostMessageW(window, stand_in::kDeliverAnswer, 0, static_cast<LPARAM>(id)) ? 1 : 0;
}

size_t StandInFrameCount(void) {
  std::lock_guard<std::mutex> lock(TheState().mutex);
  return TheState().frames;
}

int StandInWaitForFrames(size_t count, unsigned timeout_ms) {
  State& state = TheState();
  return stand_in::WaitUntil([&] { return state.frames >= count; }, timeout_ms) ? 1 : 0;
}

void StandInClaimTopLevelMessage(UINT message, LRESULT result) {
  std::lock_guard<std::mutex> lock(TheState().mutex);
  TheState().claimedTopLevelMessages[message] = result;
}

int StandInTopLevelMessageCount(UINT message) {
  State& state = TheState();
  std::lock_guard<std::mutex> lock(state.mutex);
  auto found = state.topLevelMessageCounts.find(message);
  return found != state.topLevelMessageCounts.end() ? found->second : 0;
}

HWND StandInViewWindow(void) {
  State& state = TheState();
  std::lock_guard<std::mutex> lock(state.mutex);
  if (state.current == nullptr || state.current->controller == nullptr) {
    return nullptr;
  }
  return state.current->controller->view.window;
}

int StandInCloseWindow(void) { return stand_in::CloseViewWindow() ? 1 : 0; }

void StandInPump(unsigned timeout_ms) {
  stand_in::WaitUntil([] { return false; }, timeout_ms);
}

void StandInRecordPluginRegistration(FlutterDesktopPluginRegistrarRef registrar,
                                     const char* function_name) {
  State& state = TheState();
  std::string entry = function_name != nullptr ? function_name : "(null)";
  {
    std::lock_guard<std::mutex> lock(state.mutex);
    const FlutterDesktopPluginRegistrar* live =
        stand_in::LiveRegistrar(state, registrar, "plugin registration");
    entry += " " + (live != nullptr ? live->name : std::string("(bad registrar)"));
    state.pluginRegistrations.push_back(entry);
  }
  stand_in::WriteTranscriptEvent("plugin", entry);
}

size_t StandInPluginRegistrationCount(void) {
  std::lock_guard<std::mutex> lock(TheState().mutex);
  return TheState().pluginRegistrations.size();
}

const char* StandInPluginRegistration(size_t index) {
  State& state = TheState();
  std::lock_guard<std::mutex> lock(state.mutex);
  return index < state.pluginRegistrations.size() ? state.pluginRegistrations[index].c_str()
                                                  : nullptr;
}
