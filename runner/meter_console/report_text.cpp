#include "runner/meter_console/report_text.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "runner/meter_console/port_line.h"
#include "runner/meter_console/report_archive.h"

namespace meter_console {

namespace {

constexpr char kWindows10[] = "Windows 10";
constexpr int kFirstWindows11Build = 22000;

bool AllowedInFileName(unsigned char character) {
  return character >= 0x20 && character != 0x7F &&
         std::strchr("<>:\"/\\|?*", static_cast<char>(character)) == nullptr;
}

std::string TwoDigits(uint32_t value) {
  char text[16];
  std::snprintf(text, sizeof text, "%02u", static_cast<unsigned>(value % 100));
  return text;
}

std::string VersionLine(const ModuleVersion& module) {
  if (!module.present) return "  " + module.file + ": brak pliku";
  return "  " + module.file + ": " + (module.version.empty() ? "brak" : module.version);
}

std::string RunningText(ProgramRunning running) {
  switch (running) {
    case ProgramRunning::kNo:
      return "nie";
    case ProgramRunning::kYes:
      return "tak";
    case ProgramRunning::kUnknown:
      break;
  }
  return "nie wiadomo (lista procesów niedostępna)";
}

void AppendDumpFolder(const DumpFolder& dumps, std::vector<std::string>& lines) {
  lines.push_back("Zrzuty awaryjne:");
  lines.push_back(dumps.keyPresent
                      ? "  klucz LocalDumps\\Lumerovantix.exe: jest, folder " + dumps.shownAs
                      : "  klucz LocalDumps\\Lumerovantix.exe: brak, folder domyślny " +
                            dumps.shownAs);
  if (!dumps.exists) {
    lines.push_back("  folder: nie istnieje");
  } else if (!dumps.error.empty()) {
    lines.push_back("  folder: nie można odczytać (" + dumps.error + ")");
  } else {
    size_t programDumps = 0;
    for (const DumpFile& file : dumps.files) programDumps += IsProgramDump(file.name) ? 1 : 0;
    lines.push_back("  folder: plików " + std::to_string(dumps.files.size()) +
                    ", w tym zrzutów programu " + std::to_string(programDumps));
  }
}

}  // namespace

std::string DumpFolderSetting(bool keyPresent, const std::string* dumpFolder) {
  if (!keyPresent) return kDefaultDumpFolder;
  return dumpFolder != nullptr ? *dumpFolder : kReportingDefaultDumpFolder;
}

std::string ReportArchiveName(const std::string& computerName, const LocalTime& time) {
  std::string computer;
  for (const char character : computerName)
    computer += AllowedInFileName(static_cast<unsigned char>(character)) ? character : '_';
  if (computer.empty()) computer = "komputer";
  return "Lumerovantix-report-" + computer + "-" + std::to_string(time.year) +
         TwoDigits(time.month) + TwoDigits(time.day) + "-" + TwoDigits(time.hour) +
         TwoDigits(time.minute) + TwoDigits(time.second) + ".zip";
}

std::string WindowsVersionText(const std::string& productName, const std::string& displayVersion,
                               const std::string& build, const std::string& revision) {
  std::string product = productName.empty() ? "Windows" : productName;
  if (product.compare(0, sizeof kWindows10 - 1, kWindows10) == 0 &&
      std::atoi(build.c_str()) >= kFirstWindows11Build) {
    product.replace(0, sizeof kWindows10 - 1, "Windows 11");
  }
  std::string text = product;
  if (!displayVersion.empty()) text += " " + displayVersion;
  text += ", kompilacja " + (build.empty() ? std::string("?") : build);
  if (!revision.empty()) text += "." + revision;
  return text;
}

std::string ApproximateSize(uint64_t bytes) {
  static const char* const kUnits[] = {"KB", "MB", "GB", "TB"};
  if (bytes < 1024) return std::to_string(bytes) + " B";
  double value = static_cast<double>(bytes) / 1024.0;
  size_t unit = 0;
  while (value >= 1024.0 && unit + 1 < sizeof kUnits / sizeof kUnits[0]) {
    value /= 1024.0;
    ++unit;
  }
  char text[48];
  std::snprintf(text, sizeof text, "%.1f %s", value, kUnits[unit]);
  std::string result = text;
  for (char& character : result)
    if (character == '.') character = ',';
  return result;
}

std::string FileLine(const std::string& name, uint64_t size, const LocalTime& modified) {
  return name + "  " + std::to_string(size) + " B  " + FormatTime(modified);
}

std::vector<std::string> ReportLines(const ReportFacts& facts, const DumpFolder& dumps,
                                     const std::vector<std::string>& included,
                                     const std::vector<std::string>& leftOut) {
  std::vector<std::string> lines = {
      "Raport Lumerovantix dla pomocy technicznej (lumero-meter report)",
      "Czas: " + FormatTime(facts.localTime) + " (lokalny), " + FormatTime(facts.utcTime) + " UTC",
      "Komputer: " + facts.computerName,
      "Windows: " + (facts.windows.empty() ? "nie udało się odczytać" : facts.windows),
      "Wolne miejsce na dysku z logiem (" + facts.logDrive + "): " +
          (facts.freeSpaceKnown ? ApproximateSize(facts.freeBytes) : "nie udało się odczytać"),
      "Lumerovantix uruchomiony: " + RunningText(facts.programRunning),
      "",
      "Wersje plików w folderze programu:"};
  for (const ModuleVersion& module : facts.versions) lines.push_back(VersionLine(module));
  lines.push_back("");
  lines.push_back("Kable CP2102 (jak lumero-meter ports):");
  if (facts.ports.empty()) lines.push_back("  Nie widzę miernika Sonel na USB");
  for (size_t i = 0; i < facts.ports.size(); ++i) {
    const CablePort& port = facts.ports[i];
    lines.push_back("  " + PortLine(port.name, port.path, i == 0) + "  sterownik: " +
                    (port.driverVersion.empty() ? "wersja nieznana" : port.driverVersion));
  }
  lines.push_back("");
  AppendDumpFolder(dumps, lines);
  lines.push_back("");
  lines.push_back("Pliki w archiwum:");
  for (const std::string& line : included) lines.push_back("  " + line);
  lines.push_back("  report.txt  (ten plik)");
  lines.push_back("");
  lines.push_back("Pominięte:");
  if (leftOut.empty()) lines.push_back("  nic");
  for (const std::string& line : leftOut) lines.push_back("  " + line);
  return lines;
}

}  // namespace meter_console
