#include "runner/win32_command_line.h"

#include <windows.h>
// After windows.h, which it needs.
#include <shellapi.h>

#include <cwchar>

namespace {
// The longest argument a Windows command line can carry.
constexpr size_t kMaxArgumentUnits = 0x7FFF;
}  // namespace

std::vector<std::string> CommandLineArgs() {
  int count = 0;
  wchar_t** arguments = CommandLineToArgvW(GetCommandLineW(), &count);
  if (arguments == nullptr) return {};
  std::vector<std::string> result;
  for (int i = 1; i < count; ++i) result.push_back(ArgumentToUtf8(arguments[i]));
  LocalFree(arguments);
  return result;
}

std::string ArgumentToUtf8(const wchar_t* text) {
  if (text == nullptr) return {};
  const int length = static_cast<int>(wcsnlen(text, kMaxArgumentUnits));
  const int size = WideCharToMultiByte(CP_UTF8, WC_ERR_INVALID_CHARS, text, length, nullptr, 0,
                                       nullptr, nullptr);
  if (size == 0) return {};
  std::string utf8(static_cast<size_t>(size), '\0');
  if (WideCharToMultiByte(CP_UTF8, WC_ERR_INVALID_CHARS, text, length, utf8.data(), size, nullptr,
                          nullptr) == 0) {
    return {};
  }
  return utf8;
}
