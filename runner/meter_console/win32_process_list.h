#pragma once

#include "runner/meter_console/report_sources.h"

namespace meter_console {

// Whether a process runs whose executable is named exeName (any case), as the system's process
// list shows it; kUnknown when the list cannot be taken.
ProgramRunning IsProcessRunning(const wchar_t* exeName);

}  // namespace meter_console
