#pragma once

// The stand-in engine's process-wide state. Everything in State is guarded by State::mutex,
// except the messenger's own lock and atomics. Lock order: a messenger's lock, then the mutex.

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "channels/flutter_windows.h"
#include "tools/stand_in_engine/view_model.h"

struct FlutterDesktopMessenger {
  std::atomic<int> references{1};
  // Held between FlutterDesktopMessengerLock and Unlock; engine teardown takes it too.
  std::recursive_mutex lock;
  // Null once the engine is gone.
  std::atomic<FlutterDesktopEngine*> engine{nullptr};
  // The engine's UI thread; calls are checked against it after teardown too.
  DWORD thread = 0;
};

struct FlutterDesktopMessageResponseHandle {
  uint64_t messageId = 0;
  uint64_t engineSerial = 0;
  bool used = false;
};

struct FlutterDesktopPluginRegistrar {
  std::string name;
  FlutterDesktopEngine* engine = nullptr;
};

struct FlutterDesktopView {
  HWND window = nullptr;
};

struct FlutterDesktopEngine {
  struct Callback {
    FlutterDesktopMessageCallback function = nullptr;
    void* userData = nullptr;
  };

  uint64_t serial = 0;
  DWORD thread = 0;
  bool alive = true;
  // Hidden window on the UI thread: posted deliveries and frames arrive here; it also parks the
  // view until the host adopts it.
  HWND window = nullptr;
  FlutterDesktopMessenger* messenger = nullptr;
  std::map<std::string, Callback> callbacks;
  FlutterDesktopOnNextFrameCallback nextFrame = nullptr;
  void* nextFrameData = nullptr;
  std::map<std::string, std::unique_ptr<FlutterDesktopPluginRegistrar>> registrars;
  FlutterDesktopViewController* controller = nullptr;
  // What the view paints.
  stand_in::ViewModel view;
};

struct FlutterDesktopViewController {
  FlutterDesktopEngine* engine = nullptr;
  bool alive = true;
  FlutterDesktopView view;
};

namespace stand_in {

// Private messages of the engine window.
constexpr UINT kDeliverMessage = WM_APP + 0x700;
constexpr UINT kDeliverAnswer = WM_APP + 0x701;
constexpr UINT kDrawFrame = WM_APP + 0x702;
// To the view: its model changed on another thread.
constexpr UINT kViewChanged = WM_APP + 0x703;
constexpr UINT_PTR kFirstFrameTimer = 1;

enum class MessageState { kQueued, kDelivered, kAnswered, kUnhandled, kDropped };

// Interface side to host.
struct IncomingMessage {
  std::string channel;
  std::vector<uint8_t> bytes;
  uint64_t engineSerial = 0;
  MessageState state = MessageState::kQueued;
  std::vector<uint8_t> reply;
};

// Host to interface side.
struct HostMessage {
  uint64_t id = 0;
  std::string channel;
  std::vector<uint8_t> bytes;
  bool wantsReply = false;
};

// The latest host messages of one channel, for a script's await-event with a text. Bounded, so
// that long runs without such a script keep no growing record.
struct ScriptInbox {
  static constexpr size_t kLimit = 256;
  // Number (per channel, from 0) of the oldest message kept.
  size_t first = 0;
  std::deque<std::vector<uint8_t>> messages;
};

struct PendingHostReply {
  FlutterDesktopBinaryReply function = nullptr;
  void* userData = nullptr;
  uint64_t engineSerial = 0;
  HWND window = nullptr;
  std::string channel;
  std::vector<uint8_t> answer;
  bool answered = false;
};

struct EngineRecord {
  std::wstring assetsPath, icuDataPath, aotLibraryPath;
  bool hasEntrypoint = false;
  std::string entrypoint;
  int32_t argumentCount = 0;
  bool argvWasNull = true;
  std::vector<std::string> arguments;
  std::vector<const char*> argumentPointers;
  int32_t engineSettings[4] = {0, 0, 0, 0};
  uint8_t engineFlag = 0;
};

class ScriptRunner;

struct State {
  ~State();

  std::mutex mutex;
  std::condition_variable changed;

  // Every object ever handed out. Destroyed ones stay as dead markers, never freed, so a reused
  // address cannot pass for a new object.
  std::vector<std::unique_ptr<FlutterDesktopEngine>> engines;
  std::vector<std::unique_ptr<FlutterDesktopMessenger>> messengers;
  std::vector<std::unique_ptr<FlutterDesktopViewController>> controllers;
  std::vector<std::unique_ptr<FlutterDesktopMessageResponseHandle>> responseHandles;
  std::set<const FlutterDesktopMessageResponseHandle*> knownResponseHandles;

  FlutterDesktopEngine* current = nullptr;
  DWORD uiThread = 0;
  uint64_t nextSerial = 1;
  uint64_t nextMessageId = 1;

  // Switches.
  bool failEngineCreate = false;
  bool failViewControllerCreate = false;
  bool refuseSendWithReply = false;
  unsigned monitorDpi = 0;
  bool automaticFirstFrame = true;
  // Off for long runs: the host-call log and the message records would grow without end.
  // Counts are kept either way.
  bool keepRecords = true;
  // The wrappers pass the null of a failed engine creation on; that null is no handle error.
  bool lastEngineCreateFailed = false;
  std::map<UINT, LRESULT> claimedTopLevelMessages;

  // Records.
  bool hasEngineRecord = false;
  EngineRecord engineRecord;
  std::map<std::string, int> callCounts;
  std::map<std::string, int> clearCallbackCounts;
  // Responses the engine could not accept: unknown or used-up handle, or after teardown.
  int responseErrors = 0;
  // Calls with a null, unknown, destroyed or released handle.
  int handleErrors = 0;
  // Calls off the engine's UI thread.
  int threadErrors = 0;
  // Every error above, in order, as text.
  std::deque<std::string> contractErrors;
  // Sends and handler changes on a messenger whose engine is gone.
  int callsAfterTeardown = 0;
  // The host's calls in order (StandInHostCall).
  std::deque<std::string> hostCalls;
  std::map<uint64_t, IncomingMessage> incoming;
  std::vector<HostMessage> hostMessages;
  std::map<std::string, size_t> hostMessageCounts;
  std::map<std::string, ScriptInbox> scriptInboxes;
  std::map<uint64_t, PendingHostReply> pendingHostReplies;
  std::map<UINT, int> topLevelMessageCounts;
  size_t frames = 0;
  // A deque: StandInPluginRegistration hands out pointers into its strings.
  std::deque<std::string> pluginRegistrations;

  std::unique_ptr<ScriptRunner> script;
};

State& TheState();

// Counts a call of a C interface function.
void CountCall(const char* function);

// Waits until condition (called with the mutex held) holds. On the UI thread it dispatches
// messages meanwhile, so posted deliveries happen; elsewhere it sleeps on State::changed.
// stop (optional, also under the mutex) ends the wait early.
bool WaitUntil(const std::function<bool()>& condition, unsigned timeoutMs,
               const std::function<bool()>& stop = nullptr);

// Queues a message from the interface side to the current engine's host; returns its id.
uint64_t QueueToHost(const std::string& channel, const uint8_t* bytes, size_t size);

// Posts WM_CLOSE to the top-level window holding the current view.
bool CloseViewWindow();

// Engine teardown shared by FlutterDesktopEngineDestroy, the view controller and failures.
void DestroyEngine(FlutterDesktopEngine* engine);

}  // namespace stand_in
