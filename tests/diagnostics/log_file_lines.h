#pragma once

#include <optional>
#include <string>
#include <vector>

// One line of the log as read back from the file.
struct ParsedLogLine {
  unsigned year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0, milliseconds = 0;
  std::string message;
};

// Splits the file's bytes into lines, each of which must end in CR LF and hold no other CR or
// LF; nullopt when the text breaks that rule (a cut line, a line glued onto another).
std::optional<std::vector<std::string>> SplitLogLines(const std::string& text);

// "YYYY-MM-DD hh:mm:ss.mmm [INFO] miernik: message" (without its CR LF); nullopt if the line
// does not have that layout.
std::optional<ParsedLogLine> ParseLogLine(const std::string& line);
