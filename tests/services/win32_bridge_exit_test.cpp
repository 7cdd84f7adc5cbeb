// A process that returns from main with the bridge still registered, listening and running (the
// window's teardown never ran) ends cleanly: the bridge's slots are released at exit like any
// static, and the meter's thread finds the queue, the platform and the log still there. The
// scenario runs in a child (this executable started again). Wine reports a crash on the standard
// error the child shares with the test runner, which fails the test on it; here the child's exit
// status and its log are the evidence. This file also brings the executable's main.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "channels/engine_project.h"
#include "channels/flutter_engine.h"
#include "runner/diagnostics/native_log.h"
#include "runner/meter/win32_meter_bridge.h"
#include "runner/win32_unique_handle.h"
#include "tests/meter/win32_message_window.h"
#include "tests/services/services_test_support.h"
#include "tests/support/meter_simulator_client.h"
#include "tools/stand_in_engine/stand_in_api.h"

namespace {

const std::string kChildArgument = "--return-with-the-bridge-registered";

// Stands for the host window that is never torn down; gone at exit before the bridge's slots.
struct Host {
  EngineProject project{L"data"};
  std::unique_ptr<flutter::FlutterEngine> engine;
  std::unique_ptr<meter_link::MessageWindow> window;
} host;

int ReturnWithTheBridgeRegistered() {
  std::string error;
  const auto simulator = MeterSimulatorClient::FromEnvironment(&error);
  if (!simulator || simulator->Command("reset") != "ok") return 2;
  host.engine = std::make_unique<flutter::FlutterEngine>(host.project);
  host.window = std::make_unique<meter_link::MessageWindow>();
  meter_link::RegisterMeterBridge(host.engine.get(), host.window->Handle());
  for (const char* method : {"listen", "start"}) {
    const Bytes call = Call(method);
    const char* channel = method[0] == 'l' ? "lumerovantix/sonel" : "lumerovantix/sonel_info";
    if (!StandInWaitForReply(StandInSend(channel, call.data(), call.size()), 15000)) return 3;
  }
  const bool polled = meter_link::PumpMessagesUntil(
      [&] { return simulator->Number("polls?") >= 2 && StandInHostMessageCount(nullptr) >= 3; },
      15000);
  if (!polled) return 4;
  LogMessage("test: main wraca");
  return 0;
}

TEST(BridgeExit, ReturningFromMainWithTheBridgeRegisteredEndsCleanly) {
  // The child logs into a folder of its own; this process keeps its log where it is.
  const std::filesystem::path folder = FreshFolder();
  std::wstring own(MAX_PATH, L'\0');
  own.resize(GetEnvironmentVariableW(L"LOCALAPPDATA", &own[0], MAX_PATH));
  SetEnvironmentVariableW(L"LOCALAPPDATA", folder.c_str());
  std::wstring self(MAX_PATH + 1, L'\0');
  self.resize(GetModuleFileNameW(nullptr, &self[0], static_cast<DWORD>(self.size())));
  std::wstring commandLine =
      L"\"" + self + L"\" " + std::wstring(kChildArgument.begin(), kChildArgument.end());
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION info{};
  ASSERT_TRUE(CreateProcessW(self.c_str(), &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr,
                             nullptr, &startup, &info));
  SetEnvironmentVariableW(L"LOCALAPPDATA", own.c_str());
  const UniqueKernelHandle process(info.hProcess);
  const UniqueKernelHandle thread(info.hThread);
  const bool ended = WaitForSingleObject(process.get(), 60000) == WAIT_OBJECT_0;
  if (!ended) TerminateProcess(process.get(), 99);
  DWORD code = 99;
  GetExitCodeProcess(process.get(), &code);
  const std::string log = ReadWhole(folder / "Lumerovantix" / "logi" / "app.log");
  std::filesystem::remove_all(folder);
  EXPECT_TRUE(ended) << "the child hangs on its way out";
  EXPECT_EQ(code, 0u);
  // The child got to the end of main; the meter's thread may have logged on during the exit.
  EXPECT_NE(log.find("miernik: test: main wraca\r\n"), std::string::npos) << log;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 2 && argv[1] == kChildArgument) return ReturnWithTheBridgeRegistered();
  // The log of this process goes to a folder of its own, read by the scenarios.
  const std::filesystem::path folder = FreshFolder();
  SetEnvironmentVariableW(L"LOCALAPPDATA", folder.c_str());
  ::testing::InitGoogleTest(&argc, argv);
  const int result = RUN_ALL_TESTS();
  std::filesystem::remove_all(folder);
  return result;
}
