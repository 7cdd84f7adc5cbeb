#include "runner/diagnostics/native_log.h"

#include <windows.h>

#include "runner/diagnostics/log_line.h"
#include "runner/never_destroyed.h"
#include "runner/win32_unique_handle.h"

namespace {

// The base folder of the log comes from a buffer of this many wide characters.
constexpr DWORD kBaseFolderCapacity = 520;

// Computed once, on the first line that is really written; the others wait for it. Never
// destroyed: threads still log while the process exits.
const std::wstring& StoredLogFilePath() {
  static NeverDestroyed<std::wstring> path(LogFilePath());
  return path.get();
}

}  // namespace

std::wstring LogFilePath() {
  wchar_t buffer[kBaseFolderCapacity] = {};
  const DWORD count = GetEnvironmentVariableW(L"LOCALAPPDATA", buffer, kBaseFolderCapacity);
  // 0: missing; kBaseFolderCapacity or more: too long, the count is the size it would need.
  const std::wstring base =
      count >= 1 && count < kBaseFolderCapacity ? std::wstring(buffer, count) : L".";
  const std::wstring appFolder = base + L"\\Lumerovantix";
  CreateDirectoryW(appFolder.c_str(), nullptr);
  const std::wstring logFolder = appFolder + L"\\logi";
  CreateDirectoryW(logFolder.c_str(), nullptr);
  return logFolder + L"\\app.log";
}

void LogMessage(const char* message) {
  if (message == nullptr) return;
  SYSTEMTIME now;
  GetLocalTime(&now);
  LogTime time;
  time.year = now.wYear;
  time.month = now.wMonth;
  time.day = now.wDay;
  time.hour = now.wHour;
  time.minute = now.wMinute;
  time.second = now.wSecond;
  time.milliseconds = now.wMilliseconds;
  char line[kLogLineCapacity];
  const size_t length = FormatLogLine(time, message, line);
  if (length < 1) return;

  // Append-data access alone puts every write at the end of the file, so whole lines from
  // several threads and processes never interleave. Nothing stays open between lines.
  const UniqueFileHandle file(CreateFileW(StoredLogFilePath().c_str(), FILE_APPEND_DATA,
                                          FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                                          FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) return;
  DWORD written = 0;
  WriteFile(file.get(), line, static_cast<DWORD>(length), &written, nullptr);
}
