#include "runner/meter_console/win32_console_output.h"

#include <windows.h>

#include <string>

#include "runner/meter_console/win32_utf8_to_wide.h"

namespace meter_console {

namespace {

void WriteLine(DWORD stream, const std::string& line) {
  const HANDLE handle = GetStdHandle(stream);
  if (handle == nullptr || handle == INVALID_HANDLE_VALUE) return;
  const std::string text = line + "\r\n";
  DWORD mode = 0;
  DWORD written = 0;
  if (GetConsoleMode(handle, &mode)) {
    const std::wstring wide = Utf8ToWide(text);
    WriteConsoleW(handle, wide.data(), static_cast<DWORD>(wide.size()), &written, nullptr);
  } else {
    WriteFile(handle, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
  }
}

}  // namespace

void Win32ConsoleOutput::Out(const std::string& line) { WriteLine(STD_OUTPUT_HANDLE, line); }

void Win32ConsoleOutput::Err(const std::string& line) { WriteLine(STD_ERROR_HANDLE, line); }

}  // namespace meter_console
