#pragma once

// What the engine's contract refuses, checked at each entry point of the C interface: handles
// that are null, unknown or already destroyed, and calls off the engine's UI thread. Every
// refusal is counted and kept as text. Call everything here with State::mutex held.

#include <string>

#include "tools/stand_in_engine/stand_in_api.h"
#include "tools/stand_in_engine/state.h"

namespace stand_in {

// Counts an error in counter and keeps its text (also in the transcript).
void RecordError(State& state, int& counter, const std::string& text);
// Appends one entry to the ordered log of the host's calls.
void LogHostCall(State& state, const std::string& text);
// Counts a thread error unless the calling thread is uiThread.
void CheckThread(State& state, DWORD uiThread, const char* function);

// The live object behind a handle, or null after counting a handle error. A live one is also
// checked for the calling thread.
FlutterDesktopEngine* LiveEngine(State& state, const void* engine, const char* function);
FlutterDesktopViewController* LiveController(State& state, const void* controller,
                                             const char* function);
FlutterDesktopViewController* ControllerOfView(State& state, const void* view,
                                               const char* function);
FlutterDesktopPluginRegistrar* LiveRegistrar(State& state, const void* registrar,
                                             const char* function);
// Known and still referenced; the thread is checked only when checkThread is set (the reply
// path may run anywhere).
bool LiveMessenger(State& state, const FlutterDesktopMessenger* messenger, const char* function,
                   bool checkThread);

}  // namespace stand_in
