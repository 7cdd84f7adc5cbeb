#include "runner/wide_to_utf8.h"

#include <gtest/gtest.h>

#include <random>
#include <string>

#include "runner/portable_wide_to_utf8.h"

// Every expectation here holds for WideCharToMultiByte (Windows build, under Wine) and for the
// portable conversion (native build) alike.

TEST(WideToUtf8, PolishLettersAndPortNames) {
  EXPECT_EQ(WideToUtf8(L"COM7"), "COM7");
  EXPECT_EQ(WideToUtf8(L"\u0105\u0107\u0119\u0142\u0144\u00f3\u015b\u017a\u017c"),
            "\xc4\x85\xc4\x87\xc4\x99\xc5\x82\xc5\x84\xc3\xb3\xc5\x9b\xc5\xba\xc5\xbc");
  EXPECT_EQ(WideToUtf8(L"\u0104\u0106\u0118\u0141\u0143\u00d3\u015a\u0179\u017b"),
            "\xc4\x84\xc4\x86\xc4\x98\xc5\x81\xc5\x83\xc3\x93\xc5\x9a\xc5\xb9\xc5\xbb");
  EXPECT_EQ(WideToUtf8(L"p\u0119tla: otwieram port"), "p\xc4\x99tla: otwieram port");
}

TEST(WideToUtf8, EmptyInputGivesEmptyOutput) { EXPECT_EQ(WideToUtf8(std::wstring()), ""); }

TEST(WideToUtf8, EncodingLengthBoundaries) {
  const std::wstring text = {0x7F, 0x80, 0x7FF, 0x800, 0xFFFF};
  EXPECT_EQ(WideToUtf8(text), "\x7f\xc2\x80\xdf\xbf\xe0\xa0\x80\xef\xbf\xbf");
  EXPECT_EQ(WideToUtf8(std::wstring(L"a\0b", 3)), std::string("a\0b", 3));
}

TEST(WideToUtf8, SurrogatePairsJoin) {
  const std::wstring grin = {0xD83D, 0xDE00};
  EXPECT_EQ(WideToUtf8(grin), "\xf0\x9f\x98\x80");
  const std::wstring first = {0xD800, 0xDC00};
  EXPECT_EQ(WideToUtf8(first), "\xf0\x90\x80\x80");
  const std::wstring last = {0xDBFF, 0xDFFF};
  EXPECT_EQ(WideToUtf8(last), "\xf4\x8f\xbf\xbf");
}

TEST(WideToUtf8, UnpairedSurrogatesBecomeReplacementCharacters) {
  const std::string fffd = "\xef\xbf\xbd";
  const std::wstring loneHigh = {L'a', 0xD800, L'b'};
  EXPECT_EQ(WideToUtf8(loneHigh), "a" + fffd + "b");
  const std::wstring loneLow = {L'a', 0xDC00};
  EXPECT_EQ(WideToUtf8(loneLow), "a" + fffd);
  const std::wstring highAtEnd = {L'x', 0xDBFF};
  EXPECT_EQ(WideToUtf8(highAtEnd), "x" + fffd);
  const std::wstring reversed = {0xDE00, 0xD83D};
  EXPECT_EQ(WideToUtf8(reversed), fffd + fffd);
  const std::wstring twoHighs = {0xD83D, 0xD83D, 0xDE00};
  EXPECT_EQ(WideToUtf8(twoHighs), fffd + "\xf0\x9f\x98\x80");
}

TEST(PortableWideToUtf8, TakesWholeCodePointsWhereWcharIsWide) {
  if (sizeof(wchar_t) < 4) GTEST_SKIP() << "wchar_t holds UTF-16 units here";
  EXPECT_EQ(PortableWideToUtf8(std::wstring(1, static_cast<wchar_t>(0x1F600))), "\xf0\x9f\x98\x80");
  EXPECT_EQ(PortableWideToUtf8(std::wstring(1, static_cast<wchar_t>(0x10FFFF))),
            "\xf4\x8f\xbf\xbf");
  EXPECT_EQ(PortableWideToUtf8(std::wstring(1, static_cast<wchar_t>(0x110000))), "\xef\xbf\xbd");
}

#ifdef _WIN32

// The portable conversion must agree with WideCharToMultiByte, the behaviour it stands in for.
TEST(PortableWideToUtf8, AgreesWithWideCharToMultiByte) {
  for (unsigned unit = 1; unit <= 0xFFFF; ++unit) {
    const std::wstring text = {L'<', static_cast<wchar_t>(unit), L'>'};
    ASSERT_EQ(PortableWideToUtf8(text), WideToUtf8(text)) << std::hex << unit;
  }
  // Random strings rich in surrogates, in every order.
  std::mt19937 random(20250302);
  const wchar_t pool[] = {L'a', 0x0105, 0x20AC, 0xD800, 0xDBFF, 0xDC00, 0xDFFF, 0xD83D, 0xDE00};
  std::uniform_int_distribution<size_t> pick(0, sizeof pool / sizeof pool[0] - 1);
  std::uniform_int_distribution<int> length(1, 8);
  for (int round = 0; round < 5000; ++round) {
    std::wstring text;
    for (int n = length(random); n > 0; --n) text += pool[pick(random)];
    ASSERT_EQ(PortableWideToUtf8(text), WideToUtf8(text)) << round;
  }
}

#endif
