// Lumerovantix.exe itself, started detached with an environment of its own: a stand-in script
// plays the interface, the meter simulator the cable; the transcript, the log, the exit code and
// the window's visibility tell what happened.

#include <gtest/gtest.h>
#include <windows.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include "runner/win32_unique_handle.h"
#include "tests/support/meter_simulator_client.h"
#include "tests/support/win32_scratch.h"

namespace {

using Lines = std::vector<std::string>;
using test_support::EnvironmentWith;
using test_support::FileText;
using test_support::NewScratchFolder;

// A visible window of the host's class of that process, or null. (Wine 8 sends other processes
// no EVENT_OBJECT_SHOW, so the test looks instead.)
HWND VisibleHostWindow(DWORD process) {
  for (HWND window = nullptr;
       (window = FindWindowExW(nullptr, window, L"FLUTTER_RUNNER_WIN32_WINDOW", nullptr));) {
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    if (owner == process && IsWindowVisible(window)) return window;
  }
  return nullptr;
}

// "title left,top widthxheight": the title and the outer rectangle on the screen.
std::string Describe(HWND window) {
  wchar_t title[64] = {};
  GetWindowTextW(window, title, 64);
  RECT rect = {};
  GetWindowRect(window, &rect);
  return std::string(title, title + std::wcslen(title)) + " " + std::to_string(rect.left) + "," +
         std::to_string(rect.top) + " " + std::to_string(rect.right - rect.left) + "x" +
         std::to_string(rect.bottom - rect.top);
}

// The summaries of the transcript lines of "<channel> <direction>" (a prefix of the direction).
Lines Summaries(const std::string& transcript, const std::string& channelAndDirection) {
  Lines found;
  std::istringstream lines(transcript);
  for (std::string line; std::getline(lines, line);)
    if (line.compare(line.find(' ') + 1, channelAndDirection.size(), channelAndDirection) == 0)
      found.push_back(line.substr(line.find(" | ") + 3));
  return found;
}

struct ProgramRun {
  DWORD exitCode = STILL_ACTIVE;
  bool shown = false;  // a host window was seen visible
  std::string window;  // Describe of it when first seen visible
  int console = -1;    // once it was shown: whether AttachConsole to it succeeded
  std::string transcript;
  std::string log;
};

// Runs the program until it ends (at most a minute) with the script, its own LOCALAPPDATA and
// transcript, and the extra variables ("NAME=value") in its environment.
ProgramRun RunProgram(const std::wstring& arguments, const std::string& script,
                      const std::vector<std::wstring>& variables = {}) {
  const std::filesystem::path folder = NewScratchFolder("program");
  std::ofstream(folder / "script.txt") << script;
  std::vector<std::wstring> own = variables;
  own.push_back(L"LOCALAPPDATA=" + folder.wstring());
  own.push_back(L"LUMERO_STANDIN_SCRIPT=" + (folder / "script.txt").wstring());
  own.push_back(L"LUMERO_STANDIN_TRANSCRIPT=" + (folder / "transcript.txt").wstring());
  std::wstring environment = EnvironmentWith(own);

  const char* path = std::getenv("LUMERO_PROGRAM");  // ASCII: a path of the build
  const std::filesystem::path program(std::wstring(path, path + std::strlen(path)));
  std::wstring commandLine = L"\"" + program.wstring() + L"\" " + arguments;
  STARTUPINFOW startup = {};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION started = {};
  ProgramRun run;
  // Detached: no console to attach to.
  if (!CreateProcessW(program.c_str(), commandLine.data(), nullptr, nullptr, FALSE,
                      CREATE_UNICODE_ENVIRONMENT | DETACHED_PROCESS, environment.data(),
                      program.parent_path().c_str(), &startup, &started)) {
    ADD_FAILURE() << "cannot start " << path << ": error " << GetLastError();
    return run;
  }
  const UniqueKernelHandle process(started.hProcess), thread(started.hThread);
  // Looked at every 10 ms while it runs; the console once the window is up.
  for (const ULONGLONG end = GetTickCount64() + 60000; GetTickCount64() < end;) {
    if (WaitForSingleObject(process.get(), 10) == WAIT_OBJECT_0) break;
    if (!run.shown) {
      const HWND window = VisibleHostWindow(started.dwProcessId);
      run.shown = window != nullptr;
      if (run.shown) run.window = Describe(window);
    }
    if (run.shown && run.console < 0) {
      FreeConsole();
      run.console = AttachConsole(started.dwProcessId) ? 1 : 0;
      if (run.console) FreeConsole();
    }
  }
  if (!GetExitCodeProcess(process.get(), &run.exitCode) || run.exitCode == STILL_ACTIVE) {
    ADD_FAILURE() << "the program did not end within a minute";
    TerminateProcess(process.get(), 99);
  }
  run.transcript = FileText(folder / "transcript.txt");
  EXPECT_EQ(Summaries(run.transcript, "- error"), Lines{}) << "broken engine contract";
  run.log = FileText(folder / "Lumerovantix" / "logi" / "app.log");
  std::filesystem::remove_all(folder);
  return run;
}

// A whole session: the window as the program opens it, the meter's channels and the machine
// identity wired to the engine, the cable pulled, then the window closed; and three arguments
// that reach the engine as UTF-8. The services' values are their own tests'.
TEST(ProgramTest, RunsASessionWithTheMeterAndEndsWithCodeZero) {
  std::string error;
  const auto simulator = MeterSimulatorClient::FromEnvironment(&error);
  ASSERT_TRUE(simulator) << error;
  ASSERT_EQ(simulator->Command("unplug-after 2"), "ok");  // cable out after two readings
  const std::string port = simulator->Command("com?").substr(4);

  const ProgramRun run = RunProgram(L"\"with blank\" za\x017C\x00F3\x0142\x0107 a\xD800z", R"(
    call lumerovantix/sonel listen
    await-reply
    call lumerovantix/sonel_info stan
    await-reply
    await-event lumerovantix/sonel 10000
    call lumerovantix/sonel_info porty
    await-reply
    call lumerovantix/sonel_info start
    await-reply
    await-event lumerovantix/sonel 20000 blad
    await-event lumerovantix/sonel 10000 stan
    call lumerovantix/sonel_info stop
    await-reply
    call lumerovantix/device id
    await-reply
    close
  )",
                                    {L"LUMERO_STANDIN_DPI=96"});
  EXPECT_EQ(run.exitCode, 0u);
  EXPECT_EQ(run.window, "Lumerovantix 10,10 1440x900");
  EXPECT_EQ(run.console, 0) << "started detached without a debugger, it has no console";
  // Every awaited reply and event came, "blad" of the pulled cable among them.
  EXPECT_NE(run.transcript.find(" - script 0 - | done\n"), std::string::npos) << run.transcript;
  const Lines engine = Summaries(run.transcript, "- engine");
  ASSERT_FALSE(engine.empty());
  EXPECT_EQ(
      engine.front(),
      R"(created: assets=data\flutter_assets icu=data\icudtl.dat aot=data\app.so )"
      "entrypoint=\"\" argc=3 argv=[\"with blank\", \"za\xC5\xBC\xC3\xB3\xC5\x82\xC4\x87\", \"\"]");

  EXPECT_EQ(Summaries(run.transcript, "lumerovantix/sonel_info host-reply"),
            Lines({"success true", "success [\"" + port + "\"]", "success true", "success true"}));
  const Lines identity = Summaries(run.transcript, "lumerovantix/device host-reply");
  ASSERT_EQ(identity.size(), 1u);
  EXPECT_EQ(identity[0].rfind("success \"", 0), 0u) << identity[0];

  size_t at = 0;  // the log's milestones in order
  for (const char* milestone : {"rejestracja: start", "kanał: metoda listen", "start: wejście",
                                "emisja: Send", "metoda: stop"})
    EXPECT_NE(at = run.log.find(milestone, at), std::string::npos) << milestone << "\n" << run.log;
}

TEST(ProgramTest, WithoutAViewControllerEndsWithCodeOneAndNoWindowShown) {
  const ProgramRun run = RunProgram(L"", "", {L"LUMERO_STANDIN_FAIL_VIEW_CONTROLLER=1"});
  EXPECT_EQ(run.exitCode, 1u);
  EXPECT_FALSE(run.shown);
  EXPECT_EQ(Summaries(run.transcript, "- view"), Lines{"creation refused (failure switch)"});
}

}  // namespace
