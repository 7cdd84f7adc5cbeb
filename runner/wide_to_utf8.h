#pragma once

#include <string>

// UTF-16 (wide) to UTF-8; unpaired surrogates become U+FFFD, an empty or failed conversion gives
// an empty string.
std::string WideToUtf8(const std::wstring& text);
