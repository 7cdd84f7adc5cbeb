#include "runner/meter/error_text.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using meter_link::ComposeSystemErrorText;

TEST(ComposeSystemErrorText, NoSystemTextGivesTheCodeInDecimal) {
  EXPECT_EQ(ComposeSystemErrorText(nullptr, 0, 12345), L"b\u0142\u0105d 12345");
  const wchar_t text[] = L"ignored";
  EXPECT_EQ(ComposeSystemErrorText(text, 0, 4294967295u), L"b\u0142\u0105d 4294967295");
}

TEST(ComposeSystemErrorText, TrailingLineBreaksAndSpacesGoTheFullStopStays) {
  const std::wstring text = L"Odmowa dost\u0119pu.\r\n";
  EXPECT_EQ(ComposeSystemErrorText(text.data(), text.size(), 5), L"Odmowa dost\u0119pu.");
  const std::wstring messy = L"Line one\r\nline two. \r\n \n";
  EXPECT_EQ(ComposeSystemErrorText(messy.data(), messy.size(), 1), L"Line one\r\nline two.");
  const std::wstring blank = L" \r\n";
  EXPECT_EQ(ComposeSystemErrorText(blank.data(), blank.size(), 1), L"");
}

TEST(ComposeSystemErrorText, OnlyTheGivenLengthIsTaken) {
  const wchar_t text[] = L"Not ready.\r\nEXTRA";
  EXPECT_EQ(ComposeSystemErrorText(text, 12, 21), L"Not ready.");
}

}  // namespace
