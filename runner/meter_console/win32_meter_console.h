#pragma once

#include <string>
#include <vector>

#include "runner/meter_console/console_output.h"

namespace meter_console {

// The whole of lumero-meter for the arguments after the program name (UTF-8): one "konsola:"
// line in the log at the start and one at the end, the command in between. The exit status.
int RunMeterConsole(const std::vector<std::string>& arguments, ConsoleOutput& output);

}  // namespace meter_console
