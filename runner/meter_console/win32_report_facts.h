#pragma once

#include <string>

#include "runner/meter_console/report_sources.h"

namespace meter_console {

// Everything report.txt says about this machine, now: the time, the computer's name, Windows,
// the versions of the files beside this tool, free space on the drive of logPath, the cables
// and whether the program runs. What cannot be read stays empty or unknown.
ReportFacts GatherReportFacts(const std::wstring& logPath);

}  // namespace meter_console
