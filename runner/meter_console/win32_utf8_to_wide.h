#pragma once

#include <string>

namespace meter_console {

// UTF-8 to UTF-16 for Win32 calls; invalid bytes become U+FFFD, a failed conversion is empty.
std::wstring Utf8ToWide(const std::string& text);

}  // namespace meter_console
