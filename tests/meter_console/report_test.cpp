// "lumero-meter report" without Windows: what the archive takes from the log and the dump folder
// within the size limits, what report.txt says, and the archive's name.
#include <gmock/gmock.h>

#include <algorithm>
#include <map>
#include <string>
#include <vector>

#include "runner/meter_console/report_archive.h"
#include "runner/meter_console/report_text.h"
#include "tests/support/zip_reader.h"

namespace meter_console {
namespace {

using Lines = std::vector<std::string>;
using ::testing::ElementsAre;

constexpr LocalTime kMonday = {2026, 12, 7, 18, 22, 10, 0};

class ScriptedSources : public ReportSources {
 public:
  FileRead ReadLogTail(uint64_t maxBytes) override { return Tail(log, maxBytes); }
  DumpFolder ListDumpFolder() override { return folder; }
  FileRead ReadDumpTail(const std::string& name, uint64_t maxBytes) override {
    askedFor[name] = maxBytes;
    return Tail(dumps.at(name), maxBytes);
  }

  // A file of the dump folder and what reading it gives; order grows with its time.
  void AddDump(const std::string& name, uint64_t order, std::string bytes) {
    folder.files.push_back({name, bytes.size(), order, kMonday});
    dumps[name] = Readable(std::move(bytes));
  }
  static FileRead Readable(std::string bytes) {
    FileRead read;
    read.ok = true;
    read.size = bytes.size();
    read.modified = kMonday;
    read.bytes = std::move(bytes);
    return read;
  }

  FileRead log;
  DumpFolder folder;
  std::map<std::string, FileRead> dumps;
  std::map<std::string, uint64_t> askedFor;

 private:
  static FileRead Tail(FileRead read, uint64_t maxBytes) {
    if (read.bytes.size() > maxBytes) read.bytes.erase(0, read.bytes.size() - maxBytes);
    return read;
  }
};

using test_support::StringSink;

ReportFacts SomeFacts() {
  ReportFacts facts;
  facts.localTime = {2026, 12, 8, 10, 14, 3, 123};
  facts.utcTime = {2026, 12, 8, 9, 14, 3, 123};
  facts.computerName = "BIURO-7";
  facts.windows = "Windows 11 Pro 23H2, kompilacja 22631.2861";
  facts.versions = {{"lumero-meter.exe", true, "2026.11.031"},
                    {"flutter_windows.dll", true, ""},
                    {"record_windows_plugin.dll", false, ""}};
  facts.logDrive = "C:\\";
  facts.freeSpaceKnown = true;
  facts.freeBytes = 132500000000;
  facts.ports = {{"COM7", "\\\\.\\COM7", "6.7.6.2130"}, {"COM9", "\\\\.\\COM9", ""}};
  facts.programRunning = ProgramRunning::kYes;
  return facts;
}

struct Archive {
  std::map<std::string, std::string> entries;
  Lines names;
  Lines report;
};

Archive Written(const ReportFacts& facts, ScriptedSources& sources, const ReportLimits& limits) {
  StringSink sink;
  ZipWriter zip(sink);
  EXPECT_TRUE(WriteReportArchive(facts, sources, zip, limits));
  std::vector<test_support::ZipEntry> read;
  std::string error;
  EXPECT_TRUE(test_support::ReadZip(sink.bytes, &read, &error)) << error;
  Archive archive;
  for (const auto& entry : read) {
    archive.entries[entry.name] = entry.data;
    archive.names.push_back(entry.name);
  }
  std::string text = archive.entries["report.txt"];
  for (size_t end; (end = text.find("\r\n")) != std::string::npos; text.erase(0, end + 2))
    archive.report.push_back(text.substr(0, end));
  EXPECT_EQ(text, "") << "report.txt's last line ends with CR LF as well";
  return archive;
}

// Whole up to the limit; longer, only the lines that begin within the last limit bytes.
TEST(Report, LogBeyondItsLimitStartsAtALineBoundary) {
  const auto part = [](const std::string& log, uint64_t limit) {
    FileRead tail = ScriptedSources::Readable(log);
    if (tail.bytes.size() > limit + 1) tail.bytes.erase(0, tail.bytes.size() - limit - 1);
    const LogPart taken = TakeLogPart(tail, limit);
    return (taken.cut ? "cut: " : "whole: ") + taken.bytes;
  };
  const std::string log = "aaa\r\nbbbb\r\ncc\r\n";  // 15 bytes
  EXPECT_EQ(part(log, 15), "whole: " + log);
  EXPECT_EQ(part(log, 10), "cut: bbbb\r\ncc\r\n") << "a line that begins exactly at the limit";
  EXPECT_EQ(part(log, 9), "cut: cc\r\n");
  EXPECT_EQ(part(log, 3), "cut: ") << "no line begins within the limit";
  EXPECT_EQ(part(std::string(20, 'x'), 10), "cut: ");
}

TEST(Report, OnlyTheProgramsDumpsCount) {
  EXPECT_TRUE(IsProgramDump("Lumerovantix.exe.4321.dmp"));
  EXPECT_TRUE(IsProgramDump("LUMEROVANTIX.EXE.1.DMP"));
  EXPECT_FALSE(IsProgramDump("Lumerovantix.exe.dmp"));
  EXPECT_FALSE(IsProgramDump("Lumerovantix.exe.1.dmp.txt"));
  EXPECT_FALSE(IsProgramDump("explorer.exe.77.dmp"));
}

// The newest dumps first, each taken when it still fits; those that do not, could not be read
// or grew past the room left are named with the reason. Other files of the folder are ignored.
TEST(Report, NewestDumpsWithinTheLimitAndEverythingLeftOutNamed) {
  ScriptedSources sources;
  sources.log = ScriptedSources::Readable("stary\r\nnowy\r\n");
  sources.folder.keyPresent = true;
  sources.folder.shownAs = "%LOCALAPPDATA%\\Lumerovantix\\zrzuty";
  sources.folder.exists = true;
  sources.AddDump("Lumerovantix.exe.5.dmp", 50, std::string(30, 'e'));
  sources.AddDump("Lumerovantix.exe.4.dmp", 40, std::string(200, 'd'));
  sources.AddDump("Lumerovantix.exe.3.dmp", 30, std::string(35, 'c'));
  sources.AddDump("Lumerovantix.exe.2.dmp", 20, std::string(40, 'b'));
  sources.AddDump("Lumerovantix.exe.6.dmp", 60, "");
  sources.dumps["Lumerovantix.exe.6.dmp"].ok = false;
  sources.dumps["Lumerovantix.exe.6.dmp"].error = "Odmowa dostępu.";
  sources.AddDump("Lumerovantix.exe.1.dmp", 10, std::string(5, 'a'));
  sources.dumps["Lumerovantix.exe.1.dmp"].size = 70;  // grew after the listing
  sources.AddDump("notatki.txt", 99, "prywatne");
  ReportLimits limits;
  limits.logBytes = 8;
  limits.totalBytes = 100;

  const Archive archive = Written(SomeFacts(), sources, limits);
  EXPECT_THAT(archive.names, ElementsAre("app.log", "zrzuty/Lumerovantix.exe.5.dmp",
                                         "zrzuty/Lumerovantix.exe.3.dmp", "report.txt"));
  EXPECT_EQ(archive.entries.at("app.log"), "nowy\r\n");
  EXPECT_EQ(archive.entries.at("zrzuty/Lumerovantix.exe.3.dmp"), std::string(35, 'c'));
  EXPECT_EQ(sources.askedFor.at("Lumerovantix.exe.3.dmp"), 100u - 6 - 30);
  EXPECT_EQ(sources.askedFor.count("Lumerovantix.exe.4.dmp"), 0u) << "too big: never read";
  const std::string time = "  2026-12-07 18:22:10.000";
  EXPECT_THAT(
      Lines(archive.report.end() - 14, archive.report.end()),
      ElementsAre(
          "  klucz LocalDumps\\Lumerovantix.exe: jest, folder %LOCALAPPDATA%\\Lumerovantix\\zrzuty",
          "  folder: plików 7, w tym zrzutów programu 6", "", "Pliki w archiwum:",
          "  app.log  6 B" + time + "  (ostatnie wiersze: 6 B z 13 B, limit 0 MiB)",
          "  zrzuty/Lumerovantix.exe.5.dmp  30 B" + time,
          "  zrzuty/Lumerovantix.exe.3.dmp  35 B" + time, "  report.txt  (ten plik)", "",
          "Pominięte:",
          "  zrzuty/Lumerovantix.exe.6.dmp  0 B" + time + ": nie można odczytać (Odmowa dostępu.)",
          "  zrzuty/Lumerovantix.exe.4.dmp  200 B" + time +
              ": nie mieści się w limicie archiwum (0 MiB)",
          "  zrzuty/Lumerovantix.exe.2.dmp  40 B" + time +
              ": nie mieści się w limicie archiwum (0 MiB)",
          "  zrzuty/Lumerovantix.exe.1.dmp  5 B" + time +
              ": zmienił się podczas zbierania, nie mieści się w limicie"));
}

// The facts as support reads them; a missing file, a file without a version, a cable whose
// driver is unknown.
TEST(Report, FactsAsReportTxtStatesThem) {
  ScriptedSources sources;
  sources.log = ScriptedSources::Readable("wiersz\r\n");
  sources.folder.shownAs = kDefaultDumpFolder;
  const Archive archive = Written(SomeFacts(), sources, ReportLimits());
  EXPECT_THAT(
      archive.report,
      ElementsAre("Raport Lumerovantix dla pomocy technicznej (lumero-meter report)",
                  "Czas: 2026-12-08 10:14:03.123 (lokalny), 2026-12-08 09:14:03.123 UTC",
                  "Komputer: BIURO-7", "Windows: Windows 11 Pro 23H2, kompilacja 22631.2861",
                  "Wolne miejsce na dysku z logiem (C:\\): 123,4 GB",
                  "Lumerovantix uruchomiony: tak", "",
                  "Wersje plików w folderze programu:", "  lumero-meter.exe: 2026.11.031",
                  "  flutter_windows.dll: brak", "  record_windows_plugin.dll: brak pliku", "",
                  "Kable CP2102 (jak lumero-meter ports):",
                  "  COM7  \\\\.\\COM7  (tego portu użyje program)  sterownik: 6.7.6.2130",
                  "  COM9  \\\\.\\COM9  sterownik: wersja nieznana", "", "Zrzuty awaryjne:",
                  "  klucz LocalDumps\\Lumerovantix.exe: brak, folder domyślny "
                  "%LOCALAPPDATA%\\Lumerovantix\\zrzuty",
                  "  folder: nie istnieje", "",
                  "Pliki w archiwum:", "  app.log  8 B  2026-12-07 18:22:10.000",
                  "  report.txt  (ten plik)", "", "Pominięte:", "  nic"));
}

// Nothing could be gathered: the archive still holds report.txt, which says so.
TEST(Report, WhatCouldNotBeGatheredIsNamed) {
  ScriptedSources sources;
  sources.log.error = "Nie można odnaleźć określonego pliku.";
  sources.folder.exists = true;
  sources.folder.error = "Odmowa dostępu.";
  ReportFacts facts;
  facts.computerName = "X";
  const Archive archive = Written(facts, sources, ReportLimits());
  EXPECT_THAT(archive.names, ElementsAre("report.txt"));
  const auto has = [&](const std::string& line) {
    return std::find(archive.report.begin(), archive.report.end(), line) != archive.report.end();
  };
  EXPECT_TRUE(has("Windows: nie udało się odczytać"));
  EXPECT_TRUE(has("Wolne miejsce na dysku z logiem (): nie udało się odczytać"));
  EXPECT_TRUE(has("Lumerovantix uruchomiony: nie wiadomo (lista procesów niedostępna)"));
  EXPECT_TRUE(has("  Nie widzę miernika Sonel na USB"));
  EXPECT_TRUE(has("  folder: nie można odczytać (Odmowa dostępu.)"));
  EXPECT_TRUE(has("  app.log: nie można odczytać (Nie można odnaleźć określonego pliku.)"));
}

// Wherever the archive stops taking bytes: in the log, a dump, report.txt or the directory.
TEST(Report, AFailedArchiveIsReported) {
  ScriptedSources sources;
  sources.log = ScriptedSources::Readable("wiersz\r\n");
  sources.folder.exists = true;
  sources.AddDump("Lumerovantix.exe.1.dmp", 1, "MDMP");
  StringSink whole;
  ZipWriter complete(whole);
  ASSERT_TRUE(WriteReportArchive(SomeFacts(), sources, complete));
  for (const size_t capacity :
       {size_t{0}, size_t{60}, size_t{120}, whole.bytes.size() - 200, whole.bytes.size() - 1}) {
    StringSink sink;
    sink.capacity = capacity;
    ZipWriter zip(sink);
    EXPECT_FALSE(WriteReportArchive(SomeFacts(), sources, zip)) << capacity;
  }
}

TEST(Report, NamesAndSettings) {
  EXPECT_EQ(ReportArchiveName("BIURO-7", {2026, 1, 2, 3, 4, 5, 600}),
            "Lumerovantix-report-BIURO-7-20260102-030405.zip");
  EXPECT_EQ(ReportArchiveName("a<b>c:d\"e/f\\g|h?i*j\tk", {2026, 12, 8, 23, 59, 59, 0}),
            "Lumerovantix-report-a_b_c_d_e_f_g_h_i_j_k-20261208-235959.zip");
  EXPECT_EQ(ReportArchiveName("", {2026, 12, 8, 0, 0, 0, 0}),
            "Lumerovantix-report-komputer-20261208-000000.zip");

  EXPECT_EQ(WindowsVersionText("Windows 10 Pro", "22H2", "19045", "3803"),
            "Windows 10 Pro 22H2, kompilacja 19045.3803");
  EXPECT_EQ(WindowsVersionText("Windows 10 Home", "23H2", "22631", ""),
            "Windows 11 Home 23H2, kompilacja 22631");
  EXPECT_EQ(WindowsVersionText("", "", "", ""), "Windows, kompilacja ?");

  EXPECT_EQ(ApproximateSize(1023), "1023 B");
  EXPECT_EQ(ApproximateSize(1536), "1,5 KB");
  EXPECT_EQ(ApproximateSize(5u << 20), "5,0 MB");

  const std::string value = "D:\\zrzuty";
  EXPECT_EQ(DumpFolderSetting(true, &value), "D:\\zrzuty");
  EXPECT_EQ(DumpFolderSetting(true, nullptr), "%LOCALAPPDATA%\\CrashDumps");
  EXPECT_EQ(DumpFolderSetting(false, &value), "%LOCALAPPDATA%\\Lumerovantix\\zrzuty");
}

}  // namespace
}  // namespace meter_console
