#include "runner/meter_console/read_session.h"

#include <utility>

#include "runner/meter_console/console_exit_codes.h"
#include "runner/meter_console/event_fields.h"

namespace meter_console {

ReadSession::ReadSession(const ConsoleCommand& readCommand, ConsoleOutput& lines,
                         LocalTimeOf toLocalTime)
    : command(readCommand), output(lines), localTime(std::move(toLocalTime)) {}

void ReadSession::Begin() {
  if (command.csv) output.Out(CsvHeader());
}

void ReadSession::ExpectNoCable() { noCable = true; }

void ReadSession::OnEvent(const flutter::EncodableMap& event) {
  if (ended) return;
  const std::string kind = FieldOr<std::string>(event, "typ", "");
  if (kind == "pomiar") {
    const ConsoleReading reading = ReadingFromEvent(event);
    const LocalTime time = localTime(reading.time);
    output.Out(command.csv ? ReadingCsvLine(reading, time) : ReadingLine(reading, time));
    ++counts.readings;
    if (command.count != 0 && counts.readings >= command.count) End(kExitOk);
  } else if (kind == "brak") {
    output.Err(UnansweredLine(localTime(FieldOr<int64_t>(event, "t", 0))));
    ++counts.unanswered;
  } else if (kind == "blad") {
    // The meter link's own text; after an error its run is over.
    output.Err(FieldOr<std::string>(event, "tekst", ""));
    ++counts.errors;
    End(noCable ? kExitNoCable : kExitError);
  }
  // "stan" says whether a cable is present; the errors above already tell the user more.
}

void ReadSession::Interrupt() {
  if (!ended) End(kExitInterrupted);
}

void ReadSession::Fail(const std::string& text) {
  if (ended) return;
  output.Err(text);
  ++counts.errors;
  End(kExitError);
}

std::string ReadSession::Summary() const {
  return "odczyty " + std::to_string(counts.readings) + ", bez odpowiedzi " +
         std::to_string(counts.unanswered) + ", błędy " + std::to_string(counts.errors);
}

int ReadSession::Finish() {
  output.Err("podsumowanie: " + Summary());
  return ended ? exitStatus : kExitError;
}

void ReadSession::End(int status) {
  ended = true;
  exitStatus = status;
}

}  // namespace meter_console
