#include "runner/diagnostics/log_line.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

constexpr size_t kLongestLine = kLogLineCapacity - 1;
// 42: the fixed part with a four-digit year (timestamp, " [INFO] miernik: ", CR LF).
constexpr size_t kLongestWholeMessage = kLongestLine - 42;
constexpr LogTime kSpring = {2025, 3, 2, 14, 3, 7, 45};

std::string Format(const std::string& message, const LogTime& time = kSpring) {
  char line[kLogLineCapacity];
  std::memset(line, '#', sizeof line);
  const size_t length = FormatLogLine(time, message.c_str(), line);
  EXPECT_LE(length, kLongestLine);
  EXPECT_EQ(line[length], '\0');
  return std::string(line, length);
}

std::string MessageOf(const std::string& line) {
  const std::string marker = " [INFO] miernik: ";
  const size_t start = line.find(marker);
  EXPECT_NE(start, std::string::npos);
  EXPECT_EQ(line.substr(line.size() - 2), "\r\n");
  return line.substr(start + marker.size(), line.size() - start - marker.size() - 2);
}

}  // namespace

TEST(FormatLogLine, TimestampLevelTagMessageAndLineEnd) {
  const struct {
    LogTime time;
    std::string message, line;
  } cases[] = {
      {kSpring,
       "start: wej\xc5\x9b"
       "cie",
       "2025-03-02 14:03:07.045 [INFO] miernik: start: wej\xc5\x9b"
       "cie\r\n"},
      {{2026, 12, 31, 23, 59, 59, 999},
       "p\xc4\x99tla: otwieram port",
       "2026-12-31 23:59:59.999 [INFO] miernik: p\xc4\x99tla: otwieram port\r\n"},
      {kSpring, "", "2025-03-02 14:03:07.045 [INFO] miernik: \r\n"},  // the fixed 42 bytes
  };
  for (const auto& c : cases) EXPECT_EQ(Format(c.message, c.time), c.line);
  EXPECT_EQ(Format("").size(), 42u);
  char line[kLogLineCapacity];
  EXPECT_EQ(FormatLogLine(kSpring, nullptr, line), 0u) << "a null message gives nothing";
}

// Mended: the log used to store the first 599 bytes without CR LF and glue the next line on.
TEST(FormatLogLine, OverlongMessageIsShortenedAndTheLineStillEnds) {
  const LogTime widest = {30827, 3, 2, 14, 3, 7, 45};  // the largest year a SYSTEMTIME holds
  const struct {
    std::string message;
    LogTime time;
    size_t kept;
  } cases[] = {
      {std::string(kLongestWholeMessage, 'x'), kSpring, kLongestWholeMessage},  // whole
      {std::string(kLongestWholeMessage + 1, 'y'), kSpring, kLongestWholeMessage},
      {std::string(600, 'y'), kSpring, kLongestWholeMessage},
      {std::string(5000, 'y'), kSpring, kLongestWholeMessage},
      {std::string(1000, '\x80'), kSpring, kLongestWholeMessage},  // invalid UTF-8: cut at budget
      {std::string(kLongestWholeMessage, 'z'), widest, kLongestWholeMessage - 1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.message.size());
    const std::string line = Format(c.message, c.time);
    EXPECT_EQ(line.size(), kLongestLine);
    EXPECT_EQ(MessageOf(line), c.message.substr(0, c.kept));
  }
  EXPECT_EQ(Format("", widest).substr(0, 25), "30827-03-02 14:03:07.045 ");
}

TEST(FormatLogLine, ShorteningNeverSplitsAUtf8Character) {
  // Two-, three- and four-byte characters placed at every position around the cut.
  for (const std::string character : {"\xc4\x99", "\xe2\x82\xac", "\xf0\x9f\x98\x80"}) {
    for (size_t start = kLongestWholeMessage - 4; start <= kLongestWholeMessage; ++start) {
      SCOPED_TRACE(character.size() * 1000 + start);
      const std::string message = std::string(start, 'a') + character + std::string(50, 'b');
      const std::string kept = MessageOf(Format(message));
      const bool fits = start + character.size() <= kLongestWholeMessage;
      EXPECT_EQ(kept.size(), fits ? kLongestWholeMessage : start);
      EXPECT_EQ(kept, message.substr(0, kept.size()));
    }
  }
}
