// "lumero-meter report" under Wine, with the meter simulator on COM21: the program itself with a
// log and fake dumps in a scratch LOCALAPPDATA, always with --to (a Wine prefix's Desktop is the
// Linux user's home). The LocalDumps key and a cable with a known driver are set up in-process
// under a stand-in for HKEY_LOCAL_MACHINE. Every archive is kept for check_report_archives.sh,
// which opens it with unzip and Python's zipfile after this program has passed.
#include <windows.h>

#include <gmock/gmock.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <regex>
#include <string>
#include <vector>

#include "runner/diagnostics/native_log.h"
#include "runner/meter_console/console_exit_codes.h"
#include "runner/meter_console/report_text.h"
#include "runner/meter_console/win32_meter_console.h"
#include "runner/meter_console/win32_process_list.h"
#include "runner/wide_to_utf8.h"
#include "tests/support/meter_simulator_client.h"
#include "tests/support/win32_console_run.h"
#include "tests/support/win32_own_machine_key.h"
#include "tests/support/win32_scratch.h"
#include "tests/support/zip_reader.h"

namespace meter_console {
namespace {

namespace fs = std::filesystem;
using Lines = std::vector<std::string>;
using test_support::FileText;
using test_support::LinesOf;
using ::testing::Contains;
using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::Not;

const char kLog[] =
    "2026-12-08 09:00:00.000 [INFO] miernik: start: wejście\r\n"
    "2026-12-08 09:00:00.004 [INFO] miernik: porty: znalezione=1\r\n";

fs::path ToolPath() { return std::getenv("LUMERO_METER_CONSOLE"); }  // ASCII: a build path

std::string ComputerName() {
  wchar_t name[MAX_COMPUTERNAME_LENGTH + 1] = {};
  DWORD length = MAX_COMPUTERNAME_LENGTH + 1;
  EXPECT_TRUE(GetComputerNameW(name, &length));
  return WideToUtf8(name);
}

void PutFile(const fs::path& path, const std::string& bytes, std::chrono::hours age) {
  fs::create_directories(path.parent_path());
  std::ofstream(path, std::ios::binary) << bytes;
  fs::last_write_time(path, fs::file_time_type::clock::now() - age);
}

struct Archive {
  Lines names;
  std::vector<std::string> data;
  Lines report;
  const std::string& Entry(const std::string& name) const {
    static const std::string none;
    for (size_t i = 0; i < names.size(); ++i)
      if (names[i] == name) return data[i];
    return none;
  }
};

// Reads the archive back and keeps a copy, named after the case, for the external check.
Archive ReadAndKeep(const fs::path& path, const std::string& keptAs) {
  Archive archive;
  std::vector<test_support::ZipEntry> entries;
  std::string error;
  EXPECT_TRUE(test_support::ReadZip(FileText(path), &entries, &error)) << path << ": " << error;
  std::string names;
  for (const auto& entry : entries) {
    archive.names.push_back(entry.name);
    archive.data.push_back(entry.data);
    names += (names.empty() ? "" : "\n") + entry.name;
  }
  archive.report = LinesOf(archive.Entry("report.txt"));
  const char* kept = std::getenv("LUMERO_REPORT_ARCHIVES");
  EXPECT_NE(kept, nullptr) << "run by check_report_archives.sh";
  if (kept != nullptr) {
    fs::copy_file(path, fs::path(kept) / (keptAs + ".zip"), fs::copy_options::overwrite_existing);
    std::ofstream(fs::path(kept) / (keptAs + ".zip.entries"), std::ios::binary) << names;
  }
  return archive;
}

::testing::AssertionResult AnyMatches(const Lines& lines, const std::string& pattern) {
  for (const std::string& line : lines)
    if (std::regex_match(line, std::regex(pattern))) return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure() << "no line matches " << pattern;
}

Lines FilesIn(const fs::path& folder) {
  Lines files;
  for (const auto& entry : fs::recursive_directory_iterator(folder))
    files.push_back(fs::relative(entry.path(), folder).generic_string());
  std::sort(files.begin(), files.end());
  return files;
}

class ReportTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string error;
    ASSERT_TRUE(simulator = MeterSimulatorClient::FromEnvironmentReset(&error)) << error;
    folder = test_support::NewScratchFolder("report");
    appData = folder / "appdata";
    logFile = appData / "Lumerovantix" / "logi" / "app.log";
    dumps = appData / "Lumerovantix" / "zrzuty";
    target = folder / "na pulpit";
    fs::create_directories(target);
    fs::create_directories(appData);  // the log makes only its own two folders
  }
  void TearDown() override { fs::remove_all(folder); }

  test_support::ConsoleRun Report(const std::wstring& to) {
    const auto run = test_support::RunConsoleProgram(
        ToolPath(), L"report --to \"" + to + L"\"", folder, {L"LOCALAPPDATA=" + appData.wstring()});
    log = LinesOf(FileText(logFile));
    return run;
  }

  std::unique_ptr<MeterSimulatorClient> simulator;
  fs::path folder, appData, logFile, dumps, target;
  Lines log;
};

// The archive appears under its documented name, its full path the only line of standard output;
// it holds the log, the program's two dumps newest first and report.txt with this machine's facts.
TEST_F(ReportTest, GathersTheLogTheProgramsDumpsAndTheFacts) {
  PutFile(logFile, kLog, std::chrono::hours(0));
  PutFile(dumps / "Lumerovantix.exe.100.dmp", std::string("MDMP\0old", 8), std::chrono::hours(48));
  PutFile(dumps / "Lumerovantix.exe.200.dmp", std::string("MDMP\0new!", 9), std::chrono::hours(24));
  PutFile(dumps / "notatki.txt", "prywatne", std::chrono::hours(1));

  const auto run = Report(target.wstring());
  EXPECT_EQ(run.exitCode, static_cast<DWORD>(kExitOk));
  ASSERT_EQ(run.out.size(), 1u) << ::testing::PrintToString(run.err);
  const fs::path archivePath = fs::u8path(run.out[0]);
  EXPECT_EQ(archivePath.parent_path(), target);
  EXPECT_TRUE(std::regex_match(
      archivePath.filename().string(),
      std::regex("Lumerovantix-report-" + ComputerName() + R"(-20\d{6}-\d{6}\.zip)")))
      << archivePath;
  EXPECT_THAT(FilesIn(target), ElementsAre(archivePath.filename().string()));
  EXPECT_THAT(log.back(), HasSubstr("konsola: koniec lumero-meter, kod 0 (archiwum " +
                                    archivePath.string() + ")"));

  const Archive archive = ReadAndKeep(archivePath, "facts");
  EXPECT_THAT(archive.names, ElementsAre("app.log", "zrzuty/Lumerovantix.exe.200.dmp",
                                         "zrzuty/Lumerovantix.exe.100.dmp", "report.txt"));
  EXPECT_EQ(archive.Entry("app.log").rfind(kLog, 0), 0u) << "the log, then the tool's start line";
  EXPECT_THAT(LinesOf(archive.Entry("app.log")),
              Contains(HasSubstr("] miernik: konsola: start lumero-meter report --to ")));
  EXPECT_EQ(archive.Entry("zrzuty/Lumerovantix.exe.200.dmp"), std::string("MDMP\0new!", 9));

  const Lines& report = archive.report;
  EXPECT_THAT(report, Contains("Komputer: " + ComputerName()));
  EXPECT_TRUE(AnyMatches(report, R"(Windows: .+, kompilacja [0-9]+(\.[0-9]+)?)"));
  EXPECT_TRUE(
      AnyMatches(report, R"(Wolne miejsce na dysku z logiem \(.:\\\): [0-9]+(,[0-9])? [KMGT]?B)"));
  EXPECT_THAT(report, Contains("Lumerovantix uruchomiony: nie"));
  EXPECT_THAT(report, Contains("  lumero-meter.exe: 2026.11.031"));
  EXPECT_THAT(report, Contains("  Lumerovantix.exe: 2026.11.031"));
  for (const char* file : {"flutter_windows.dll", "file_selector_windows_plugin.dll",
                           "permission_handler_windows_plugin.dll", "record_windows_plugin.dll",
                           "speech_to_text_windows_plugin.dll", "url_launcher_windows_plugin.dll"})
    EXPECT_THAT(report, Contains(::testing::StartsWith(std::string("  ") + file + ": "))) << file;
  EXPECT_THAT(report, Not(Contains(HasSubstr(": brak pliku"))));
  EXPECT_THAT(report, Contains("  COM21  \\\\.\\COM21  (tego portu użyje program)  sterownik: "
                               "wersja nieznana"));
  EXPECT_THAT(report, Contains("  klucz LocalDumps\\Lumerovantix.exe: brak, folder domyślny "
                               "%LOCALAPPDATA%\\Lumerovantix\\zrzuty"));
  EXPECT_THAT(report, Contains("  folder: plików 3, w tym zrzutów programu 2"));
  EXPECT_TRUE(AnyMatches(report, R"(  zrzuty/Lumerovantix\.exe\.100\.dmp  8 B  20\d\d-.*)"));
  EXPECT_THAT(report, Contains("  nic")) << "nothing left out";
}

// Only the lines that begin within the last 4 MiB; no dump folder is a finding, not a failure.
TEST_F(ReportTest, ALongLogIsCutAtALineBoundary) {
  std::string longLog;
  for (int i = 0; longLog.size() <= (5u << 20); ++i)
    longLog += "2026-12-08 09:00:00.000 [INFO] miernik: emisja: Send " + std::to_string(i) + "\r\n";
  PutFile(logFile, longLog, std::chrono::hours(0));

  const auto run = Report(target.wstring());
  EXPECT_EQ(run.exitCode, static_cast<DWORD>(kExitOk));
  ASSERT_EQ(run.out.size(), 1u) << ::testing::PrintToString(run.err);
  const Archive archive = ReadAndKeep(fs::u8path(run.out[0]), "long-log");
  EXPECT_THAT(archive.names, ElementsAre("app.log", "report.txt"));
  const std::string& part = archive.Entry("app.log");
  EXPECT_LE(part.size(), 4u << 20);
  EXPECT_GT(part.size(), (4u << 20) - 200);
  const std::string whole = FileText(logFile);  // with the tool's start and end lines
  const size_t at = whole.find(part);
  ASSERT_NE(at, std::string::npos);
  EXPECT_EQ(whole[at - 1], '\n') << "starts at a line";
  EXPECT_THAT(archive.report,
              Contains(HasSubstr(" B z " + std::to_string(at + part.size()) + " B, limit 4 MiB)")));
  EXPECT_THAT(archive.report, Contains("  folder: nie istnieje"));
}

// Status 1 and the reason, and no archive: a folder that does not exist, a file, and an archive
// that cannot take its final name (a folder of that name stands there).
TEST_F(ReportTest, ATargetThatCannotTakeTheArchiveFails) {
  const fs::path missing = folder / "nie ma";
  auto run = Report(missing.wstring());
  EXPECT_EQ(run.exitCode, static_cast<DWORD>(kExitError));
  EXPECT_THAT(run.out, ElementsAre());
  EXPECT_THAT(run.err, Contains("lumero-meter: folder docelowy nie istnieje: " + missing.string()));
  EXPECT_THAT(log.back(), HasSubstr("konsola: koniec lumero-meter, kod 1"));

  const fs::path file = target / "raport.txt";
  std::ofstream(file) << "x";
  run = Report(file.wstring());
  EXPECT_EQ(run.exitCode, static_cast<DWORD>(kExitError));
  EXPECT_THAT(run.err, Contains("lumero-meter: to nie jest folder: " + file.string()));

  // The names of the next seconds, taken by folders.
  SYSTEMTIME now{};
  GetLocalTime(&now);
  FILETIME moment{};
  SystemTimeToFileTime(&now, &moment);
  for (int second = 0; second < 5; ++second) {
    SYSTEMTIME then{};
    const ULONGLONG units =
        ((ULONGLONG)moment.dwHighDateTime << 32 | moment.dwLowDateTime) + second * 10000000ull;
    const FILETIME later{static_cast<DWORD>(units), static_cast<DWORD>(units >> 32)};
    FileTimeToSystemTime(&later, &then);
    fs::create_directory(
        target / ReportArchiveName(ComputerName(), {then.wYear, then.wMonth, then.wDay, then.wHour,
                                                    then.wMinute, then.wSecond, 0}));
  }
  const Lines before = FilesIn(target);
  run = Report(target.wstring());
  EXPECT_EQ(run.exitCode, static_cast<DWORD>(kExitError));
  EXPECT_THAT(run.err, Contains(HasSubstr("lumero-meter: nie mogę zapisać archiwum ")));
  EXPECT_EQ(FilesIn(target), before) << "nothing left behind";
}

TEST(ProcessList, FindsItselfAndNoProgram) {
  wchar_t path[MAX_PATH] = {};
  GetModuleFileNameW(nullptr, path, MAX_PATH);
  EXPECT_EQ(IsProcessRunning(fs::path(path).filename().c_str()), ProgramRunning::kYes);
  EXPECT_EQ(IsProcessRunning(L"Lumerovantix.exe"), ProgramRunning::kNo);
}

class RecordingOutput : public ConsoleOutput {
 public:
  void Out(const std::string& line) override { out.push_back(line); }
  void Err(const std::string& line) override { err.push_back(line); }
  Lines out, err;
};

void CreateVolatileKey(const std::wstring& path, const std::wstring& name, DWORD type,
                       const std::wstring& value) {
  HKEY created = nullptr;
  ASSERT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, nullptr, REG_OPTION_VOLATILE,
                            KEY_ALL_ACCESS, nullptr, &created, nullptr),
            ERROR_SUCCESS)
      << WideToUtf8(path);
  const UniqueRegistryKey key(created);
  const DWORD bytes = static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t));
  ASSERT_EQ(RegSetValueExW(key.get(), name.c_str(), 0, type,
                           reinterpret_cast<const BYTE*>(value.c_str()), bytes),
            ERROR_SUCCESS);
}

// In this process, HKEY_LOCAL_MACHINE is a stand-in: the LocalDumps key names another folder
// (expanded), and the only cable has a driver that tells its version.
TEST(ReportWithTheDumpKey, TakesTheDumpsWhereTheKeySaysAndTheCablesDriver) {
  const fs::path folder = test_support::NewScratchFolder("report-key");
  const fs::path appData = folder / "appdata";
  ASSERT_TRUE(SetEnvironmentVariableW(L"LOCALAPPDATA", appData.c_str()));  // before any log line
  PutFile(appData / "inne zrzuty" / "Lumerovantix.exe.300.dmp", "MDMP300", std::chrono::hours(2));
  PutFile(appData / "Lumerovantix" / "zrzuty" / "Lumerovantix.exe.400.dmp", "MDMP400",
          std::chrono::hours(1));
  fs::create_directories(folder / "out");
  {
    const test_support::OwnMachineKey machine;
    const std::wstring ports = L"{4d36e978-e325-11ce-bfc1-08002be10318}";
    CreateVolatileKey(
        L"SOFTWARE\\Microsoft\\Windows\\Windows Error Reporting\\LocalDumps\\"
        L"Lumerovantix.exe",
        L"DumpFolder", REG_EXPAND_SZ, L"%LOCALAPPDATA%\\inne zrzuty");
    const std::wstring device = L"System\\CurrentControlSet\\Enum\\USB\\VID_10C4&PID_EA60\\report";
    CreateVolatileKey(device, L"HardwareID", REG_MULTI_SZ,
                      std::wstring(L"USB\\VID_10C4&PID_EA60&REV_0100") + L'\0');
    CreateVolatileKey(device, L"ClassGUID", REG_SZ, ports);
    CreateVolatileKey(device, L"Driver", REG_SZ, ports + L"\\0077");
    CreateVolatileKey(device + L"\\Device Parameters", L"PortName", REG_SZ, L"COM31");
    CreateVolatileKey(L"System\\CurrentControlSet\\Control\\Class\\" + ports + L"\\0077",
                      L"DriverVersion", REG_SZ, L"6.7.6.2130");

    RecordingOutput output;
    EXPECT_EQ(RunMeterConsole({"report", "--to", WideToUtf8((folder / "out").wstring())}, output),
              kExitOk);
    ASSERT_EQ(output.out.size(), 1u) << ::testing::PrintToString(output.err);
    const Archive archive = ReadAndKeep(fs::u8path(output.out[0]), "dump-key");
    EXPECT_THAT(archive.names,
                ElementsAre("app.log", "zrzuty/Lumerovantix.exe.300.dmp", "report.txt"));
    EXPECT_THAT(archive.report, Contains("  klucz LocalDumps\\Lumerovantix.exe: jest, folder "
                                         "%LOCALAPPDATA%\\inne zrzuty"));
    EXPECT_THAT(archive.report, Contains("  COM31  \\\\.\\COM31  (tego portu użyje program)  "
                                         "sterownik: 6.7.6.2130"));
  }
  fs::remove_all(folder);
}

}  // namespace
}  // namespace meter_console
