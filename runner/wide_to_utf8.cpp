// Away from Windows (native builds and their tests) the portable conversion stands in for
// WideCharToMultiByte.
#include "runner/wide_to_utf8.h"

#include "runner/portable_wide_to_utf8.h"

std::string WideToUtf8(const std::wstring& text) { return PortableWideToUtf8(text); }
