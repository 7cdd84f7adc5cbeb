#include "tools/stand_in_engine/script_runner.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <map>
#include <mutex>
#include <optional>
#include <sstream>

#include "tools/stand_in_engine/environment.h"
#include "tools/stand_in_engine/state.h"
#include "tools/stand_in_engine/transcript.h"
#include "tools/stand_in_engine/wire_text.h"

namespace stand_in {
namespace {

size_t CountHostMessages(State& state, const std::string& channel) {
  const auto found = state.hostMessageCounts.find(channel);
  return found != state.hostMessageCounts.end() ? found->second : 0;
}

// How many messages on channel there are up to the first one after the first skipped whose
// bytes hold text; 0 while there is none.
size_t CountThroughMessageWith(State& state, const std::string& channel,
                               const std::vector<uint8_t>& text, size_t skipped) {
  size_t index = 0;
  for (const HostMessage& message : state.hostMessages) {
    if (message.channel != channel || index++ < skipped) {
      continue;
    }
    if (std::search(message.bytes.begin(), message.bytes.end(), text.begin(), text.end()) !=
        message.bytes.end()) {
      return index;
    }
  }
  return 0;
}

bool ViewAdopted(State& state) {
  if (state.current == nullptr || state.current->controller == nullptr) {
    return false;
  }
  HWND root = GetAncestor(state.current->controller->view.window, GA_ROOT);
  return root != nullptr && root != state.current->window;
}

void ReportFailure(const std::string& text) {
  WriteTranscriptEvent("script", "failed: " + text);
  std::cerr << "Stand-in script failed: " << text << std::endl;
}

}  // namespace

ScriptRunner::ScriptRunner(uint64_t engineSerial, ParsedScript script)
    : engineSerial(engineSerial), script(std::move(script)) {
  thread = std::thread([this] { Run(); });
}

ScriptRunner::~ScriptRunner() {
  cancelled = true;
  {
    // Taken so that a waiter cannot miss the wake-up between its check and its sleep.
    std::lock_guard<std::mutex> lock(TheState().mutex);
  }
  TheState().changed.notify_all();
  if (thread.joinable()) {
    thread.join();
  }
}

void ScriptRunner::AbandonAtExit() {
  if (thread.joinable()) {
    thread.detach();
  }
}

void ScriptRunner::Run() {
  for (const ScriptCommand& command : script.commands) {
    if (cancelled) {
      WriteTranscriptEvent("script", "stopped: the engine is gone");
      return;
    }
    WriteTranscriptEvent("script", "line " + std::to_string(command.line) + ": " + command.text);
    std::string failure;
    if (!RunCommand(command, failure)) {
      if (cancelled) {
        WriteTranscriptEvent("script", "stopped: the engine is gone");
        return;
      }
      ReportFailure("line " + std::to_string(command.line) + ": " + failure);
      CloseViewWindow();
      return;
    }
  }
  WriteTranscriptEvent("script", "done");
}

bool ScriptRunner::RunCommand(const ScriptCommand& command, std::string& failure) {
  State& state = TheState();
  auto stop = [this] { return cancelled.load(); };
  switch (command.kind) {
    case ScriptCommand::Kind::kWait:
      WaitUntil([] { return false; }, command.millis, stop);
      return !cancelled;
    case ScriptCommand::Kind::kCall:
    case ScriptCommand::Kind::kSend:
      lastMessage = QueueToHost(command.channel, command.message.data(), command.message.size());
      return true;
    case ScriptCommand::Kind::kAwaitReply: {
      if (lastMessage == 0) {
        failure = "nothing was sent to await a reply for";
        return false;
      }
      const uint64_t id = lastMessage;
      const bool done = WaitUntil(
          [&] {
            const MessageState current = state.incoming[id].state;
            return current != MessageState::kQueued && current != MessageState::kDelivered;
          },
          command.millis, stop);
      if (!done) {
        failure = "no reply within " + std::to_string(command.millis) + " ms";
      }
      return done;
    }
    case ScriptCommand::Kind::kAwaitEvent: {
      size_t& seen = consumedEvents[command.channel];
      const bool arrived = WaitUntil(
          [&] { return CountHostMessages(state, command.channel) > seen; }, command.millis, stop);
      if (!arrived) {
        failure = "no message on " + command.channel + " within " + std::to_string(command.millis) +
                  " ms";
        return false;
      }
      ++seen;
      return true;
    }
    case ScriptCommand::Kind::kAwaitEventWith: {
      bool records = false;
      {
        std::lock_guard<std::mutex> lock(state.mutex);
        records = state.keepRecords;
      }
      if (!records) {
        failure = "await-event-with needs the records (LUMERO_STANDIN_RECORDS is 0)";
        return false;
      }
      size_t& seen = consumedEvents[command.channel];
      size_t through = 0;
      const bool arrived = WaitUntil(
          [&] {
            through = CountThroughMessageWith(state, command.channel, command.message, seen);
            return through != 0;
          },
          command.millis, stop);
      if (!arrived) {
        failure = "no message on " + command.channel + " holding \"" +
                  std::string(command.message.begin(), command.message.end()) + "\" within " +
                  std::to_string(command.millis) + " ms";
        return false;
      }
      seen = through;
      return true;
    }
    case ScriptCommand::Kind::kClose:
      // The host adopts the view only after the engine exists; give it that time.
      if (!WaitUntil([&] { return ViewAdopted(state); }, kDefaultAwaitMillis, stop) ||
          !CloseViewWindow()) {
        failure = "no host window to close";
        return false;
      }
      return true;
  }
  return true;
}

void StartScriptIfRequested(uint64_t engineSerial) {
  std::optional<std::wstring> path = EnvironmentText(L"LUMERO_STANDIN_SCRIPT");
  if (!path || path->empty()) {
    return;
  }
  std::ifstream file{std::filesystem::path(*path)};
  if (!file) {
    ReportFailure("cannot read " + Utf8(*path));
    return;
  }
  std::stringstream text;
  text << file.rdbuf();
  ParsedScript script = ParseScript(text.str());
  if (!script.error.empty()) {
    ReportFailure(script.error);
    return;
  }
  WriteTranscriptEvent("script", "started: " + Utf8(*path));
  auto runner = std::make_unique<ScriptRunner>(engineSerial, std::move(script));
  std::unique_ptr<ScriptRunner> previous;
  {
    std::lock_guard<std::mutex> lock(TheState().mutex);
    previous = std::move(TheState().script);
    TheState().script = std::move(runner);
  }
  // previous (a script of an earlier engine) is stopped here, outside the lock.
}

void StopScript(uint64_t engineSerial) {
  std::unique_ptr<ScriptRunner> runner;
  {
    std::lock_guard<std::mutex> lock(TheState().mutex);
    if (TheState().script && TheState().script->EngineSerial() == engineSerial) {
      runner = std::move(TheState().script);
    }
  }
}

}  // namespace stand_in
