#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace meter_link {

// The message the user sees for a system error code: the system's own text without its trailing
// line breaks and spaces (its final full stop stays), or "błąd " and the code when the system
// has no text (systemText null or length 0).
std::wstring ComposeSystemErrorText(const wchar_t* systemText, size_t length, uint32_t code);

}  // namespace meter_link
