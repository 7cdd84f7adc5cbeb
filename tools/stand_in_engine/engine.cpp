// The engine, view-controller and view functions of the C interface, and the stand-in's windows.

#include <algorithm>
#include <cwchar>
#include <mutex>
#include <optional>
#include <string>

#include "channels/flutter_windows.h"
#include "tools/stand_in_engine/contract.h"
#include "tools/stand_in_engine/environment.h"
#include "tools/stand_in_engine/script_runner.h"
#include "tools/stand_in_engine/state.h"
#include "tools/stand_in_engine/transcript.h"
#include "tools/stand_in_engine/view_window.h"

namespace stand_in {

// Defined in messenger.cpp: deliveries from the engine window.
void DeliverQueuedMessage(FlutterDesktopEngine* engine, uint64_t id);
void DeliverHostAnswer(uint64_t id);

namespace {

constexpr wchar_t kEngineWindowClass[] = L"LumeroStandInEngine";
constexpr wchar_t kViewWindowClass[] = L"LumeroStandInView";

HINSTANCE ThisModule() {
  HMODULE module = nullptr;
  GetModuleHandleExW(
      GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
      reinterpret_cast<LPCWSTR>(&ThisModule), &module);
  return module;
}

void DrawFrame(FlutterDesktopEngine* engine) {
  State& state = TheState();
  FlutterDesktopOnNextFrameCallback callback = nullptr;
  void* userData = nullptr;
  size_t frame = 0;
  {
    std::lock_guard<std::mutex> lock(state.mutex);
    frame = ++state.frames;
    // One-shot: taken before it runs.
    callback = engine->nextFrame;
    userData = engine->nextFrameData;
    engine->nextFrame = nullptr;
    engine->nextFrameData = nullptr;
    if (callback != nullptr) {
      LogHostCall(state, "next-frame callback");
    }
  }
  state.changed.notify_all();
  WriteTranscriptEvent("frame", "frame " + std::to_string(frame) +
                                    (callback != nullptr ? ", next-frame callback" : ""));
  if (callback != nullptr) {
    callback(userData);
  }
}

LRESULT CALLBACK EngineWindowProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  if (message == WM_NCCREATE) {
    auto* create = reinterpret_cast<CREATESTRUCTW*>(lparam);
    SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
    return DefWindowProcW(window, message, wparam, lparam);
  }
  auto* engine = reinterpret_cast<FlutterDesktopEngine*>(GetWindowLongPtrW(window, GWLP_USERDATA));
  switch (message) {
    case kDeliverMessage:
      if (engine != nullptr) {
        DeliverQueuedMessage(engine, static_cast<uint64_t>(lparam));
      }
      return 0;
    case kDeliverAnswer:
      DeliverHostAnswer(static_cast<uint64_t>(lparam));
      return 0;
    case kDrawFrame:
      if (engine != nullptr) {
        DrawFrame(engine);
      }
      return 0;
    case WM_TIMER:
      if (wparam == kFirstFrameTimer) {
        KillTimer(window, kFirstFrameTimer);
        if (engine != nullptr) {
          DrawFrame(engine);
        }
      }
      return 0;
    case WM_CLOSE:
      return 0;  // Only teardown destroys the engine window.
    default:
      return DefWindowProcW(window, message, wparam, lparam);
  }
}

void RegisterWindowClasses() {
  static std::once_flag once;
  std::call_once(once, [] {
    WNDCLASSW engineClass = {};
    engineClass.lpfnWndProc = EngineWindowProc;
    engineClass.hInstance = ThisModule();
    engineClass.lpszClassName = kEngineWindowClass;
    RegisterClassW(&engineClass);
    WNDCLASSW viewClass = {};
    viewClass.style = CS_HREDRAW | CS_VREDRAW;
    viewClass.lpfnWndProc = ViewWindowProc;
    viewClass.hInstance = ThisModule();
    viewClass.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    viewClass.lpszClassName = kViewWindowClass;
    RegisterClassW(&viewClass);
  });
}

std::wstring CopyWide(const wchar_t* text) { return text != nullptr ? text : L"(null)"; }

void RecordProperties(const FlutterDesktopEngineProperties* properties) {
  State& state = TheState();
  std::lock_guard<std::mutex> lock(state.mutex);
  state.hasEngineRecord = true;
  EngineRecord& record = state.engineRecord;
  record = EngineRecord{};
  if (properties == nullptr) {
    return;
  }
  record.assetsPath = CopyWide(properties->assets_path);
  record.icuDataPath = CopyWide(properties->icu_data_path);
  record.aotLibraryPath = CopyWide(properties->aot_library_path);
  record.hasEntrypoint = properties->dart_entrypoint != nullptr;
  record.entrypoint = record.hasEntrypoint ? properties->dart_entrypoint : "";
  record.argvWasNull = properties->dart_entrypoint_argv == nullptr;
  if (!record.argvWasNull) {
    for (int32_t i = 0; i < properties->dart_entrypoint_argc; ++i) {
      const char* argument = properties->dart_entrypoint_argv[i];
      record.arguments.push_back(argument != nullptr ? argument : "(null)");
    }
  }
  record.argumentCount = properties->dart_entrypoint_argc;
  std::copy(std::begin(properties->engine_settings), std::end(properties->engine_settings),
            record.engineSettings);
  record.engineFlag = properties->engine_flag;
}

std::string DescribeRecord() {
  State& state = TheState();
  std::lock_guard<std::mutex> lock(state.mutex);
  const EngineRecord& record = state.engineRecord;
  std::string text = "assets=" + Utf8(record.assetsPath) + " icu=" + Utf8(record.icuDataPath) +
                     " aot=" + Utf8(record.aotLibraryPath) + " entrypoint=" +
                     (record.hasEntrypoint ? "\"" + record.entrypoint + "\"" : "null") +
                     " argc=" + std::to_string(record.argumentCount) + " argv=";
  if (record.argvWasNull) {
    return text + "null";
  }
  text += "[";
  for (size_t i = 0; i < record.arguments.size(); ++i) {
    text += (i != 0 ? ", \"" : "\"") + record.arguments[i] + "\"";
  }
  return text + "]";
}

}  // namespace

void DestroyEngine(FlutterDesktopEngine* engine) {
  State& state = TheState();
  StopScript(engine->serial);
  FlutterDesktopMessenger* messenger = engine->messenger;
  {
    // Waits for a reply that is being sent under FlutterDesktopMessengerLock.
    std::lock_guard<std::recursive_mutex> messengerLock(messenger->lock);
    messenger->engine = nullptr;
  }
  std::vector<std::string> unanswered;
  {
    std::lock_guard<std::mutex> lock(state.mutex);
    engine->callbacks.clear();
    for (auto& [id, message] : state.incoming) {
      if (message.engineSerial == engine->serial &&
          (message.state == MessageState::kQueued || message.state == MessageState::kDelivered)) {
        message.state = MessageState::kDropped;
      }
    }
    for (auto& handle : state.responseHandles) {
      if (handle->engineSerial == engine->serial) {
        handle->used = true;  // Answers after teardown count as errors.
      }
    }
    for (auto it = state.pendingHostReplies.begin(); it != state.pendingHostReplies.end();) {
      if (it->second.engineSerial == engine->serial) {
        unanswered.push_back(it->second.channel + " #" + std::to_string(it->first));
        it = state.pendingHostReplies.erase(it);
      } else {
        ++it;
      }
    }
    if (state.current == engine) {
      state.current = nullptr;
    }
  }
  state.changed.notify_all();
  for (const std::string& message : unanswered) {
    WriteTranscriptEvent("engine", "reply never given (engine destroyed): " + message);
  }
  DestroyWindow(engine->window);
  FlutterDesktopMessengerRelease(messenger);
  WriteTranscriptEvent("engine", "destroyed");
  std::lock_guard<std::mutex> lock(state.mutex);
  engine->alive = false;  // Kept as a dead marker.
  for (auto it = state.engines.rbegin(); state.current == nullptr && it != state.engines.rend();
       ++it) {
    if ((*it)->alive) {
      state.current = it->get();
    }
  }
}

}  // namespace stand_in

using stand_in::CountCall;
using stand_in::LogHostCall;
using stand_in::State;
using stand_in::TheState;
using stand_in::WriteTranscriptEvent;

FlutterDesktopEngineRef FlutterDesktopEngineCreate(
    const FlutterDesktopEngineProperties* engine_properties) {
  CountCall(__func__);
  stand_in::RecordProperties(engine_properties);
  State& state = TheState();
  bool fail = stand_in::EnvironmentSwitch(L"LUMERO_STANDIN_FAIL_ENGINE");
  {
    std::lock_guard<std::mutex> lock(state.mutex);
    LogHostCall(state, "EngineCreate");
    fail = fail || state.failEngineCreate;
    state.lastEngineCreateFailed = true;
  }
  if (fail) {
    WriteTranscriptEvent("engine", "creation refused (failure switch)");
    return nullptr;
  }
  stand_in::RegisterWindowClasses();
  auto engine = std::make_unique<FlutterDesktopEngine>();
  auto messenger = std::make_unique<FlutterDesktopMessenger>();
  engine->thread = GetCurrentThreadId();
  engine->messenger = messenger.get();
  messenger->engine = engine.get();
  messenger->thread = engine->thread;
  engine->window = CreateWindowExW(0, stand_in::kEngineWindowClass, L"", WS_OVERLAPPED, 0, 0, 0, 0,
                                   nullptr, nullptr, stand_in::ThisModule(), engine.get());
  if (engine->window == nullptr) {
    WriteTranscriptEvent("engine", "creation failed: no engine window");
    return nullptr;
  }
  FlutterDesktopEngine* created = engine.get();
  {
    std::lock_guard<std::mutex> lock(state.mutex);
    created->serial = state.nextSerial++;
    state.lastEngineCreateFailed = false;
    state.uiThread = created->thread;
    state.current = created;
    state.engines.push_back(std::move(engine));
    state.messengers.push_back(std::move(messenger));
  }
  WriteTranscriptEvent("engine", "created: " + stand_in::DescribeRecord());
  stand_in::StartScriptIfRequested(created->serial);
  return created;
}

bool FlutterDesktopEngineDestroy(FlutterDesktopEngineRef engine) {
  CountCall(__func__);
  State& state = TheState();
  FlutterDesktopEngine* live = nullptr;
  {
    std::lock_guard<std::mutex> lock(state.mutex);
    LogHostCall(state, "EngineDestroy");
    live = stand_in::LiveEngine(state, engine, __func__);
    if (live != nullptr && live->controller != nullptr) {
      stand_in::RecordError(state, state.handleErrors,
                            "FlutterDesktopEngineDestroy: adopted engine");
      live = nullptr;
    }
  }
  if (live == nullptr) {
    return false;
  }
  stand_in::DestroyEngine(live);
  return true;
}

FlutterDesktopPluginRegistrarRef FlutterDesktopEngineGetPluginRegistrar(
    FlutterDesktopEngineRef engine, const char* plugin_name) {
  CountCall(__func__);
  State& state = TheState();
  std::lock_guard<std::mutex> lock(state.mutex);
  LogHostCall(state,
              std::string("EngineGetPluginRegistrar ") + (plugin_name ? plugin_name : "(null)"));
  FlutterDesktopEngine* live = stand_in::LiveEngine(state, engine, __func__);
  if (live == nullptr || plugin_name == nullptr) {
    return nullptr;
  }
  std::unique_ptr<FlutterDesktopPluginRegistrar>& registrar = live->registrars[plugin_name];
  if (!registrar) {
    registrar = std::make_unique<FlutterDesktopPluginRegistrar>();
    registrar->name = plugin_name;
    registrar->engine = live;
  }
  return registrar.get();
}

void FlutterDesktopEngineSetNextFrameCallback(FlutterDesktopEngineRef engine,
                                              FlutterDesktopOnNextFrameCallback callback,
                                              void* user_data) {
  CountCall(__func__);
  State& state = TheState();
  std::lock_guard<std::mutex> lock(state.mutex);
  LogHostCall(state, "EngineSetNextFrameCallback");
  FlutterDesktopEngine* live = stand_in::LiveEngine(state, engine, __func__);
  if (live != nullptr) {
    live->nextFrame = callback;
    live->nextFrameData = user_data;
  }
}

void FlutterDesktopEngineReloadSystemFonts(FlutterDesktopEngineRef engine) {
  CountCall(__func__);
  State& state = TheState();
  std::lock_guard<std::mutex> lock(state.mutex);
  LogHostCall(state, "EngineReloadSystemFonts");
  if (stand_in::LiveEngine(state, engine, __func__) != nullptr) {
    WriteTranscriptEvent("engine", "system fonts reloaded");
  }
}

FlutterDesktopViewControllerRef FlutterDesktopViewControllerCreate(int width, int height,
                                                                   FlutterDesktopEngineRef engine) {
  CountCall(__func__);
  State& state = TheState();
  FlutterDesktopEngine* live = nullptr;
  bool fail = stand_in::EnvironmentSwitch(L"LUMERO_STANDIN_FAIL_VIEW_CONTROLLER");
  bool automaticFirstFrame = true;
  {
    std::lock_guard<std::mutex> lock(state.mutex);
    LogHostCall(state,
                "ViewControllerCreate " + std::to_string(width) + "x" + std::to_string(height));
    // The wrapper hands on the null of a failed engine creation; that alone is no error.
    if (engine != nullptr || !state.lastEngineCreateFailed) {
      live = stand_in::LiveEngine(state, engine, __func__);
    }
    if (live != nullptr && live->controller != nullptr) {
      stand_in::RecordError(state, state.handleErrors,
                            "FlutterDesktopViewControllerCreate: engine already adopted");
      live = nullptr;
    }
    fail = fail || state.failViewControllerCreate;
    automaticFirstFrame = state.automaticFirstFrame;
  }
  if (live == nullptr) {
    WriteTranscriptEvent("view", "creation failed: no engine");
    return nullptr;
  }
  HWND view = nullptr;
  if (!fail) {
    view = CreateWindowExW(0, stand_in::kViewWindowClass, L"", WS_CHILD | WS_VISIBLE, 0, 0, width,
                           height, live->window, nullptr, stand_in::ThisModule(), live);
  }
  if (view == nullptr) {
    // The engine was handed over; it goes with the failed controller.
    WriteTranscriptEvent(
        "view", fail ? "creation refused (failure switch)" : "creation failed: no view window");
    stand_in::DestroyEngine(live);
    return nullptr;
  }
  auto controller = std::make_unique<FlutterDesktopViewController>();
  controller->engine = live;
  controller->view.window = view;
  FlutterDesktopViewController* created = controller.get();
  {
    std::lock_guard<std::mutex> lock(state.mutex);
    live->controller = created;
    state.controllers.push_back(std::move(controller));
  }
  if (automaticFirstFrame) {
    // The first frame follows shortly, as a real engine's would.
    SetTimer(live->window, stand_in::kFirstFrameTimer, 30, nullptr);
  }
  WriteTranscriptEvent("view", "created " + std::to_string(width) + "x" + std::to_string(height));
  return created;
}

void FlutterDesktopViewControllerDestroy(FlutterDesktopViewControllerRef controller) {
  CountCall(__func__);
  State& state = TheState();
  FlutterDesktopViewController* live = nullptr;
  {
    std::lock_guard<std::mutex> lock(state.mutex);
    LogHostCall(state, "ViewControllerDestroy");
    live = stand_in::LiveController(state, controller, __func__);
    if (live == nullptr) {
      return;
    }
    live->alive = false;  // Kept as a dead marker.
    live->engine->controller = nullptr;
  }
  if (IsWindow(live->view.window)) {
    DestroyWindow(live->view.window);
  }
  stand_in::DestroyEngine(live->engine);
  WriteTranscriptEvent("view", "destroyed");
}

FlutterDesktopViewRef FlutterDesktopViewControllerGetView(
    FlutterDesktopViewControllerRef controller) {
  CountCall(__func__);
  State& state = TheState();
  std::lock_guard<std::mutex> lock(state.mutex);
  LogHostCall(state, "ViewControllerGetView");
  FlutterDesktopViewController* live = stand_in::LiveController(state, controller, __func__);
  return live != nullptr ? &live->view : nullptr;
}

bool FlutterDesktopViewControllerHandleTopLevelWindowProc(
    FlutterDesktopViewControllerRef controller, HWND window, UINT message, WPARAM wparam,
    LPARAM lparam, LRESULT* result) {
  CountCall(__func__);
  State& state = TheState();
  std::lock_guard<std::mutex> lock(state.mutex);
  const auto Hex = StandInHex;
  LogHostCall(state, "ViewControllerHandleTopLevelWindowProc " +
                         Hex(reinterpret_cast<uintptr_t>(window)) + " " + Hex(message) + " " +
                         Hex(wparam) + " " + Hex(static_cast<unsigned long long>(lparam)));
  if (stand_in::LiveController(state, controller, __func__) == nullptr) {
    return false;
  }
  if (!IsWindow(window) || GetAncestor(window, GA_ROOT) != window) {
    // Counted; the message is still treated as it would be, so the host sees no other change.
    stand_in::RecordError(state, state.handleErrors,
                          std::string(__func__) + ": not a top-level window " +
                              Hex(reinterpret_cast<uintptr_t>(window)));
  }
  ++state.topLevelMessageCounts[message];
  auto claimed = state.claimedTopLevelMessages.find(message);
  if (claimed == state.claimedTopLevelMessages.end()) {
    return false;
  }
  if (result != nullptr) {
    *result = claimed->second;
  }
  return true;
}

void FlutterDesktopViewControllerForceRedraw(FlutterDesktopViewControllerRef controller) {
  CountCall(__func__);
  State& state = TheState();
  HWND view = nullptr;
  HWND engineWindow = nullptr;
  {
    std::lock_guard<std::mutex> lock(state.mutex);
    LogHostCall(state, "ViewControllerForceRedraw");
    FlutterDesktopViewController* live = stand_in::LiveController(state, controller, __func__);
    if (live == nullptr) {
      return;
    }
    view = live->view.window;
    engineWindow = live->engine->window;
  }
  InvalidateRect(view, nullptr, FALSE);
  // The frame is reported from the message loop, as the engine's vsync would be.
  PostMessageW(engineWindow, stand_in::kDrawFrame, 0, 0);
}

HWND FlutterDesktopViewGetHWND(FlutterDesktopViewRef view) {
  CountCall(__func__);
  State& state = TheState();
  std::lock_guard<std::mutex> lock(state.mutex);
  LogHostCall(state, "ViewGetHWND");
  FlutterDesktopViewController* live = stand_in::ControllerOfView(state, view, __func__);
  return live != nullptr ? live->view.window : nullptr;
}

// Process-wide helpers: any thread may call them.
UINT FlutterDesktopGetDpiForMonitor(HMONITOR monitor) {
  CountCall(__func__);
  State& state = TheState();
  {
    std::lock_guard<std::mutex> lock(state.mutex);
    LogHostCall(state, "GetDpiForMonitor " + StandInHex(reinterpret_cast<uintptr_t>(monitor)));
    if (state.monitorDpi != 0) {
      return state.monitorDpi;
    }
  }
  if (std::optional<std::wstring> dpi = stand_in::EnvironmentText(L"LUMERO_STANDIN_DPI")) {
    const unsigned long value = std::wcstoul(dpi->c_str(), nullptr, 10);
    if (value != 0) {
      return static_cast<UINT>(value);
    }
  }
  HDC screen = GetDC(nullptr);
  const int dpi = GetDeviceCaps(screen, LOGPIXELSX);
  ReleaseDC(nullptr, screen);
  return dpi > 0 ? static_cast<UINT>(dpi) : 96;
}

void FlutterDesktopResyncOutputStreams(void) {
  CountCall(__func__);
  State& state = TheState();
  std::lock_guard<std::mutex> lock(state.mutex);
  LogHostCall(state, "ResyncOutputStreams");
}
