#pragma once

#include "runner/meter_console/console_output.h"

namespace meter_console {

// "ports": every CP2102 port, name and device path, the first marked as the one the program
// (and "read") uses. None: the program's own text and kExitNoCable.
int RunPortsCommand(ConsoleOutput& output);

}  // namespace meter_console
