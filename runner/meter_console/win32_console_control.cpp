#include "runner/meter_console/win32_console_control.h"

#include <atomic>

namespace meter_console {

namespace {
// Written on the loop's thread, read on the thread Windows runs the routine on.
std::atomic<HWND> interruptWindow{nullptr};
}  // namespace

BOOL WINAPI MeterConsoleControlRoutine(DWORD controlEvent) {
  if (controlEvent != CTRL_C_EVENT && controlEvent != CTRL_BREAK_EVENT) return FALSE;
  const HWND window = interruptWindow.load();
  // Only a post: Stop joins the acquisition thread and belongs on the loop's thread. If the post
  // fails, the default handling still ends the process rather than leaving Ctrl-C unanswered.
  return window != nullptr && PostMessageW(window, kInterruptMessage, 0, 0) ? TRUE : FALSE;
}

ConsoleInterruptRoute::ConsoleInterruptRoute(HWND window) {
  interruptWindow.store(window);
  SetConsoleCtrlHandler(MeterConsoleControlRoutine, TRUE);
}

ConsoleInterruptRoute::~ConsoleInterruptRoute() {
  SetConsoleCtrlHandler(MeterConsoleControlRoutine, FALSE);
  interruptWindow.store(nullptr);
}

}  // namespace meter_console
