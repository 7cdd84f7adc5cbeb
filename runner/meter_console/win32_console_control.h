#pragma once

#include <windows.h>

namespace meter_console {

// Posted to the read command's window when the user presses Ctrl-C or Ctrl-Break.
constexpr UINT kInterruptMessage = WM_APP + 1;

// The tool's console-control routine; Windows calls it on a thread of its own. For Ctrl-C and
// Ctrl-Break while a read runs it only posts kInterruptMessage and reports the event handled;
// anything else gets the default handling (the process ends).
BOOL WINAPI MeterConsoleControlRoutine(DWORD controlEvent);

// While alive: the routine is installed and sends Ctrl-C to window.
class ConsoleInterruptRoute {
 public:
  explicit ConsoleInterruptRoute(HWND window);
  ~ConsoleInterruptRoute();
  ConsoleInterruptRoute(const ConsoleInterruptRoute&) = delete;
  ConsoleInterruptRoute& operator=(const ConsoleInterruptRoute&) = delete;
};

}  // namespace meter_console
