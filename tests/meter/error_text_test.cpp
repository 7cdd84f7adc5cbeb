#include "runner/meter/error_text.h"

#include <gtest/gtest.h>

#include <string>
#include <tuple>

namespace meter_link {
namespace {

TEST(ComposeSystemErrorText, TrimsTheSystemTextOrFallsBackToTheCode) {
  // Only the given length is taken; none at all means the system has no text.
  const std::tuple<std::wstring, size_t, std::wstring> cases[] = {
      {L"", 0, L"b\u0142\u0105d 4294967295"},
      {L"ignored", 0, L"b\u0142\u0105d 4294967295"},
      {L"Odmowa dost\u0119pu.\r\n", 17, L"Odmowa dost\u0119pu."},
      {L"Line one\r\nline two. \r\n \n", 24, L"Line one\r\nline two."},
      {L" \r\n", 3, L""},
      {L"Not ready.\r\nEXTRA", 12, L"Not ready."},
  };
  for (const auto& [text, length, expected] : cases) {
    EXPECT_EQ(ComposeSystemErrorText(text.data(), length, 4294967295u), expected);
  }
}

}  // namespace
}  // namespace meter_link
