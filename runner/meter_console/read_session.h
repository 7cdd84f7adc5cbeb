#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "channels/encodable_value.h"
#include "runner/meter_console/console_arguments.h"
#include "runner/meter_console/console_output.h"
#include "runner/meter_console/reading_lines.h"

namespace meter_console {

// Converts the events' wall-clock milliseconds (UTC) to the user's local time.
using LocalTimeOf = std::function<LocalTime(int64_t utcMilliseconds)>;

struct ReadCounts {
  uint32_t readings = 0;
  uint32_t unanswered = 0;
  uint32_t errors = 0;
};

// What "read" makes of the meter link's events: prints one line per reading, unanswered poll and
// error, counts them and decides when the run ends and with which exit status. Runs on the
// thread that receives the events; the caller stops the meter once Ended() holds.
class ReadSession {
 public:
  ReadSession(const ConsoleCommand& readCommand, ConsoleOutput& lines, LocalTimeOf toLocalTime);

  // Before the meter starts: the CSV header.
  void Begin();
  // The start found no cable: the error text that follows ends the run with kExitNoCable.
  void ExpectNoCable();
  // One event map of the meter ("pomiar", "brak", "blad", "stan"); ignored once ended.
  void OnEvent(const flutter::EncodableMap& event);
  // Ctrl-C: ends the run with kExitInterrupted, unless it has ended already.
  void Interrupt();
  // A failure of the tool's own before the meter could start.
  void Fail(const std::string& text);

  bool Ended() const { return ended; }
  // "odczyty 3, bez odpowiedzi 0, błędy 0"
  std::string Summary() const;
  // Prints the summary line; the exit status (kExitError if the run never ended properly).
  int Finish();

 private:
  void End(int status);

  const ConsoleCommand command;
  ConsoleOutput& output;
  const LocalTimeOf localTime;
  ReadCounts counts;
  bool noCable = false;
  bool ended = false;
  int exitStatus = 0;
};

}  // namespace meter_console
