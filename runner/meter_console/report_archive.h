#pragma once

#include <cstdint>
#include <string>

#include "runner/meter_console/report_sources.h"
#include "runner/meter_console/zip_writer.h"

namespace meter_console {

// Sizes that keep the archive small enough to e-mail: mail carries attachments in base64, a
// third larger, and 18 MiB so become about 24 MiB, under the common 25 MB limit.
struct ReportLimits {
  uint64_t logBytes = 4u << 20;
  // app.log and the dumps together; report.txt and the archive's headers add a few KiB.
  uint64_t totalBytes = 18u << 20;
};

// What app.log contributes: all of it up to the limit, else its end from the first line that
// begins within the last limit bytes. tail is what ReadLogTail gave for limit + 1 bytes.
struct LogPart {
  std::string bytes;
  bool cut = false;
};
LogPart TakeLogPart(const FileRead& tail, uint64_t limit);

// A dump Windows Error Reporting wrote for the program: "Lumerovantix.exe.<pid>.dmp", any case.
bool IsProgramDump(const std::string& fileName);

// Fills the archive: app.log, the newest of the program's dumps that fit ("zrzuty/<name>"), and
// report.txt, which names everything included and everything left out with the reason. False
// only when the archive itself could not be written.
bool WriteReportArchive(const ReportFacts& facts, ReportSources& sources, ZipWriter& zip,
                        const ReportLimits& limits = ReportLimits());

}  // namespace meter_console
