#include "tests/diagnostics/log_file_lines.h"

namespace {

constexpr char kTimestampPattern[] = "dddd-dd-dd dd:dd:dd.ddd";
constexpr char kLevelAndTag[] = " [INFO] miernik: ";

unsigned Number(const std::string& line, size_t start, size_t digits) {
  unsigned value = 0;
  for (size_t i = start; i < start + digits; ++i) value = value * 10 + (line[i] - '0');
  return value;
}

}  // namespace

std::optional<std::vector<std::string>> SplitLogLines(const std::string& text) {
  std::vector<std::string> lines;
  size_t start = 0;
  while (start < text.size()) {
    const size_t end = text.find("\r\n", start);
    if (end == std::string::npos) return std::nullopt;
    std::string line = text.substr(start, end - start);
    if (line.find_first_of("\r\n") != std::string::npos) return std::nullopt;
    lines.push_back(std::move(line));
    start = end + 2;
  }
  return lines;
}

std::optional<ParsedLogLine> ParseLogLine(const std::string& line) {
  const size_t stampLength = sizeof kTimestampPattern - 1;
  const size_t tagLength = sizeof kLevelAndTag - 1;
  if (line.size() < stampLength + tagLength) return std::nullopt;
  for (size_t i = 0; i < stampLength; ++i) {
    const bool digitWanted = kTimestampPattern[i] == 'd';
    const bool digit = line[i] >= '0' && line[i] <= '9';
    if (digitWanted != digit || (!digitWanted && line[i] != kTimestampPattern[i])) {
      return std::nullopt;
    }
  }
  if (line.compare(stampLength, tagLength, kLevelAndTag) != 0) return std::nullopt;
  ParsedLogLine parsed;
  parsed.year = Number(line, 0, 4);
  parsed.month = Number(line, 5, 2);
  parsed.day = Number(line, 8, 2);
  parsed.hour = Number(line, 11, 2);
  parsed.minute = Number(line, 14, 2);
  parsed.second = Number(line, 17, 2);
  parsed.milliseconds = Number(line, 20, 3);
  parsed.message = line.substr(stampLength + tagLength);
  return parsed;
}
