#pragma once

#include <string>
#include <vector>

// The arguments after the program name, as UTF-8; one that does not convert stays in its place
// as an empty string. Empty when the command line cannot be split.
std::vector<std::string> CommandLineArgs();

// Strict UTF-16 to UTF-8 of a NUL-terminated text, cut to its first 32767 units; invalid UTF-16
// (an unpaired surrogate) and null give an empty string.
std::string ArgumentToUtf8(const wchar_t* text);
