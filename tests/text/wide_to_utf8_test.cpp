#include "runner/wide_to_utf8.h"

#include <gtest/gtest.h>

#include <cwchar>
#include <string>

#include "runner/portable_wide_to_utf8.h"

// Every expectation here holds for WideCharToMultiByte (Windows build, under Wine) and for the
// portable conversion (native build) alike.
TEST(WideToUtf8, Conversions) {
  const std::string fffd = "\xef\xbf\xbd", grin = "\xf0\x9f\x98\x80";
  const struct {
    std::wstring wide;
    std::string utf8;
  } cases[] = {
      {L"", ""},
      {L"\u0105\u0107\u0119\u0142\u0144\u00f3\u015b\u017a\u017c: port",
       "\xc4\x85\xc4\x87\xc4\x99\xc5\x82\xc5\x84\xc3\xb3\xc5\x9b\xc5\xba\xc5\xbc: port"},
      // Encoding length boundaries, and an embedded NUL.
      {{0x7F, 0x80, 0x7FF, 0x800, 0xFFFF}, "\x7f\xc2\x80\xdf\xbf\xe0\xa0\x80\xef\xbf\xbf"},
      {std::wstring(L"a\0b", 3), std::string("a\0b", 3)},
      // Surrogate pairs join; unpaired surrogates become replacement characters.
      {{0xD83D, 0xDE00}, grin},
      {{0xD800, 0xDC00}, "\xf0\x90\x80\x80"},
      {{0xDBFF, 0xDFFF}, "\xf4\x8f\xbf\xbf"},
      {{L'a', 0xD800, L'b'}, "a" + fffd + "b"},
      {{L'a', 0xDC00}, "a" + fffd},
      {{L'x', 0xDBFF}, "x" + fffd},
      {{0xDE00, 0xD83D}, fffd + fffd},
      {{0xD83D, 0xD83D, 0xDE00}, fffd + grin},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.utf8);
    EXPECT_EQ(WideToUtf8(c.wide), c.utf8);
  }
#if WCHAR_MAX > 0xFFFF  // whole code points where wchar_t is wide
  EXPECT_EQ(PortableWideToUtf8({static_cast<wchar_t>(0x1F600)}), grin);
  EXPECT_EQ(PortableWideToUtf8({static_cast<wchar_t>(0x10FFFF)}), "\xf4\x8f\xbf\xbf");
  EXPECT_EQ(PortableWideToUtf8({static_cast<wchar_t>(0x110000)}), fffd);
#endif
}

#ifdef _WIN32
// The portable conversion must agree with WideCharToMultiByte, the behaviour it stands in for,
// on every unit.
TEST(PortableWideToUtf8, AgreesWithWideCharToMultiByte) {
  for (unsigned unit = 1; unit <= 0xFFFF; ++unit) {
    const std::wstring text = {L'<', static_cast<wchar_t>(unit), L'>'};
    ASSERT_EQ(PortableWideToUtf8(text), WideToUtf8(text)) << std::hex << unit;
  }
}
#endif
