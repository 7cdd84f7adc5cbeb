#pragma once

#include <string>

#include "runner/meter_console/console_arguments.h"
#include "runner/meter_console/console_output.h"

namespace meter_console {

struct ReadOutcome {
  int exitStatus = 0;
  // The summary's counts, for the log ("odczyty 3, bez odpowiedzi 0, błędy 0").
  std::string summary;
};

// "read": starts the meter link as the program does (a meter without an engine, the first CP2102
// port) and runs a message loop on the calling thread, the task queue's target, until the session
// ends: after the readings asked for, on an error, without a cable, or on Ctrl-C. The meter is
// stopped before the summary line is printed.
ReadOutcome RunReadCommand(const ConsoleCommand& command, ConsoleOutput& output);

}  // namespace meter_console
