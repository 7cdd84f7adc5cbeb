#include "tools/stand_in_engine/contract.h"

#include <algorithm>

#include "tools/stand_in_engine/transcript.h"

namespace stand_in {
namespace {

template <typename Object>
Object* Find(const std::vector<std::unique_ptr<Object>>& objects, const void* handle) {
  auto found = std::find_if(objects.begin(), objects.end(),
                            [&](const auto& known) { return known.get() == handle; });
  return found != objects.end() ? found->get() : nullptr;
}

// Null, or the handle error counted for a handle that is null, unknown or dead.
template <typename Object>
Object* Checked(State& state, Object* found, bool alive, const void* handle, const char* what,
                const char* function) {
  if (found != nullptr && alive) {
    return found;
  }
  const char* problem = handle == nullptr ? "null" : found == nullptr ? "unknown" : "destroyed";
  RecordError(state, state.handleErrors,
              std::string(function) + ": " + problem + " " + what + " " +
                  StandInHex(reinterpret_cast<uintptr_t>(handle)));
  return nullptr;
}

}  // namespace

void RecordError(State& state, int& counter, const std::string& text) {
  ++counter;
  state.contractErrors.push_back(text);
  WriteTranscriptEvent("error", text);
}

void LogHostCall(State& state, const std::string& text) {
  if (state.keepRecords) {
    state.hostCalls.push_back(text);
  }
}

void CheckThread(State& state, DWORD uiThread, const char* function) {
  const DWORD caller = GetCurrentThreadId();
  if (caller != uiThread) {
    RecordError(state, state.threadErrors,
                std::string(function) + ": called on thread " + std::to_string(caller) +
                    ", not on the engine's UI thread " + std::to_string(uiThread));
  }
}

FlutterDesktopEngine* LiveEngine(State& state, const void* engine, const char* function) {
  FlutterDesktopEngine* found = Find(state.engines, engine);
  found = Checked(state, found, found != nullptr && found->alive, engine, "engine", function);
  if (found != nullptr) {
    CheckThread(state, found->thread, function);
  }
  return found;
}

FlutterDesktopViewController* LiveController(State& state, const void* controller,
                                             const char* function) {
  FlutterDesktopViewController* found = Find(state.controllers, controller);
  found = Checked(state, found, found != nullptr && found->alive, controller, "view controller",
                  function);
  if (found != nullptr) {
    CheckThread(state, found->engine->thread, function);
  }
  return found;
}

FlutterDesktopViewController* ControllerOfView(State& state, const void* view,
                                               const char* function) {
  auto known = std::find_if(state.controllers.begin(), state.controllers.end(),
                            [&](const auto& controller) { return &controller->view == view; });
  FlutterDesktopViewController* found = known != state.controllers.end() ? known->get() : nullptr;
  found = Checked(state, found, found != nullptr && found->alive, view, "view", function);
  if (found != nullptr) {
    CheckThread(state, found->engine->thread, function);
  }
  return found;
}

FlutterDesktopPluginRegistrar* LiveRegistrar(State& state, const void* registrar,
                                             const char* function) {
  FlutterDesktopPluginRegistrar* found = nullptr;
  for (const auto& engine : state.engines) {
    for (const auto& [name, known] : engine->registrars) {
      if (known.get() == registrar) {
        found = known.get();
      }
    }
  }
  found = Checked(state, found, found != nullptr && found->engine->alive, registrar, "registrar",
                  function);
  if (found != nullptr) {
    CheckThread(state, found->engine->thread, function);
  }
  return found;
}

bool LiveMessenger(State& state, const FlutterDesktopMessenger* messenger, const char* function,
                   bool checkThread) {
  const FlutterDesktopMessenger* found = Find(state.messengers, messenger);
  found = Checked(state, found, found != nullptr && found->references > 0, messenger, "messenger",
                  function);
  if (found != nullptr && checkThread) {
    CheckThread(state, found->thread, function);
  }
  return found != nullptr;
}

}  // namespace stand_in
