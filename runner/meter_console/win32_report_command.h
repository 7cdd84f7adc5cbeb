#pragma once

#include <string>

#include "runner/meter_console/console_arguments.h"
#include "runner/meter_console/console_output.h"

namespace meter_console {

struct ReportOutcome {
  int exitStatus = 0;
  // The archive's full path (UTF-8) once written; empty otherwise.
  std::string archivePath;
};

// "report": gathers the log, the newest dumps and report.txt into one ZIP archive in the folder
// of the command (by default the user's Desktop) and prints its full path. The archive is
// written under a temporary name and renamed when complete, so a failure (kExitError, with the
// reason on standard error) leaves nothing under the final name.
ReportOutcome RunReportCommand(const ConsoleCommand& command, ConsoleOutput& output);

}  // namespace meter_console
