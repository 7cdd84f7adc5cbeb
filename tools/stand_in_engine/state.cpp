#include "tools/stand_in_engine/state.h"

#include <algorithm>
#include <chrono>

#include "tools/stand_in_engine/environment.h"
#include "tools/stand_in_engine/script_runner.h"
#include "tools/stand_in_engine/transcript.h"

namespace stand_in {

State::~State() {
  if (script) {
    script->AbandonAtExit();
  }
}

State& TheState() {
  static State state;
  static const bool recordsRead = [] {
    std::optional<std::wstring> records = EnvironmentText(L"LUMERO_STANDIN_RECORDS");
    state.keepRecords = !(records && *records == L"0");
    return true;
  }();
  static_cast<void>(recordsRead);
  return state;
}

void CountCall(const char* function) {
  State& state = TheState();
  std::lock_guard<std::mutex> lock(state.mutex);
  ++state.callCounts[function];
}

bool WaitUntil(const std::function<bool()>& condition, unsigned timeoutMs,
               const std::function<bool()>& stop) {
  State& state = TheState();
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  std::unique_lock<std::mutex> lock(state.mutex);
  const bool onUiThread = state.uiThread != 0 && state.uiThread == GetCurrentThreadId();
  if (!onUiThread) {
    state.changed.wait_until(lock, deadline, [&] { return condition() || (stop && stop()); });
    return condition();
  }
  bool quit = false;
  while (true) {
    if (condition()) {
      return true;
    }
    if (stop && stop()) {
      return false;
    }
    const auto now = std::chrono::steady_clock::now();
    if (now >= deadline) {
      return false;
    }
    const auto remaining =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - now).count();
    const DWORD slice = static_cast<DWORD>(std::min<long long>(remaining, 20));
    lock.unlock();
    if (quit) {
      Sleep(slice);
    } else {
      MsgWaitForMultipleObjects(0, nullptr, FALSE, slice, QS_ALLINPUT);
      MSG message;
      while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
        if (message.message == WM_QUIT) {
          // Left for the caller's own loop; nothing more is dispatched here.
          PostQuitMessage(static_cast<int>(message.wParam));
          quit = true;
          break;
        }
        TranslateMessage(&message);
        DispatchMessageW(&message);
      }
    }
    lock.lock();
  }
}

uint64_t QueueToHost(const std::string& channel, const uint8_t* bytes, size_t size) {
  State& state = TheState();
  HWND window = nullptr;
  uint64_t id = 0;
  {
    std::lock_guard<std::mutex> lock(state.mutex);
    id = state.nextMessageId++;
    IncomingMessage& message = state.incoming[id];
    message.channel = channel;
    message.bytes.assign(bytes, bytes + size);
    if (state.current != nullptr) {
      message.engineSerial = state.current->serial;
      window = state.current->window;
    } else {
      message.state = MessageState::kDropped;
    }
  }
  if (window != nullptr && PostMessageW(window, kDeliverMessage, 0, static_cast<LPARAM>(id))) {
    return id;
  }
  {
    std::lock_guard<std::mutex> lock(state.mutex);
    state.incoming[id].state = MessageState::kDropped;
  }
  state.changed.notify_all();
  WriteTranscriptMessage(channel, "dropped#" + std::to_string(id), bytes, size, true);
  return id;
}

bool CloseViewWindow() {
  State& state = TheState();
  HWND view = nullptr;
  HWND engineWindow = nullptr;
  {
    std::lock_guard<std::mutex> lock(state.mutex);
    if (state.current == nullptr || state.current->controller == nullptr) {
      return false;
    }
    view = state.current->controller->view.window;
    engineWindow = state.current->window;
  }
  HWND root = GetAncestor(view, GA_ROOT);
  if (root == nullptr || root == engineWindow) {
    return false;  // The host has not adopted the view; there is no window of its to close.
  }
  WriteTranscriptEvent("close", "WM_CLOSE posted to the top-level window");
  return PostMessageW(root, WM_CLOSE, 0, 0) != FALSE;
}

}  // namespace stand_in
