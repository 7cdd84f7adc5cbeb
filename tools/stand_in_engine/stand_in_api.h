#pragma once

// Test interface of the stand-in engine (tools/stand_in_engine), exported by the same
// flutter_windows.dll. It plays the interface side: sends messages to the host, records what
// the host sends and answers, and provokes failures. Never linked into the product.
//
// Messages to the host are queued here from any thread and delivered on the engine's UI thread
// when that thread's message loop dispatches them. The wait functions pump messages when called
// on the UI thread and block otherwise. All functions act on the most recently created engine
// that is still alive ("current engine").

#include <stddef.h>
#include <stdint.h>

#include "channels/flutter_windows.h"

#if defined(FLUTTER_WINDOWS_BUILDING_LIBRARY)
#define LUMERO_STAND_IN_API __declspec(dllexport)
#else
#define LUMERO_STAND_IN_API __declspec(dllimport)
#endif

#ifdef __cplusplus
extern "C" {
#endif

// Forgets recorded traffic, counters and switches (live engines stay).
LUMERO_STAND_IN_API void StandInReset(void);

// Failure switches (non-zero: on). The environment variables LUMERO_STANDIN_FAIL_ENGINE,
// LUMERO_STANDIN_FAIL_VIEW_CONTROLLER and LUMERO_STANDIN_REFUSE_SEND_WITH_REPLY set to 1 have
// the same effect.
LUMERO_STAND_IN_API void StandInSetFailEngineCreate(int fail);
LUMERO_STAND_IN_API void StandInSetFailViewControllerCreate(int fail);
LUMERO_STAND_IN_API void StandInSetRefuseSendWithReply(int refuse);
// On (the default): a first frame arrives about 30 ms after a view controller is created, as a
// real engine's would. Off: frames come only after FlutterDesktopViewControllerForceRedraw.
LUMERO_STAND_IN_API void StandInSetAutomaticFirstFrame(int on);
// Off: no host-call log and no message records (counts stay), so long runs stay flat. Also off
// when LUMERO_STANDIN_RECORDS=0 is set at load.
LUMERO_STAND_IN_API void StandInSetKeepRecords(int keep);
// DPI that FlutterDesktopGetDpiForMonitor reports; 0 asks the system (or LUMERO_STANDIN_DPI).
LUMERO_STAND_IN_API void StandInSetMonitorDpi(unsigned dpi);

// What the last FlutterDesktopEngineCreate received (copies, valid until the next engine
// creation or reset). Null before the first creation.
typedef struct {
  const wchar_t* assets_path;
  const wchar_t* icu_data_path;
  const wchar_t* aot_library_path;
  const char* dart_entrypoint;  // null when null was passed
  int32_t argc;
  int argv_was_null;
  const char* const* argv;  // argc copies
  int32_t engine_settings[4];
  uint8_t engine_flag;
} StandInEngineRecord;
LUMERO_STAND_IN_API const StandInEngineRecord* StandInLastEngine(void);

// Calls of one C interface function (by its name) since the last reset.
LUMERO_STAND_IN_API int StandInCallCount(const char* function_name);
LUMERO_STAND_IN_API size_t StandInLiveEngineCount(void);
// Messengers still referenced (by an engine or by AddRef).
LUMERO_STAND_IN_API size_t StandInLiveMessengerCount(void);
// Whether the current engine has a callback for channel.
LUMERO_STAND_IN_API int StandInHasHandler(const char* channel);
// FlutterDesktopMessengerSetCallback calls with a null callback for channel.
LUMERO_STAND_IN_API int StandInClearCallbackCount(const char* channel);
// What the engine's contract refuses is counted as an error, in three kinds:
// Responses that the engine could not accept: null, unknown or used-up handle, or after teardown.
LUMERO_STAND_IN_API int StandInResponseErrorCount(void);
// Calls with a null, unknown or destroyed handle (engine, messenger without references, view
// controller, view, registrar), an engine destroyed after a controller adopted it, and window
// messages for a window that is not a top-level window. Destroyed objects are never freed, so a
// reused address cannot pass for a new one. The one accepted null: the engine of a failed
// FlutterDesktopEngineCreate, passed on to FlutterDesktopEngineGetMessenger and
// FlutterDesktopViewControllerCreate as the wrappers do.
LUMERO_STAND_IN_API int StandInHandleErrorCount(void);
// Calls off the UI thread of the engine the handle belongs to (the thread that created it).
// Exempt: the reply path (FlutterDesktopMessengerSendResponse, AddRef, Release, Lock, Unlock,
// IsAvailable) and the process-wide FlutterDesktopGetDpiForMonitor and
// FlutterDesktopResyncOutputStreams.
LUMERO_STAND_IN_API int StandInThreadErrorCount(void);
// All errors of the three kinds in order, each as one line of text naming the function (valid
// until the next reset).
LUMERO_STAND_IN_API size_t StandInContractErrorCount(void);
LUMERO_STAND_IN_API const char* StandInContractError(size_t index);

// FlutterDesktopMessengerSend, SendWithReply and SetCallback on a messenger that is still
// referenced but whose engine is gone. Allowed by the contract, but a host that stopped its
// traffic at teardown makes none.
LUMERO_STAND_IN_API int StandInCallsAfterTeardownCount(void);

// The host's calls in order since the last reset (valid until the next reset). Every function
// of the C interface except the reply path is logged, errors included, as its name without
// "FlutterDesktop" followed by its arguments:
//   "EngineCreate", "EngineGetMessenger", "EngineGetPluginRegistrar <plugin name>",
//   "EngineSetNextFrameCallback", "EngineReloadSystemFonts", "EngineDestroy",
//   "ViewControllerCreate <width>x<height>", "ViewControllerGetView", "ViewGetHWND",
//   "ViewControllerHandleTopLevelWindowProc <window> <message> <wparam> <lparam>",
//   "ViewControllerForceRedraw", "ViewControllerDestroy",
//   "MessengerSend <channel>", "MessengerSendWithReply <channel>",
//   "MessengerSetCallback <channel>" (" null" appended when clearing),
//   "GetDpiForMonitor <monitor>", "ResyncOutputStreams";
// messenger calls after teardown end in " (engine gone)", refused sends with a reply in
// " (refused)". The engine's own call of the next-frame callback is logged as
// "next-frame callback". Handles and message values are written by StandInHex.
LUMERO_STAND_IN_API size_t StandInHostCallCount(void);
LUMERO_STAND_IN_API const char* StandInHostCall(size_t index);

// Interface side to host. Returns the message's id (never 0).
LUMERO_STAND_IN_API uint64_t StandInSend(const char* channel, const uint8_t* bytes, size_t size);

typedef enum {
  kStandInQueued = 0,     // waiting for the UI thread's message loop
  kStandInDelivered = 1,  // handed to the host's callback, not answered yet
  kStandInAnswered = 2,   // the host sent its response
  kStandInUnhandled = 3,  // no callback on the channel; the engine answered empty
  kStandInDropped = 4,    // the engine went away first
  kStandInUnknown = 5     // no such id
} StandInMessageStatus;
LUMERO_STAND_IN_API int StandInMessageState(uint64_t id);
// Copies up to capacity bytes of the host's answer; returns its full size.
LUMERO_STAND_IN_API size_t StandInCopyReply(uint64_t id, uint8_t* buffer, size_t capacity);
// Waits until the message is no longer queued or delivered. 1: done, 0: timed out.
LUMERO_STAND_IN_API int StandInWaitForReply(uint64_t id, unsigned timeout_ms);

// Host to interface side. channel may be null for all channels.
LUMERO_STAND_IN_API size_t StandInHostMessageCount(const char* channel);
// The index-th message the host sent on channel: copies up to capacity bytes, returns the full
// size; *id (if not null) receives its id, and *wants_reply whether it was sent with a reply.
LUMERO_STAND_IN_API size_t StandInCopyHostMessage(const char* channel, size_t index,
                                                  uint8_t* buffer, size_t capacity, uint64_t* id,
                                                  int* wants_reply);
LUMERO_STAND_IN_API int StandInWaitForHostMessages(const char* channel, size_t count,
                                                   unsigned timeout_ms);
// Answers a message the host sent with a reply; the host's callback runs later on the UI
// thread, from the message loop. 0 if no such pending message.
LUMERO_STAND_IN_API int StandInReplyToHost(uint64_t id, const uint8_t* bytes, size_t size);

// Frames drawn (after ForceRedraw, and once shortly after a view is created).
LUMERO_STAND_IN_API size_t StandInFrameCount(void);
LUMERO_STAND_IN_API int StandInWaitForFrames(size_t count, unsigned timeout_ms);

// Makes FlutterDesktopViewControllerHandleTopLevelWindowProc claim message with result.
LUMERO_STAND_IN_API void StandInClaimTopLevelMessage(UINT message, LRESULT result);
LUMERO_STAND_IN_API int StandInTopLevelMessageCount(UINT message);

// The current view's window, or null.
LUMERO_STAND_IN_API HWND StandInViewWindow(void);
// Posts WM_CLOSE to the top-level window that holds the current view. 0 without a view.
LUMERO_STAND_IN_API int StandInCloseWindow(void);

// Dispatches the calling thread's messages for about timeout_ms.
LUMERO_STAND_IN_API void StandInPump(unsigned timeout_ms);

// Called by the stand-in plugins' registration functions.
LUMERO_STAND_IN_API void StandInRecordPluginRegistration(FlutterDesktopPluginRegistrarRef registrar,
                                                         const char* function_name);
LUMERO_STAND_IN_API size_t StandInPluginRegistrationCount(void);
// "<function> <registrar name>" of the index-th registration, or null.
LUMERO_STAND_IN_API const char* StandInPluginRegistration(size_t index);

#ifdef __cplusplus
}  // extern "C"

#include <cstdio>
#include <string>
#include <vector>

// Conveniences for C++ tests.
inline uint64_t StandInSend(const std::string& channel, const std::vector<uint8_t>& bytes) {
  return StandInSend(channel.c_str(), bytes.data(), bytes.size());
}

inline std::vector<uint8_t> StandInReply(uint64_t id) {
  std::vector<uint8_t> bytes(StandInCopyReply(id, nullptr, 0));
  StandInCopyReply(id, bytes.data(), bytes.size());
  return bytes;
}

// How the call log writes handles and message values: "0x" and lower-case hex digits.
inline std::string StandInHex(unsigned long long value) {
  char text[24];
  snprintf(text, sizeof text, "0x%llx", value);
  return text;
}

inline std::vector<std::string> StandInHostCalls() {
  std::vector<std::string> calls;
  for (size_t i = 0; i < StandInHostCallCount(); ++i) calls.push_back(StandInHostCall(i));
  return calls;
}

inline std::vector<std::string> StandInContractErrors() {
  std::vector<std::string> errors;
  for (size_t i = 0; i < StandInContractErrorCount(); ++i)
    errors.push_back(StandInContractError(i));
  return errors;
}

inline std::vector<uint8_t> StandInHostMessage(const char* channel, size_t index) {
  std::vector<uint8_t> bytes(StandInCopyHostMessage(channel, index, nullptr, 0, nullptr, nullptr));
  StandInCopyHostMessage(channel, index, bytes.data(), bytes.size(), nullptr, nullptr);
  return bytes;
}
#endif
