#include "runner/diagnostics/log_line.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

// Lines stay below 600 bytes; 42: the fixed part (timestamp, " [INFO] miernik: ", CR LF).
constexpr size_t kLongestWholeMessage = kLogLineCapacity - 1 - 42;
constexpr LogTime kSpring = {2025, 3, 2, 14, 3, 7, 45};
const std::string kSpringHead = "2025-03-02 14:03:07.045 [INFO] miernik: ";

std::string Format(const std::string& message, const LogTime& time = kSpring) {
  char line[kLogLineCapacity];
  std::memset(line, '#', sizeof line);
  const size_t length = FormatLogLine(time, message.c_str(), line);
  EXPECT_EQ(line[length], '\0');
  return std::string(line, length);
}

}  // namespace

// Mended: an over-long message used to leave the first 599 bytes without CR LF, so the log glued
// the next line on.
TEST(FormatLogLine, TimestampLevelTagMessageAndLineEndAlsoWhenShortened) {
  const std::string longest(kLongestWholeMessage, 'y');
  const struct {
    LogTime time;
    std::string message, line;
  } cases[] = {
      {kSpring, "start: wej\u015bcie", kSpringHead + "start: wej\u015bcie\r\n"},
      {{2026, 12, 31, 23, 59, 59, 999},
       "p\xc4\x99tla: otwieram port",
       "2026-12-31 23:59:59.999 [INFO] miernik: p\xc4\x99tla: otwieram port\r\n"},
      {kSpring, "", kSpringHead + "\r\n"},                 // the fixed 42 bytes
      {kSpring, longest, kSpringHead + longest + "\r\n"},  // 599 bytes: whole
      {kSpring, std::string(5000, 'y'), kSpringHead + longest + "\r\n"},
      // Not UTF-8 at all: cut at the budget.
      {kSpring, std::string(1000, '\x80'),
       kSpringHead + std::string(kLongestWholeMessage, '\x80') + "\r\n"},
      // The largest year a SYSTEMTIME holds widens the timestamp; the message gives way.
      {{30827, 3, 2, 14, 3, 7, 45},
       longest,
       "30827-03-02 14:03:07.045 [INFO] miernik: " + longest.substr(1) + "\r\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.message.size());
    EXPECT_EQ(Format(c.message, c.time), c.line);
  }
  char line[kLogLineCapacity];
  EXPECT_EQ(FormatLogLine(kSpring, nullptr, line), 0u) << "a null message gives nothing";
}

TEST(FormatLogLine, ShorteningNeverSplitsAUtf8Character) {
  // Two-, three- and four-byte characters placed at every position around the cut.
  for (const std::string character : {"\xc4\x99", "\xe2\x82\xac", "\xf0\x9f\x98\x80"}) {
    for (size_t start = kLongestWholeMessage - 4; start <= kLongestWholeMessage; ++start) {
      SCOPED_TRACE(character.size() * 1000 + start);
      const std::string message = std::string(start, 'a') + character + std::string(50, 'b');
      const bool fits = start + character.size() <= kLongestWholeMessage;
      const size_t kept = fits ? kLongestWholeMessage : start;
      EXPECT_EQ(Format(message), kSpringHead + message.substr(0, kept) + "\r\n");
    }
  }
}
