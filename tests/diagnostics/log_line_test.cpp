#include "runner/diagnostics/log_line.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

// The fixed part of a line with a four-digit year: timestamp, " [INFO] miernik: ", CR LF.
constexpr size_t kFixedLength = 42;
constexpr size_t kLongestLine = kLogLineCapacity - 1;
constexpr size_t kLongestWholeMessage = kLongestLine - kFixedLength;  // 557

LogTime SpringMorning() {
  LogTime time;
  time.year = 2025;
  time.month = 3;
  time.day = 2;
  time.hour = 14;
  time.minute = 3;
  time.second = 7;
  time.milliseconds = 45;
  return time;
}

std::string Format(const std::string& message, const LogTime& time = SpringMorning()) {
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
  EXPECT_EQ(Format("start: wej\xc5\x9b"
                   "cie"),
            "2025-03-02 14:03:07.045 [INFO] miernik: start: wej\xc5\x9b"
            "cie\r\n");
  LogTime time;
  time.year = 2026;
  time.month = 12;
  time.day = 31;
  time.hour = 23;
  time.minute = 59;
  time.second = 59;
  time.milliseconds = 999;
  EXPECT_EQ(Format("p\xc4\x99tla: otwieram port", time),
            "2026-12-31 23:59:59.999 [INFO] miernik: p\xc4\x99tla: otwieram port\r\n");
}

TEST(FormatLogLine, EmptyMessageGivesTheFixedPartOnly) {
  EXPECT_EQ(Format(""), "2025-03-02 14:03:07.045 [INFO] miernik: \r\n");
  EXPECT_EQ(Format("").size(), kFixedLength);
}

TEST(FormatLogLine, NullMessageGivesNothing) {
  char line[kLogLineCapacity];
  EXPECT_EQ(FormatLogLine(SpringMorning(), nullptr, line), 0u);
}

TEST(FormatLogLine, LongestWholeMessageKeepsEveryByte) {
  const std::string message(kLongestWholeMessage, 'x');
  const std::string line = Format(message);
  EXPECT_EQ(line.size(), kLongestLine);
  EXPECT_EQ(MessageOf(line), message);
}

// The log would otherwise store the first 599 bytes without CR LF and glue the next line on.
TEST(FormatLogLine, OverlongMessageIsShortenedAndTheLineStillEnds) {
  for (size_t length : {kLongestWholeMessage + 1, size_t{600}, size_t{5000}}) {
    SCOPED_TRACE(length);
    const std::string message(length, 'y');
    const std::string line = Format(message);
    EXPECT_EQ(line.size(), kLongestLine);
    EXPECT_EQ(MessageOf(line), message.substr(0, kLongestWholeMessage));
  }
}

TEST(FormatLogLine, ShorteningNeverSplitsAUtf8Character) {
  // Two-, three- and four-byte characters placed at every position around the cut.
  const std::string characters[] = {"\xc4\x99", "\xe2\x82\xac", "\xf0\x9f\x98\x80"};
  for (const std::string& character : characters) {
    for (size_t start = kLongestWholeMessage - 4; start <= kLongestWholeMessage; ++start) {
      SCOPED_TRACE(character.size() * 1000 + start);
      const std::string message = std::string(start, 'a') + character + std::string(50, 'b');
      const std::string kept = MessageOf(Format(message));
      const bool fits = start + character.size() <= kLongestWholeMessage;
      EXPECT_EQ(kept.size(), fits ? kLongestWholeMessage : start);
      EXPECT_EQ(kept, message.substr(0, kept.size()));
    }
  }
  // Polish text all the way: the cut falls between two letters.
  std::string polish;
  while (polish.size() < 700)
    polish +=
        "\xc5\x82\xc4\x85"
        "ka ";  // "łąka "
  const std::string kept = MessageOf(Format(polish));
  EXPECT_EQ(kept, polish.substr(0, kept.size()));
  EXPECT_GE(kept.size(), kLongestWholeMessage - 1);
  EXPECT_NE(static_cast<unsigned char>(polish[kept.size()]) & 0xC0, 0x80);
}

TEST(FormatLogLine, InvalidUtf8IsCutAtTheBudget) {
  const std::string message(1000, '\x80');
  const std::string line = Format(message);
  EXPECT_EQ(line.size(), kLongestLine);
  EXPECT_EQ(MessageOf(line).size(), kLongestWholeMessage);
}

TEST(FormatLogLine, WiderTimestampShortensTheMessageInstead) {
  LogTime time = SpringMorning();
  time.year = 30827;  // the largest year a SYSTEMTIME holds
  const std::string line = Format(std::string(kLongestWholeMessage, 'z'), time);
  EXPECT_EQ(line.substr(0, 25), "30827-03-02 14:03:07.045 ");
  EXPECT_EQ(line.size(), kLongestLine);
  EXPECT_EQ(MessageOf(line).size(), kLongestWholeMessage - 1);
}
