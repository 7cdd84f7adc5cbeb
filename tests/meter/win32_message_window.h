#pragma once

#include <windows.h>

#include <algorithm>
#include <functional>

#include "runner/meter/ui_task_queue.h"

namespace meter_link {

// A hidden message-only window on the calling thread whose window procedure offers every message
// to RunQueuedTasks first, as the host window does.
class MessageWindow {
 public:
  MessageWindow() {
    static const ATOM registered = [] {
      WNDCLASSW windowClass{};
      windowClass.lpfnWndProc = [](HWND handle, UINT message, WPARAM wparam, LPARAM lparam) {
        return RunQueuedTasks(message) ? 0 : DefWindowProcW(handle, message, wparam, lparam);
      };
      windowClass.hInstance = GetModuleHandleW(nullptr);
      windowClass.lpszClassName = L"LUMERO_TEST_TASK_WINDOW";
      return RegisterClassW(&windowClass);
    }();
    if (registered == 0) return;
    window = CreateWindowExW(0, L"LUMERO_TEST_TASK_WINDOW", L"", 0, 0, 0, 0, 0, HWND_MESSAGE,
                             nullptr, GetModuleHandleW(nullptr), nullptr);
  }
  ~MessageWindow() { Destroy(); }
  MessageWindow(const MessageWindow&) = delete;
  MessageWindow& operator=(const MessageWindow&) = delete;

  HWND Handle() const { return window; }
  void Destroy() {  // now; the handle becomes invalid
    if (window != nullptr) DestroyWindow(window);
    window = nullptr;
  }

 private:
  HWND window = nullptr;
};

// Runs the calling thread's message loop until done() holds or timeoutMs pass; false on time-out.
inline bool PumpMessagesUntil(const std::function<bool()>& done, DWORD timeoutMs = 10000) {
  const ULONGLONG deadline = GetTickCount64() + timeoutMs;
  for (;;) {
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
      TranslateMessage(&message);
      DispatchMessageW(&message);
    }
    if (done()) return true;
    const ULONGLONG now = GetTickCount64();
    if (now >= deadline) return false;
    MsgWaitForMultipleObjects(0, nullptr, FALSE,
                              static_cast<DWORD>(std::min<ULONGLONG>(deadline - now, 20)),
                              QS_ALLINPUT);
  }
}

// Dispatches the calling thread's messages one at a time, checking done() after each, so that a
// test sees the state between two messages; false when done() still fails after 15 s.
inline bool DispatchEachUntil(const std::function<bool()>& done) {
  for (const ULONGLONG end = GetTickCount64() + 15000; !done();) {
    MSG message;
    if (GetTickCount64() > end) return false;
    MsgWaitForMultipleObjectsEx(0, nullptr, 20, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
    if (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&message);
  }
  return true;
}

}  // namespace meter_link
