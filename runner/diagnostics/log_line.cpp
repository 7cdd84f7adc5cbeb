#include "runner/diagnostics/log_line.h"

#include <cstdio>
#include <cstring>

namespace {

constexpr size_t kMaxLineLength = kLogLineCapacity - 1;
constexpr char kLineEnd[] = "\r\n";
constexpr size_t kLineEndLength = sizeof kLineEnd - 1;
// A UTF-8 character has at most three continuation bytes.
constexpr size_t kMaxContinuationBytes = 3;

bool IsContinuationByte(char byte) { return (static_cast<unsigned char>(byte) & 0xC0) == 0x80; }

// strlen that stops looking after limit bytes: the message may be far longer than the line.
size_t LengthUpTo(const char* text, size_t limit) {
  size_t length = 0;
  while (length < limit && text[length] != '\0') ++length;
  return length;
}

// How many bytes of message fit into budget without splitting a character. For text that is not
// valid UTF-8 it simply cuts at the budget.
size_t FittingLength(const char* message, size_t budget) {
  const size_t length = LengthUpTo(message, budget + 1);
  if (length <= budget) return length;
  size_t cut = budget;
  while (cut > 0 && budget - cut < kMaxContinuationBytes && IsContinuationByte(message[cut])) {
    --cut;
  }
  return IsContinuationByte(message[cut]) ? budget : cut;
}

}  // namespace

int FormatLogTime(const LogTime& time, char* text, size_t size) {
  return std::snprintf(text, size, "%04u-%02u-%02u %02u:%02u:%02u.%03u",
                       static_cast<unsigned>(time.year), static_cast<unsigned>(time.month),
                       static_cast<unsigned>(time.day), static_cast<unsigned>(time.hour),
                       static_cast<unsigned>(time.minute), static_cast<unsigned>(time.second),
                       static_cast<unsigned>(time.milliseconds));
}

size_t FormatLogLine(const LogTime& time, const char* message, char (&line)[kLogLineCapacity]) {
  if (message == nullptr) return 0;
  const int stamp = FormatLogTime(time, line, sizeof line);
  if (stamp < 0 || static_cast<size_t>(stamp) >= sizeof line) return 0;
  const int tag =
      std::snprintf(line + stamp, sizeof line - static_cast<size_t>(stamp), " [INFO] miernik: ");
  if (tag < 0) return 0;
  const int prefix = stamp + tag;
  if (static_cast<size_t>(prefix) + kLineEndLength > kMaxLineLength) return 0;
  // The message gives way, never the line end: a cut line would glue the next one onto it.
  const size_t budget = kMaxLineLength - static_cast<size_t>(prefix) - kLineEndLength;
  const size_t kept = FittingLength(message, budget);
  char* end = line + prefix;
  std::memcpy(end, message, kept);
  end += kept;
  std::memcpy(end, kLineEnd, sizeof kLineEnd);  // with its NUL
  return static_cast<size_t>(end - line) + kLineEndLength;
}
