#include "runner/meter/error_text.h"

#include <gtest/gtest.h>

#include <string>

namespace meter_link {
namespace {

TEST(ComposeSystemErrorText, TrimsTheSystemTextOrFallsBackToTheCode) {
  const size_t kWhole = std::wstring::npos;
  const struct {
    std::wstring text;
    size_t length;
    std::wstring expected;
  } cases[] = {
      {L"", 0, L"b\u0142\u0105d 4294967295"},
      {L"ignored", 0, L"b\u0142\u0105d 4294967295"},
      {L"Odmowa dost\u0119pu.\r\n", kWhole, L"Odmowa dost\u0119pu."},
      {L"Line one\r\nline two. \r\n \n", kWhole, L"Line one\r\nline two."},
      {L" \r\n", kWhole, L""},
      {L"Not ready.\r\nEXTRA", 12, L"Not ready."},  // only the given length is taken
  };
  for (const auto& c : cases) {
    const size_t length = c.length == kWhole ? c.text.size() : c.length;
    EXPECT_EQ(ComposeSystemErrorText(c.text.data(), length, 4294967295u), c.expected);
  }
}

}  // namespace
}  // namespace meter_link
