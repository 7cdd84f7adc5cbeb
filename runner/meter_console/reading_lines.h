#pragma once

#include <cstdint>
#include <string>

#include "channels/encodable_value.h"
#include "runner/diagnostics/log_line.h"

namespace meter_console {

// A moment in the user's local time; the log's own type, so the two print it alike.
using LocalTime = LogTime;

// One "pomiar" event of the meter link, as the console shows it.
struct ConsoleReading {
  // Host wall clock when the reading arrived, milliseconds since 1970-01-01 UTC.
  int64_t time = 0;
  int32_t number = 0;
  double lux = 0.0;
  std::string rangeLabel;
  int32_t rangeCode = -1;
  bool overload = false;
  int32_t raw = 0;
};

// The fields of a "pomiar" event map; a missing or mistyped entry keeps its default.
ConsoleReading ReadingFromEvent(const flutter::EncodableMap& event);

// "2025-03-02 14:03:07.045", as the log's lines begin, so the two can be matched.
std::string FormatTime(const LocalTime& time);

// Lux as the meter's display shows it: one decimal on the 400 lx range, none on the others.
std::string FormatLux(const ConsoleReading& reading, char decimalPoint);

// For people: "2025-03-02 14:03:07.045  nr 7  123,4 lx  zakres 400 lx (kod 1)  przeciążenie: nie
// raw 1234", with the Polish decimal comma.
std::string ReadingLine(const ConsoleReading& reading, const LocalTime& time);

// For spreadsheets: columns as in CsvHeader, "." as the decimal point, overload as 1 or 0.
std::string CsvHeader();
std::string ReadingCsvLine(const ConsoleReading& reading, const LocalTime& time);

// A poll that the meter left unanswered (the event's time is when the poll gave up).
std::string UnansweredLine(const LocalTime& time);

}  // namespace meter_console
