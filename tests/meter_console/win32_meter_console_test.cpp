// lumero-meter under Wine against the meter simulator on COM20: the program itself, started with
// its output in files and a log folder of its own, and Ctrl-C in-process (Wine 8 delivers no
// console control event to another program: GenerateConsoleCtrlEvent fails).
#include <windows.h>

#include <gmock/gmock.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <mutex>
#include <regex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "runner/meter/meter_ports.h"
#include "runner/meter_console/console_exit_codes.h"
#include "runner/meter_console/win32_console_control.h"
#include "runner/meter_console/win32_read_command.h"
#include "runner/wide_to_utf8.h"
#include "runner/win32_unique_handle.h"
#include "tests/support/meter_simulator_client.h"
#include "tests/support/win32_console_run.h"
#include "tests/support/win32_device_nodes.h"
#include "tests/support/win32_scratch.h"

namespace meter_console {
namespace {

using Lines = std::vector<std::string>;
using test_support::FileText;
using test_support::LinesOf;
using test_support::NewScratchFolder;
using ::testing::Contains;
using ::testing::ElementsAre;
using ::testing::HasSubstr;

std::filesystem::path ToolPath() {
  wchar_t path[MAX_PATH] = {};
  GetEnvironmentVariableW(L"LUMERO_METER_CONSOLE", path, MAX_PATH);
  return path;
}

struct ToolRun {
  DWORD exitCode = STILL_ACTIVE;
  Lines out;
  Lines err;
  Lines log;
};

// Runs lumero-meter with arguments, LOCALAPPDATA in a folder of its own.
ToolRun RunTool(const std::wstring& arguments) {
  const std::filesystem::path folder = NewScratchFolder("meter");
  const test_support::ConsoleRun console = test_support::RunConsoleProgram(
      ToolPath(), arguments, folder, {L"LOCALAPPDATA=" + folder.wstring()});
  ToolRun run;
  run.exitCode = console.exitCode;
  run.out = console.out;
  run.err = console.err;
  run.log = LinesOf(FileText(folder / "Lumerovantix" / "logi" / "app.log"));
  std::filesystem::remove_all(folder);
  return run;
}

class MeterConsoleTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string error;
    ASSERT_TRUE(simulator = MeterSimulatorClient::FromEnvironmentReset(&error)) << error;
  }
  std::unique_ptr<MeterSimulatorClient> simulator;
};

// A console program beside the host program; the simulator's port listed and marked; three
// readings of the set value in CSV; the tool's own lines around the meter module's in the log.
TEST_F(MeterConsoleTest, ListsThePortAndTakesThreeReadings) {
  EXPECT_TRUE(std::filesystem::exists(ToolPath().parent_path() / "Lumerovantix.exe"));
  const std::string image = FileText(ToolPath());
  ASSERT_GT(image.size(), 0x400u);
  const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(image.data());
  const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS64*>(image.data() + dos->e_lfanew);
  EXPECT_EQ(nt->OptionalHeader.Subsystem, IMAGE_SUBSYSTEM_WINDOWS_CUI);

  const ToolRun ports = RunTool(L"ports");
  EXPECT_EQ(ports.exitCode, static_cast<DWORD>(kExitOk));
  EXPECT_THAT(ports.out, ElementsAre("COM20  \\\\.\\COM20  (tego portu użyje program)"));

  ASSERT_EQ(simulator->Command("value 4321 1 1"), "ok");
  const ToolRun read = RunTool(L"read --count 3 --csv");
  EXPECT_EQ(read.exitCode, static_cast<DWORD>(kExitOk));
  ASSERT_EQ(read.out.size(), 4u) << ::testing::PrintToString(read.err);
  EXPECT_EQ(read.out[0], "czas,nr,lux,zakres,kod,przeciazenie,raw");
  const std::regex reading(R"(\d{4}-\d\d-\d\d \d\d:\d\d:\d\d\.\d{3},\d+,432\.1,400 lx,1,1,4321)");
  for (size_t i = 1; i < 4; ++i) EXPECT_TRUE(std::regex_match(read.out[i], reading)) << read.out[i];
  EXPECT_EQ(read.err.back(), "podsumowanie: odczyty 3, bez odpowiedzi 0, błędy 0");
  ASSERT_GE(read.log.size(), 3u);
  EXPECT_TRUE(std::regex_match(read.log.front(),
                               std::regex(R"(\d{4}-\d\d-\d\d \d\d:\d\d:\d\d\.\d{3} \[INFO\] )"
                                          "miernik: konsola: start lumero-meter read --count 3 "
                                          "--csv")));
  EXPECT_THAT(read.log[1], HasSubstr("] miernik: start: wejście"));
  EXPECT_THAT(read.log.back(), HasSubstr("] miernik: konsola: koniec lumero-meter, kod 0 "
                                         "(odczyty 3, bez odpowiedzi 0, błędy 0)"));
}

// Of two cables the first found is marked, and read takes its readings there. Wine enumerates
// instance keys by name: the simulator's ("LUMEROSIM20") comes before the other cable's, whose
// port does not exist.
TEST_F(MeterConsoleTest, OfTwoCablesTheFirstFoundIsMarkedAndRead) {
  const std::wstring second = kCableKey + L"\\ZZ0002";
  AddDevice(second, kCableId, L"COM29");
  const ToolRun ports = RunTool(L"ports");
  const ToolRun read = RunTool(L"read --count 1");
  RegDeleteTreeW(HKEY_LOCAL_MACHINE, second.c_str());
  EXPECT_THAT(ports.out, ElementsAre("COM20  \\\\.\\COM20  (tego portu użyje program)",
                                     "COM29  \\\\.\\COM29"));
  EXPECT_EQ(read.exitCode, static_cast<DWORD>(kExitOk)) << ::testing::PrintToString(read.err);
  EXPECT_EQ(read.out.size(), 1u);
}

// Under Wine the pulled cable shows at the next write, as error 21.
TEST_F(MeterConsoleTest, APulledCableEndsWithTheProgramsTextAndStatusOne) {
  ASSERT_EQ(simulator->Command("unplug-after 2"), "ok");
  const ToolRun run = RunTool(L"read");
  simulator->Command("plug");
  EXPECT_EQ(run.exitCode, static_cast<DWORD>(kExitError));
  EXPECT_EQ(run.out.size(), 2u);
  EXPECT_THAT(run.err, Contains(WideToUtf8(meter_link::SystemErrorText(21))));
  EXPECT_TRUE(std::regex_match(run.err.back(), std::regex("podsumowanie: odczyty 2, bez "
                                                          "odpowiedzi \\d+, błędy 1")))
      << run.err.back();
}

TEST_F(MeterConsoleTest, NoCableGivesTheProgramsTextAndStatusTwo) {
  ASSERT_EQ(simulator->Command("unplug"), "ok");
  const ToolRun ports = RunTool(L"ports");
  const ToolRun read = RunTool(L"read --count 1");
  simulator->Command("plug");
  EXPECT_EQ(ports.exitCode, static_cast<DWORD>(kExitNoCable));
  EXPECT_THAT(ports.out, ElementsAre());
  EXPECT_THAT(ports.err, Contains("Nie widzę miernika Sonel na USB"));
  EXPECT_EQ(read.exitCode, static_cast<DWORD>(kExitNoCable));
  EXPECT_THAT(read.err, Contains("Nie widzę miernika Sonel na USB"));
  EXPECT_EQ(read.err.back(), "podsumowanie: odczyty 0, bez odpowiedzi 0, błędy 1");
}

TEST_F(MeterConsoleTest, ABadOptionGivesStatus64) {
  const ToolRun run = RunTool(L"read --bogus");
  EXPECT_EQ(run.exitCode, static_cast<DWORD>(kExitUsage));
  EXPECT_THAT(run.err, Contains("lumero-meter: nieznana opcja: --bogus"));
  EXPECT_THAT(run.log.back(), HasSubstr("konsola: koniec lumero-meter, kod 64"));
}

class SharedOutput : public ConsoleOutput {  // written on the loop's thread, read on another
 public:
  void Out(const std::string& line) override { Add(&out, line); }
  void Err(const std::string& line) override { Add(&err, line); }
  Lines OutLines() { return Copy(out); }
  Lines ErrLines() { return Copy(err); }

 private:
  void Add(Lines* lines, const std::string& line) {
    std::lock_guard<std::mutex> lock(mutex);
    lines->push_back(line);
  }
  Lines Copy(const Lines& lines) {
    std::lock_guard<std::mutex> lock(mutex);
    return lines;
  }
  std::mutex mutex;
  Lines out, err;
};

// The routine is called as Windows would, on a thread of its own, once a reading has come; the
// read ends with 130 within a second, meter stopped and summary printed. Outside a read, and for
// other events, the default handling stays.
TEST_F(MeterConsoleTest, CtrlCEndsTheReadWithinASecond) {
  SharedOutput output;
  std::chrono::steady_clock::time_point pressed;
  BOOL handled = FALSE;
  std::atomic<bool> ended{false};
  const DWORD loopThread = GetCurrentThreadId();
  std::thread user([&] {
    EXPECT_TRUE(WaitUntil([&] { return !output.OutLines().empty(); }, std::chrono::seconds(15)));
    pressed = std::chrono::steady_clock::now();
    handled = MeterConsoleControlRoutine(CTRL_C_EVENT);
    // A read that ignores Ctrl-C fails here instead of hanging the test.
    if (!WaitUntil([&] { return ended.load(); }, std::chrono::seconds(10)))
      PostThreadMessageW(loopThread, WM_QUIT, 0, 0);
  });
  ConsoleCommand read;
  read.kind = ConsoleCommandKind::kRead;
  const ReadOutcome outcome = RunReadCommand(read, output);
  const auto took = std::chrono::duration_cast<std::chrono::milliseconds>(
      std::chrono::steady_clock::now() - pressed);
  ended = true;
  user.join();
  EXPECT_TRUE(handled);
  EXPECT_EQ(outcome.exitStatus, kExitInterrupted);
  EXPECT_LT(took.count(), 1000);
  std::printf("Ctrl-C to the end of the read: %lld ms\n", static_cast<long long>(took.count()));
  EXPECT_THAT(output.ErrLines().back(), HasSubstr("podsumowanie: odczyty "));
  const int polls = simulator->Number("polls?");
  Sleep(1500);  // longer than a poll period
  EXPECT_EQ(simulator->Number("polls?"), polls) << "the meter still polls";
  EXPECT_FALSE(MeterConsoleControlRoutine(CTRL_C_EVENT));
  EXPECT_FALSE(MeterConsoleControlRoutine(CTRL_CLOSE_EVENT));
}

}  // namespace
}  // namespace meter_console
