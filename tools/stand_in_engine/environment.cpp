#include "tools/stand_in_engine/environment.h"

#include <windows.h>

#include <vector>

namespace stand_in {

std::optional<std::wstring> EnvironmentText(const wchar_t* name) {
  const DWORD needed = GetEnvironmentVariableW(name, nullptr, 0);
  if (needed == 0) {
    return std::nullopt;
  }
  std::vector<wchar_t> buffer(needed);
  const DWORD length = GetEnvironmentVariableW(name, buffer.data(), needed);
  if (length == 0 || length >= needed) {
    return std::nullopt;
  }
  return std::wstring(buffer.data(), length);
}

bool EnvironmentSwitch(const wchar_t* name) {
  std::optional<std::wstring> value = EnvironmentText(name);
  return value && *value == L"1";
}

std::string Utf8(const std::wstring& text) {
  if (text.empty()) {
    return "";
  }
  const int size = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()),
                                       nullptr, 0, nullptr, nullptr);
  if (size <= 0) {
    return "";
  }
  std::string result(static_cast<size_t>(size), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), result.data(), size,
                      nullptr, nullptr);
  return result;
}

std::wstring Wide(const std::string& utf8) {
  if (utf8.empty()) {
    return L"";
  }
  const int size =
      MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
  if (size <= 0) {
    return L"";
  }
  std::wstring result(static_cast<size_t>(size), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), result.data(), size);
  return result;
}

}  // namespace stand_in
