#include "tests/meter/win32/message_window.h"

#include <algorithm>

#include "runner/meter/ui_task_queue.h"

namespace {

constexpr wchar_t kClassName[] = L"LUMERO_TEST_TASK_WINDOW";

void RegisterClassOnce() {
  static const ATOM atom = [] {
    WNDCLASSW windowClass{};
    windowClass.lpfnWndProc = DefWindowProcW;
    windowClass.hInstance = GetModuleHandleW(nullptr);
    windowClass.lpszClassName = kClassName;
    return RegisterClassW(&windowClass);
  }();
  (void)atom;
}

}  // namespace

MessageWindow::MessageWindow() {
  RegisterClassOnce();
  window = CreateWindowExW(0, kClassName, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                           GetModuleHandleW(nullptr), nullptr);
  if (window != nullptr) {
    SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    SetWindowLongPtrW(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&Procedure));
  }
}

MessageWindow::~MessageWindow() { Destroy(); }

void MessageWindow::Destroy() {
  if (window != nullptr) DestroyWindow(window);
  window = nullptr;
}

LRESULT CALLBACK MessageWindow::Procedure(HWND handle, UINT message, WPARAM wparam, LPARAM lparam) {
  auto* self = reinterpret_cast<MessageWindow*>(GetWindowLongPtrW(handle, GWLP_USERDATA));
  if (meter_link::RunQueuedTasks(message)) {
    if (self != nullptr) {
      ++self->wakeUps;
      if (self->afterWakeUp) self->afterWakeUp();
    }
    return 0;
  }
  return DefWindowProcW(handle, message, wparam, lparam);
}

bool PumpMessagesUntil(const std::function<bool()>& done, DWORD timeoutMs) {
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
