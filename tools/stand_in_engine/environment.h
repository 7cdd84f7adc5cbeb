#pragma once

#include <optional>
#include <string>

namespace stand_in {

// A variable of the process environment, or none when it is not set.
std::optional<std::wstring> EnvironmentText(const wchar_t* name);
// True when the variable is set to "1".
bool EnvironmentSwitch(const wchar_t* name);
// Wide to UTF-8 (for the transcript) and back.
std::string Utf8(const std::wstring& text);
std::wstring Wide(const std::string& utf8);

}  // namespace stand_in
