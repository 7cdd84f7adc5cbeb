#include <fcntl.h>
#include <io.h>
#include <objbase.h>
#include <windows.h>

#include <cstdio>
#include <iostream>

#include "channels/engine_project.h"
#include "channels/flutter_windows.h"
#include "runner/win32_command_line.h"
#include "runner/win32_flutter_window.h"

namespace {

// A console of the process's own, with the standard streams (ours and the engine's) in it.
void OpenDebugConsole() {
  if (!AllocConsole()) return;
  FILE* stream = nullptr;
  if (freopen_s(&stream, "CONOUT$", "w", stdout) != 0) _dup2(_fileno(stdout), 1);
  if (freopen_s(&stream, "CONOUT$", "w", stderr) != 0) _dup2(_fileno(stdout), 2);
  std::ios::sync_with_stdio(true);
  FlutterDesktopResyncOutputStreams();
}

}  // namespace

// Annotated as the SDK declares it, which MSVC checks (C28251).
int APIENTRY wWinMain(_In_ HINSTANCE, _In_opt_ HINSTANCE, _In_ wchar_t*, _In_ int) {
  // A parent's console is used as it is; only a debugger without one gets a new console.
  if (!AttachConsole(ATTACH_PARENT_PROCESS) && IsDebuggerPresent()) OpenDebugConsole();
  CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);

  EngineProject project(L"data");
  project.entrypointArguments = CommandLineArgs();

  FlutterWindow window(project);
  if (!window.Create(L"Lumerovantix", {10, 10}, {1440, 900})) return 1;
  window.SetQuitWhenClosed(true);

  MSG message;
  while (GetMessageW(&message, nullptr, 0, 0)) {
    TranslateMessage(&message);
    DispatchMessageW(&message);
  }
  CoUninitialize();
  return 0;
}
