#pragma once

#include <string>

#include "runner/meter_console/report_sources.h"

namespace meter_console {

// The LocalDumps key that the program's installer writes; Windows Error Reporting reads it.
constexpr wchar_t kLocalDumpsKey[] =
    L"SOFTWARE\\Microsoft\\Windows\\Windows Error Reporting\\LocalDumps\\Lumerovantix.exe";

// The real files: the program's app.log and the dump folder that the LocalDumps key (or its
// absence) names. Files are opened for reading only, sharing read, write and delete, so the
// program and Windows Error Reporting go on undisturbed.
class Win32ReportSources final : public ReportSources {
 public:
  explicit Win32ReportSources(std::wstring logPath) : logFile(std::move(logPath)) {}

  FileRead ReadLogTail(uint64_t maxBytes) override;
  DumpFolder ListDumpFolder() override;
  FileRead ReadDumpTail(const std::string& name, uint64_t maxBytes) override;

 private:
  const std::wstring logFile;
  std::wstring dumpFolder;  // expanded, once listed
};

}  // namespace meter_console
