#include "tests/meter/win32_message_window.h"

#include <algorithm>

#include "runner/meter/ui_task_queue.h"

namespace meter_link {
namespace {

constexpr wchar_t kClassName[] = L"LUMERO_TEST_TASK_WINDOW";

LRESULT CALLBACK Procedure(HWND handle, UINT message, WPARAM wparam, LPARAM lparam) {
  if (RunQueuedTasks(message)) return 0;
  return DefWindowProcW(handle, message, wparam, lparam);
}

}  // namespace

MessageWindow::MessageWindow() {
  static const ATOM registered = [] {
    WNDCLASSW windowClass{};
    windowClass.lpfnWndProc = Procedure;
    windowClass.hInstance = GetModuleHandleW(nullptr);
    windowClass.lpszClassName = kClassName;
    return RegisterClassW(&windowClass);
  }();
  if (registered == 0) return;
  window = CreateWindowExW(0, kClassName, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                           GetModuleHandleW(nullptr), nullptr);
}

void MessageWindow::Destroy() {
  if (window != nullptr) DestroyWindow(window);
  window = nullptr;
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

}  // namespace meter_link
