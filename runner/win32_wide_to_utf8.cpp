#include <windows.h>

#include <climits>

#include "runner/wide_to_utf8.h"

std::string WideToUtf8(const std::wstring& text) {
  if (text.empty() || text.size() > static_cast<size_t>(INT_MAX)) return std::string();
  const int length = static_cast<int>(text.size());
  const int size =
      WideCharToMultiByte(CP_UTF8, 0, text.data(), length, nullptr, 0, nullptr, nullptr);
  if (size <= 0) return std::string();
  std::string out(static_cast<size_t>(size), '\0');
  const int written =
      WideCharToMultiByte(CP_UTF8, 0, text.data(), length, &out[0], size, nullptr, nullptr);
  if (written <= 0) return std::string();
  out.resize(static_cast<size_t>(written));
  return out;
}
