#include "runner/meter_console/report_archive.h"

#include <algorithm>
#include <cctype>
#include <vector>

#include "runner/meter_console/report_text.h"

namespace meter_console {

namespace {

constexpr char kDumpPrefix[] = "lumerovantix.exe.";
constexpr char kDumpSuffix[] = ".dmp";

std::string Lowered(std::string text) {
  for (char& character : text)
    character = static_cast<char>(std::tolower(static_cast<unsigned char>(character)));
  return text;
}

std::string Mebibytes(uint64_t bytes) { return std::to_string(bytes >> 20) + " MiB"; }

std::vector<DumpFile> ProgramDumpsNewestFirst(const std::vector<DumpFile>& files) {
  std::vector<DumpFile> dumps;
  for (const DumpFile& file : files)
    if (IsProgramDump(file.name)) dumps.push_back(file);
  std::sort(dumps.begin(), dumps.end(), [](const DumpFile& a, const DumpFile& b) {
    return a.modifiedOrder != b.modifiedOrder ? a.modifiedOrder > b.modifiedOrder : a.name < b.name;
  });
  return dumps;
}

std::string JoinedCrLf(const std::vector<std::string>& lines) {
  std::string text;
  for (const std::string& line : lines) text += line + "\r\n";
  return text;
}

}  // namespace

LogPart TakeLogPart(const FileRead& tail, uint64_t limit) {
  if (tail.size <= limit) return {tail.bytes, false};
  // The byte before the last limit bytes is read too: a line begins after the first LF.
  const std::string window =
      tail.bytes.size() > limit ? tail.bytes.substr(tail.bytes.size() - limit - 1) : tail.bytes;
  const size_t lineEnd = window.find('\n');
  return {lineEnd == std::string::npos ? std::string() : window.substr(lineEnd + 1), true};
}

bool IsProgramDump(const std::string& fileName) {
  const std::string name = Lowered(fileName);
  const size_t prefix = sizeof kDumpPrefix - 1;
  const size_t suffix = sizeof kDumpSuffix - 1;
  return name.size() > prefix + suffix && name.compare(0, prefix, kDumpPrefix) == 0 &&
         name.compare(name.size() - suffix, suffix, kDumpSuffix) == 0;
}

bool WriteReportArchive(const ReportFacts& facts, ReportSources& sources, ZipWriter& zip,
                        const ReportLimits& limits) {
  std::vector<std::string> included;
  std::vector<std::string> leftOut;
  uint64_t budget = limits.totalBytes;

  const FileRead log = sources.ReadLogTail(limits.logBytes + 1);
  if (!log.ok) {
    leftOut.push_back("app.log: nie można odczytać (" + log.error + ")");
  } else {
    const LogPart part = TakeLogPart(log, limits.logBytes);
    if (!zip.Add("app.log", log.modified, part.bytes)) return false;
    budget -= std::min<uint64_t>(budget, part.bytes.size());
    std::string line = FileLine("app.log", part.bytes.size(), log.modified);
    if (part.cut) {
      line += "  (ostatnie wiersze: " + std::to_string(part.bytes.size()) + " B z " +
              std::to_string(log.size) + " B, limit " + Mebibytes(limits.logBytes) + ")";
    }
    included.push_back(line);
  }

  const DumpFolder folder = sources.ListDumpFolder();
  for (const DumpFile& dump : ProgramDumpsNewestFirst(folder.files)) {
    const std::string name = "zrzuty/" + dump.name;
    const std::string line = FileLine(name, dump.size, dump.modified);
    if (dump.size > budget) {
      leftOut.push_back(line + ": nie mieści się w limicie archiwum (" +
                        Mebibytes(limits.totalBytes) + ")");
      continue;
    }
    const FileRead read = sources.ReadDumpTail(dump.name, budget);
    if (!read.ok) {
      leftOut.push_back(line + ": nie można odczytać (" + read.error + ")");
      continue;
    }
    if (read.bytes.size() != read.size) {  // it grew past the budget meanwhile
      leftOut.push_back(line + ": zmienił się podczas zbierania, nie mieści się w limicie");
      continue;
    }
    if (!zip.Add(name, read.modified, read.bytes)) return false;
    budget -= read.bytes.size();
    included.push_back(FileLine(name, read.size, read.modified));
  }

  const std::string report = JoinedCrLf(ReportLines(facts, folder, included, leftOut));
  return zip.Add("report.txt", facts.localTime, report) && zip.Finish();
}

}  // namespace meter_console
