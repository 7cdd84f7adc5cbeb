#include "runner/meter_console/reading_lines.h"

#include <cstdio>

#include "runner/meter_console/event_fields.h"

namespace meter_console {

namespace {

// The meter's smallest range, "400 lx", shows tenths of a lux.
constexpr int32_t kTenthsRangeCode = 1;

}  // namespace

ConsoleReading ReadingFromEvent(const flutter::EncodableMap& event) {
  ConsoleReading reading;
  reading.time = FieldOr<int64_t>(event, "t", reading.time);
  reading.number = FieldOr<int32_t>(event, "nr", reading.number);
  reading.lux = FieldOr<double>(event, "lux", reading.lux);
  reading.rangeLabel = FieldOr<std::string>(event, "zakres", reading.rangeLabel);
  reading.rangeCode = FieldOr<int32_t>(event, "kod", reading.rangeCode);
  reading.overload = FieldOr<bool>(event, "ol", reading.overload);
  reading.raw = FieldOr<int32_t>(event, "raw", reading.raw);
  return reading;
}

std::string FormatTime(const LocalTime& time) {
  char text[48];
  return FormatLogTime(time, text, sizeof text) > 0 ? text : "";
}

std::string FormatLux(const ConsoleReading& reading, char decimalPoint) {
  // The C locale's "." (the program never changes its locale), replaced when asked.
  char text[48];
  if (reading.rangeCode == kTenthsRangeCode) {
    std::snprintf(text, sizeof text, "%.1f", reading.lux);
  } else {
    std::snprintf(text, sizeof text, "%.0f", reading.lux);
  }
  std::string lux = text;
  for (char& character : lux) {
    if (character == '.') character = decimalPoint;
  }
  return lux;
}

std::string ReadingLine(const ConsoleReading& reading, const LocalTime& time) {
  return FormatTime(time) + "  nr " + std::to_string(reading.number) + "  " +
         FormatLux(reading, ',') + " lx  zakres " + reading.rangeLabel + " (kod " +
         std::to_string(reading.rangeCode) +
         ")  przeciążenie: " + (reading.overload ? "tak" : "nie") + "  raw " +
         std::to_string(reading.raw);
}

std::string CsvHeader() { return "czas,nr,lux,zakres,kod,przeciazenie,raw"; }

std::string ReadingCsvLine(const ConsoleReading& reading, const LocalTime& time) {
  // The range labels come from the meter module's own table: never a comma or a quote.
  return FormatTime(time) + "," + std::to_string(reading.number) + "," + FormatLux(reading, '.') +
         "," + reading.rangeLabel + "," + std::to_string(reading.rangeCode) + "," +
         (reading.overload ? "1" : "0") + "," + std::to_string(reading.raw);
}

std::string UnansweredLine(const LocalTime& time) {
  return FormatTime(time) + "  brak odpowiedzi miernika na zapytanie";
}

}  // namespace meter_console
