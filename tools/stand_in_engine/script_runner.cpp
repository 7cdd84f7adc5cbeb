#include "tools/stand_in_engine/script_runner.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <map>
#include <mutex>
#include <optional>
#include <sstream>

#include "runner/win32_unique_handle.h"
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
      } else {
        std::lock_guard<std::mutex> lock(state.mutex);
        // Long runs keep no record of answered messages.
        if (!state.keepRecords) {
          state.incoming.erase(id);
        }
      }
      return done;
    }
    case ScriptCommand::Kind::kAwaitEvent: {
      if (!command.operand.empty()) {
        return AwaitMatchingEvent(command, failure);
      }
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
    case ScriptCommand::Kind::kMeter:
      return TellSimulator(command, failure);
    case ScriptCommand::Kind::kRun:
      return RunProgram(command, failure);
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

bool ScriptRunner::AwaitMatchingEvent(const ScriptCommand& command, std::string& failure) {
  State& state = TheState();
  size_t& seen = consumedEvents[command.channel];
  bool found = false, missed = false;
  // Called again after the wait has ended: once found, it must not look further.
  auto matchOrMiss = [&] {
    if (found || missed) {
      return true;
    }
    const ScriptInbox& inbox = state.scriptInboxes[command.channel];
    missed = seen < inbox.first;
    for (; !missed && seen < inbox.first + inbox.messages.size(); ++seen) {
      const std::vector<uint8_t>& bytes = inbox.messages[seen - inbox.first];
      if (SummarizeMessage(bytes.data(), bytes.size(), false).find(command.operand) !=
          std::string::npos) {
        ++seen;
        return found = true;
      }
    }
    return missed;
  };
  WaitUntil(matchOrMiss, command.millis, [this] { return cancelled.load(); });
  if (missed) {
    failure = "messages on " + command.channel + " were dropped before the script saw them";
  } else if (!found) {
    failure = "no message on " + command.channel + " holding " + command.operand + " within " +
              std::to_string(command.millis) + " ms";
  }
  return found;
}

bool ScriptRunner::TellSimulator(const ScriptCommand& command, std::string& failure) {
  if (!simulator && !(simulator = SimulatorLink::FromEnvironment(failure))) {
    return false;
  }
  const int64_t sent = UnixMicroseconds();
  const std::string reply = simulator->Command(command.operand);
  const int64_t answered = UnixMicroseconds();
  // Wall-clock times, to set the simulator's own times beside those of other observers.
  WriteTranscriptEvent("meter", command.operand + " -> " + reply + " (sent " +
                                    std::to_string(sent) + " us, answered " +
                                    std::to_string(answered) + " us)");
  if (reply.empty() || reply.rfind("error", 0) == 0) {
    failure = "the simulator answered \"" + reply + "\" to " + command.operand;
    return false;
  }
  return true;
}

bool ScriptRunner::RunProgram(const ScriptCommand& command, std::string& failure) {
  constexpr DWORD kRunLimitMs = 30000, kStepMs = 50;
  std::wstring line = Wide(command.operand);
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION started{};
  if (!CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, CREATE_NO_WINDOW, nullptr,
                      nullptr, &startup, &started)) {
    failure = "cannot start " + command.operand + " (error " + std::to_string(GetLastError()) + ")";
    return false;
  }
  const UniqueKernelHandle process(started.hProcess), startedThread(started.hThread);
  // In steps, so that the engine's teardown does not wait for the program.
  DWORD waited = 0;
  while (WaitForSingleObject(process.get(), kStepMs) == WAIT_TIMEOUT) {
    waited += kStepMs;
    if (cancelled || waited >= kRunLimitMs) {
      TerminateProcess(process.get(), 1);
      failure = command.operand + " did not end within " + std::to_string(kRunLimitMs) + " ms";
      return false;
    }
  }
  DWORD status = 1;
  GetExitCodeProcess(process.get(), &status);
  WriteTranscriptEvent("run", command.operand + " -> exit status " + std::to_string(status));
  if (status != 0) {
    failure = command.operand + " ended with status " + std::to_string(status);
  }
  return status == 0;
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
