// The stand-in engine itself: scripts, transcript, drops and switches (Windows, under Wine).

#include <gtest/gtest.h>

#include <chrono>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "channels/engine_project.h"
#include "channels/flutter_view_controller.h"
#include "tests/channels/descriptor_stderr_capture.h"
#include "tools/stand_in_engine/stand_in_api.h"

namespace flutter {
namespace {

constexpr unsigned kDeadlineMs = 5000;

// A plain top-level window standing for the host window; remembers that it was destroyed.
class HostWindow {
 public:
  HostWindow() {
    WNDCLASSW windowClass = {};
    windowClass.lpfnWndProc = Procedure;
    windowClass.hInstance = GetModuleHandleW(nullptr);
    windowClass.lpszClassName = L"StandInTestHost";
    RegisterClassW(&windowClass);  // Fails harmlessly when already registered.
    handle = CreateWindowExW(0, L"StandInTestHost", L"host", WS_OVERLAPPEDWINDOW, 0, 0, 400, 300,
                             nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
    SetWindowLongPtrW(handle, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
  }
  ~HostWindow() {
    if (!destroyed) {
      DestroyWindow(handle);
    }
  }
  HostWindow(const HostWindow&) = delete;
  HostWindow& operator=(const HostWindow&) = delete;

  void Adopt(HWND child) { SetParent(child, handle); }
  bool Destroyed() const { return destroyed; }
  HWND Handle() const { return handle; }

 private:
  static LRESULT CALLBACK Procedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
    auto* self = reinterpret_cast<HostWindow*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    if (message == WM_DESTROY && self != nullptr) {
      self->destroyed = true;
    }
    return DefWindowProcW(window, message, wparam, lparam);
  }

  HWND handle = nullptr;
  bool destroyed = false;
};

std::wstring TempPath(const std::wstring& name) {
  wchar_t folder[MAX_PATH];
  GetTempPathW(MAX_PATH, folder);
  return std::wstring(folder) + L"lumero_stand_in_" + std::to_wstring(GetCurrentProcessId()) +
         L"_" + name;
}

void WriteFile(const std::wstring& path, const std::string& text) {
  std::ofstream file(path.c_str(), std::ios::binary);
  file << text;
}

std::vector<std::string> ReadLines(const std::wstring& path) {
  std::ifstream file(path.c_str(), std::ios::binary);
  std::vector<std::string> lines;
  std::string line;
  while (std::getline(file, line)) {
    lines.push_back(line);
  }
  return lines;
}

// One transcript line taken apart.
struct TranscriptLine {
  double seconds = -1;
  std::string channel, direction, size, hex, summary;
};

TranscriptLine Parse(const std::string& line) {
  TranscriptLine parsed;
  const size_t bar = line.find(" | ");
  std::istringstream fields(line.substr(0, bar));
  fields >> parsed.seconds >> parsed.channel >> parsed.direction >> parsed.size >> parsed.hex;
  parsed.summary = bar == std::string::npos ? "" : line.substr(bar + 3);
  return parsed;
}

// The first line whose direction starts with prefix on channel; seconds -1 when none.
TranscriptLine Find(const std::vector<std::string>& lines, const std::string& channel,
                    const std::string& directionPrefix) {
  for (const std::string& line : lines) {
    TranscriptLine parsed = Parse(line);
    if (parsed.channel == channel && parsed.direction.rfind(directionPrefix, 0) == 0) {
      return parsed;
    }
  }
  return {};
}

bool HasLine(const std::vector<std::string>& lines, const std::string& text) {
  for (const std::string& line : lines) {
    if (line.find(text) != std::string::npos) {
      return true;
    }
  }
  return false;
}

class StandInEngineTest : public ::testing::Test {
 protected:
  void SetUp() override {
    StandInReset();
    transcriptPath = TempPath(std::wstring(L"transcript_") + TestName() + L".txt");
    scriptPath = TempPath(std::wstring(L"script_") + TestName() + L".txt");
    DeleteFileW(transcriptPath.c_str());
    SetEnvironmentVariableW(L"LUMERO_STANDIN_TRANSCRIPT", transcriptPath.c_str());
  }
  void TearDown() override {
    controller.reset();
    SetEnvironmentVariableW(L"LUMERO_STANDIN_TRANSCRIPT", nullptr);
    SetEnvironmentVariableW(L"LUMERO_STANDIN_SCRIPT", nullptr);
    SetEnvironmentVariableW(L"LUMERO_STANDIN_DPI", nullptr);
    DeleteFileW(transcriptPath.c_str());
    DeleteFileW(scriptPath.c_str());
    StandInReset();
  }

  static std::wstring TestName() {
    const std::string name = testing::UnitTest::GetInstance()->current_test_info()->name();
    return std::wstring(name.begin(), name.end());
  }

  void RunScript(const std::string& script) {
    WriteFile(scriptPath, script);
    SetEnvironmentVariableW(L"LUMERO_STANDIN_SCRIPT", scriptPath.c_str());
    controller = std::make_unique<FlutterViewController>(320, 200, project);
    SetEnvironmentVariableW(L"LUMERO_STANDIN_SCRIPT", nullptr);
  }

  // Runs the message loop until the host window is gone; false after the deadline.
  static bool PumpUntilDestroyed(const HostWindow& host) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!host.Destroyed() && std::chrono::steady_clock::now() < deadline) {
      StandInPump(20);
    }
    return host.Destroyed();
  }

  EngineProject project{L"data"};
  std::unique_ptr<FlutterViewController> controller;
  std::wstring transcriptPath;
  std::wstring scriptPath;
};

TEST_F(StandInEngineTest, ScriptDrivesTheHostAndTheTranscriptRecordsBothDirections) {
  HostWindow host;
  RunScript(
      "# the interface side\n"
      "call test/echo ping \"hello\"\n"
      "await-reply\n"
      "await-event test/events\n"
      "send test/raw 0701\n"
      "await-reply 2000\n"
      "close\n");
  BinaryMessenger* messenger = controller->engine()->GetMessenger();
  messenger->SetMessageHandler("test/echo", [messenger](const uint8_t*, size_t, BinaryReply reply) {
    const uint8_t answer[] = {0x00, 0x07, 0x05, 'h', 'e', 'l', 'l', 'o'};
    reply(answer, sizeof answer);
    const uint8_t event[] = {0x00, 0x01};
    messenger->Send("test/events", event, sizeof event);
  });
  host.Adopt(controller->view()->GetHWND());
  ASSERT_TRUE(PumpUntilDestroyed(host));
  controller.reset();

  const std::vector<std::string> lines = ReadLines(transcriptPath);
  const TranscriptLine call = Find(lines, "test/echo", "to-host#");
  EXPECT_GE(call.seconds, 0.0);
  EXPECT_EQ(call.size, "13");
  EXPECT_EQ(call.hex, "070470696e67070568656c6c6f");
  EXPECT_EQ(call.summary, "call ping(\"hello\")");
  const TranscriptLine reply = Find(lines, "test/echo", "host-reply#");
  EXPECT_EQ(reply.direction, "host-reply#" + call.direction.substr(8));
  EXPECT_EQ(reply.hex, "00070568656c6c6f");
  EXPECT_EQ(reply.summary, "success \"hello\"");
  const TranscriptLine event = Find(lines, "test/events", "from-host");
  EXPECT_EQ(event.direction, "from-host");
  EXPECT_EQ(event.size, "2");
  EXPECT_EQ(event.summary, "success true");
  EXPECT_EQ(Find(lines, "test/raw", "unhandled#").hex, "0701");
  EXPECT_TRUE(HasLine(lines, " - close 0 - | WM_CLOSE posted to the top-level window"));
  EXPECT_TRUE(HasLine(lines, " - script 0 - | done"));
  EXPECT_TRUE(HasLine(lines, " - engine 0 - | destroyed"));
}

TEST_F(StandInEngineTest, FailingScriptReportsWhyAndClosesTheWindow) {
  HostWindow host;
  DescriptorStderrCapture capture;
  RunScript("await-event test/never 200\n");
  host.Adopt(controller->view()->GetHWND());
  ASSERT_TRUE(PumpUntilDestroyed(host));
  controller.reset();
  EXPECT_EQ(capture.Take(),
            "Stand-in script failed: line 1: no message on test/never within 200 ms\n");
  EXPECT_TRUE(HasLine(ReadLines(transcriptPath),
                      " - script 0 - | failed: line 1: no message on test/never within 200 ms"));
}

TEST_F(StandInEngineTest, BrokenScriptIsReportedAndNotRun) {
  HostWindow host;
  DescriptorStderrCapture capture;
  RunScript("wait 1\nclose now\n");
  host.Adopt(controller->view()->GetHWND());
  StandInPump(200);
  EXPECT_FALSE(host.Destroyed());
  EXPECT_EQ(capture.Take(), "Stand-in script failed: line 2: close takes nothing\n");
}

TEST_F(StandInEngineTest, ScriptStopsWithItsEngine) {
  RunScript("wait 60000\nclose\n");
  const auto start = std::chrono::steady_clock::now();
  controller.reset();  // Joins the script thread, which must not sit out its wait.
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
  EXPECT_TRUE(HasLine(ReadLines(transcriptPath), " - script 0 - | stopped: the engine is gone"));
}

TEST_F(StandInEngineTest, MessagesWithoutAnEngineAreDropped) {
  const uint8_t bytes[] = {0x07, 0x01, 0x61, 0x00};
  const uint64_t early = StandInSend("test/channel", bytes, sizeof bytes);
  EXPECT_EQ(StandInMessageState(early), kStandInDropped);

  controller = std::make_unique<FlutterViewController>(320, 200, project);
  const uint64_t queued = StandInSend("test/channel", bytes, sizeof bytes);
  EXPECT_EQ(StandInMessageState(queued), kStandInQueued);
  controller.reset();  // Before the loop ever dispatched it.
  EXPECT_EQ(StandInMessageState(queued), kStandInDropped);
  EXPECT_TRUE(HasLine(ReadLines(transcriptPath), " test/channel dropped#"));
}

TEST_F(StandInEngineTest, ResponsesTheEngineCannotTakeAreCounted) {
  controller = std::make_unique<FlutterViewController>(320, 200, project);
  FlutterDesktopMessengerRef messenger = nullptr;
  const FlutterDesktopMessageResponseHandle* handle = nullptr;
  // A raw callback, so the test can misuse the handle the way a faulty host would.
  struct Seen {
    FlutterDesktopMessengerRef messenger;
    const FlutterDesktopMessageResponseHandle* handle;
  } seen = {nullptr, nullptr};
  FlutterDesktopEngineRef engine = controller->engine()->ReleaseOwnership();
  FlutterDesktopMessengerSetCallback(
      FlutterDesktopEngineGetMessenger(engine), "test/raw",
      [](FlutterDesktopMessengerRef from, const FlutterDesktopMessage* message, void* data) {
        auto* record = static_cast<Seen*>(data);
        record->messenger = from;
        record->handle = message->response_handle;
      },
      &seen);
  const uint64_t id = StandInSend("test/raw", nullptr, 0);
  while (StandInMessageState(id) == kStandInQueued) {
    StandInPump(10);
  }
  messenger = seen.messenger;
  handle = seen.handle;
  ASSERT_NE(handle, nullptr);
  FlutterDesktopMessengerSendResponse(messenger, handle, nullptr, 0);
  EXPECT_EQ(StandInMessageState(id), kStandInAnswered);
  EXPECT_EQ(StandInResponseErrorCount(), 0);
  FlutterDesktopMessengerSendResponse(messenger, handle, nullptr, 0);
  EXPECT_EQ(StandInResponseErrorCount(), 1);
  FlutterDesktopMessengerSetCallback(messenger, "test/raw", nullptr, nullptr);
}

TEST_F(StandInEngineTest, MonitorDpiCanBeSet) {
  HMONITOR monitor = MonitorFromPoint(POINT{10, 10}, MONITOR_DEFAULTTONEAREST);
  EXPECT_GT(FlutterDesktopGetDpiForMonitor(monitor), 0u);
  SetEnvironmentVariableW(L"LUMERO_STANDIN_DPI", L"120");
  EXPECT_EQ(FlutterDesktopGetDpiForMonitor(monitor), 120u);
  StandInSetMonitorDpi(144);
  EXPECT_EQ(FlutterDesktopGetDpiForMonitor(monitor), 144u);
}

TEST_F(StandInEngineTest, CloseNeedsAViewAdoptedByAHostWindow) {
  EXPECT_EQ(StandInCloseWindow(), 0);
  controller = std::make_unique<FlutterViewController>(320, 200, project);
  EXPECT_EQ(StandInCloseWindow(), 0);
  HostWindow host;
  host.Adopt(controller->view()->GetHWND());
  EXPECT_EQ(StandInViewWindow(), controller->view()->GetHWND());
  EXPECT_EQ(StandInCloseWindow(), 1);
  EXPECT_TRUE(PumpUntilDestroyed(host));
}

}  // namespace
}  // namespace flutter
