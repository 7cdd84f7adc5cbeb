#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "runner/meter_console/report_sources.h"

namespace meter_console {

// The folder the program's MSI names in the LocalDumps key, and where Windows Error Reporting
// writes when the key has no DumpFolder.
constexpr char kDefaultDumpFolder[] = "%LOCALAPPDATA%\\Lumerovantix\\zrzuty";
constexpr char kReportingDefaultDumpFolder[] = "%LOCALAPPDATA%\\CrashDumps";

// The dump folder, unexpanded: the key's DumpFolder; without the key ours; with the key but no
// value, Windows Error Reporting's own default. dumpFolder is null when the value is missing.
std::string DumpFolderSetting(bool keyPresent, const std::string* dumpFolder);

// "Lumerovantix-report-<computer>-<yyyymmdd>-<hhmmss>.zip"; characters no file name may hold
// become "_".
std::string ReportArchiveName(const std::string& computerName, const LocalTime& time);

// "Windows 11 Pro 23H2, kompilacja 22631.2861" from the CurrentVersion key's values. Windows 11
// still calls itself "Windows 10" there; its build numbers (from 22000) tell.
std::string WindowsVersionText(const std::string& productName, const std::string& displayVersion,
                               const std::string& build, const std::string& revision);

// "123,4 GB", as Explorer counts (1024-based), with the Polish decimal comma.
std::string ApproximateSize(uint64_t bytes);

// One file in report.txt's lists: "name  12345 B  2026-12-08 10:14:03.000".
std::string FileLine(const std::string& name, uint64_t size, const LocalTime& modified);

// report.txt, lines without their CR LF: facts first, then the dump folder, the files included
// (report.txt last) and those left out with the reason.
std::vector<std::string> ReportLines(const ReportFacts& facts, const DumpFolder& dumps,
                                     const std::vector<std::string>& included,
                                     const std::vector<std::string>& leftOut);

}  // namespace meter_console
