#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "runner/meter_console/reading_lines.h"

namespace meter_console {

// What "report" learns of the machine, gathered by the Win32 edge. Texts are UTF-8.
struct ModuleVersion {
  std::string file;      // "Lumerovantix.exe"
  bool present = false;  // the file is there
  std::string version;   // its FileVersion; empty when it has no version resource
};

struct CablePort {
  std::string name;           // COM7
  std::string path;           // \\.\COM7
  std::string driverVersion;  // empty when the driver's key does not say
};

enum class ProgramRunning { kNo, kYes, kUnknown };

struct ReportFacts {
  LocalTime localTime;
  LocalTime utcTime;
  std::string computerName;
  std::string windows;  // "Windows 10 Pro 22H2, kompilacja 19045.3803"; empty when unreadable
  std::vector<ModuleVersion> versions;
  std::string logDrive;  // "C:\"
  bool freeSpaceKnown = false;
  uint64_t freeBytes = 0;
  std::vector<CablePort> ports;  // as "lumero-meter ports" lists them
  ProgramRunning programRunning = ProgramRunning::kUnknown;
};

// A file or the end of one, as read. modified is local time.
struct FileRead {
  bool ok = false;
  std::string error;  // why it could not be read (the system's text)
  uint64_t size = 0;  // the whole file's size at the read
  LocalTime modified;
  std::string bytes;  // its last bytes, at most as many as asked for
};

struct DumpFile {
  std::string name;  // file name only
  uint64_t size = 0;
  uint64_t modifiedOrder = 0;  // grows with the modification time (UTC)
  LocalTime modified;
};

// Where Windows Error Reporting leaves the program's dumps and what lies there.
struct DumpFolder {
  bool keyPresent = false;  // the LocalDumps key of Lumerovantix.exe
  std::string shownAs;      // the folder unexpanded, as the key (or the default) names it
  bool exists = false;
  std::string error;            // listing failed although the folder exists
  std::vector<DumpFile> files;  // every file in it, whatever its name
};

// The files the report reads; the Win32 edge reads the real ones, tests script their own.
class ReportSources {
 public:
  virtual ~ReportSources() = default;
  // The end of app.log: its last maxBytes bytes (all of it when shorter). Only reads: the
  // program may go on appending meanwhile.
  virtual FileRead ReadLogTail(uint64_t maxBytes) = 0;
  virtual DumpFolder ListDumpFolder() = 0;
  // The end of one file of the dump folder, as ReadLogTail.
  virtual FileRead ReadDumpTail(const std::string& name, uint64_t maxBytes) = 0;
};

}  // namespace meter_console
