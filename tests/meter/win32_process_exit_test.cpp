// A child process (this executable with kChildArgument) returns from main while the meter runs
// against the simulator with the task queue aimed at a window, and must end cleanly: neither the
// acquisition thread nor a static that stops the meter late finds the queue, its wake-up, the
// platform or the log path gone. Under Wine a crash may still exit with 0, so the child's log must
// end with the thread's last words; Wine's crash report goes to the standard error shared with
// this test, where the test runner looks for it.
#include <windows.h>

#include <gmock/gmock.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "runner/meter/miernik.h"
#include "runner/meter/win32_ui_wake_up.h"
#include "runner/win32_unique_handle.h"
#include "tests/meter/win32_message_window.h"
#include "tests/support/meter_simulator_client.h"

namespace {

using meter_link::MessageWindow;
using meter_link::PumpMessagesUntil;

constexpr char kChildArgument[] = "--return-with-the-meter-running";

// Stands for the shell's bridge: built before main, so destroyed after every static built later;
// it stops the meter, which joins a thread that is still posting and logging.
struct Shell {
  std::unique_ptr<MessageWindow> window;
  std::shared_ptr<meter_link::Miernik> meter;
  ~Shell() {
    if (meter) meter->Stop();
  }
} shell;

int ReturnWithTheMeterRunning() {
  std::string error;
  const auto simulator = MeterSimulatorClient::FromEnvironment(&error);
  if (!simulator || simulator->Command("reset") != "ok") return 2;
  shell.window = std::make_unique<MessageWindow>();
  meter_link::SetUiTaskWindow(shell.window->Handle(), meter_link::Win32UiWakeUp());
  shell.meter = meter_link::Miernik::Create(nullptr);
  if (!shell.meter->Start()) return 3;
  // Two polls seen by the meter: the thread is in its loop, and the window handles wake-ups.
  return PumpMessagesUntil([&] { return simulator->Number("polls?") >= 2; }, 15000) ? 0 : 4;
}

TEST(ProcessExit, ReturningFromMainWithTheMeterRunningEndsCleanly) {
  // The child logs below a folder of its own.
  const std::filesystem::path base =
      std::filesystem::temp_directory_path() / ("exit" + std::to_string(GetCurrentProcessId()));
  ASSERT_TRUE(std::filesystem::create_directories(base));
  SetEnvironmentVariableW(L"LOCALAPPDATA", base.c_str());

  std::wstring self(MAX_PATH + 1, L'\0');
  self.resize(GetModuleFileNameW(nullptr, &self[0], static_cast<DWORD>(self.size())));
  std::wstring commandLine =
      L"\"" + self + L"\" " +
      std::wstring(kChildArgument, kChildArgument + sizeof kChildArgument - 1);
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION info{};
  ASSERT_TRUE(CreateProcessW(self.c_str(), &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr,
                             nullptr, &startup, &info));
  const UniqueKernelHandle process(info.hProcess), thread(info.hThread);

  const bool ended = WaitForSingleObject(process.get(), 60000) == WAIT_OBJECT_0;
  if (!ended) TerminateProcess(process.get(), 99);
  DWORD code = 99;
  GetExitCodeProcess(process.get(), &code);
  std::ifstream file(base / "Lumerovantix" / "logi" / "app.log", std::ios::binary);
  const std::string log{std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
  file.close();  // before the folder goes
  std::error_code ignored;
  std::filesystem::remove_all(base, ignored);
  EXPECT_TRUE(ended) << "the child hangs on its way out";
  EXPECT_EQ(code, 0u);
  // Posted by the acquisition thread as it ends, joined by the static after the statics of the
  // meter link would have gone.
  EXPECT_THAT(log, ::testing::EndsWith("stan: zadanie zlecone\r\n"));
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 2 && std::string(argv[1]) == kChildArgument) return ReturnWithTheMeterRunning();
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
