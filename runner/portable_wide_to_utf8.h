#pragma once

#include <string>

// UTF-8 from a sequence of UTF-16 code units held in wchar_t, behaving like WideCharToMultiByte
// with CP_UTF8 and flags 0: a high surrogate followed by a low one is one character, any other
// surrogate, and any unit above U+10FFFF (possible where wchar_t is 32 bits), becomes U+FFFD.
// Lets portable code and the native tests convert without Win32.
std::string PortableWideToUtf8(const std::wstring& text);
