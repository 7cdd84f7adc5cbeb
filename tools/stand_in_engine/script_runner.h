#pragma once

#include <atomic>
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <thread>

#include "tools/stand_in_engine/script.h"
#include "tools/stand_in_engine/simulator_link.h"

namespace stand_in {

// Plays a script (script.h) against one engine on a thread of its own. It only posts to the UI
// thread and waits for what the host does, so the host sees every message from its message loop.
// A script that fails (a time-out, nothing to close) writes why to the transcript and standard
// error and then closes the window, so an unattended run ends.
class ScriptRunner {
 public:
  ScriptRunner(uint64_t engineSerial, ParsedScript script);
  // Stops the script at its next step and joins the thread.
  ~ScriptRunner();
  ScriptRunner(const ScriptRunner&) = delete;
  ScriptRunner& operator=(const ScriptRunner&) = delete;

  uint64_t EngineSerial() const { return engineSerial; }
  // At process exit the thread is already gone and must not be joined.
  void AbandonAtExit();

 private:
  void Run();
  bool RunCommand(const ScriptCommand& command, std::string& failure);
  bool AwaitMatchingEvent(const ScriptCommand& command, std::string& failure);
  bool TellSimulator(const ScriptCommand& command, std::string& failure);
  bool RunProgram(const ScriptCommand& command, std::string& failure);

  uint64_t engineSerial;
  ParsedScript script;
  std::atomic<bool> cancelled{false};
  uint64_t lastMessage = 0;
  // Host messages per channel that await-event has taken; the script thread's own.
  std::map<std::string, size_t> consumedEvents;
  // Connected by the first meter command.
  std::unique_ptr<SimulatorLink> simulator;
  std::thread thread;
};

// At engine creation (UI thread): starts the script named by LUMERO_STANDIN_SCRIPT, if any.
void StartScriptIfRequested(uint64_t engineSerial);
// At engine teardown (UI thread): stops that engine's script.
void StopScript(uint64_t engineSerial);

}  // namespace stand_in
