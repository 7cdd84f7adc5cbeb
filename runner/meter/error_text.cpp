#include "runner/meter/error_text.h"

namespace meter_link {

std::wstring ComposeSystemErrorText(const wchar_t* systemText, size_t length, uint32_t code) {
  std::wstring text = (systemText != nullptr && length > 0)
                          ? std::wstring(systemText, length)
                          : L"b\u0142\u0105d " + std::to_wstring(code);
  while (!text.empty() && (text.back() == L'\r' || text.back() == L'\n' || text.back() == L' ')) {
    text.pop_back();
  }
  return text;
}

}  // namespace meter_link
