#pragma once

#include <cstddef>
#include <cstdint>

// Local time of a log line, as the fields of a SYSTEMTIME widened to 32 bits.
struct LogTime {
  uint32_t year = 0;
  uint32_t month = 0;
  uint32_t day = 0;
  uint32_t hour = 0;
  uint32_t minute = 0;
  uint32_t second = 0;
  uint32_t milliseconds = 0;
};

// Writes "YYYY-MM-DD hh:mm:ss.mmm", the stamp every log line begins with, into text as snprintf
// does and returns what snprintf returns.
int FormatLogTime(const LogTime& time, char* text, size_t size);

// A log line never exceeds kLogLineCapacity - 1 bytes (a NUL follows it in the buffer).
constexpr size_t kLogLineCapacity = 600;

// Formats "YYYY-MM-DD hh:mm:ss.mmm [INFO] miernik: <message>\r\n" into line and returns its length
// without the NUL; 0 means nothing is to be written (null message, formatting error). A message
// too long for the buffer is shortened so that the line still ends with CR LF and no UTF-8
// character is cut in two.
size_t FormatLogLine(const LogTime& time, const char* message, char (&line)[kLogLineCapacity]);
