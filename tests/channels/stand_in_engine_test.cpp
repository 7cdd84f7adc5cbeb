// What the host relies on from the stand-in engine itself: scripts, the transcript and its count
// of misused response handles (Windows, under Wine).

#include <gtest/gtest.h>

#include <chrono>
#include <fstream>
#include <memory>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "channels/engine_project.h"
#include "channels/flutter_view_controller.h"
#include "tests/channels/stand_in_test_support.h"

namespace flutter {
namespace {

using stand_in_test::DescriptorStderrCapture;

// A plain top-level window standing for the host window; closing it destroys it.
class HostWindow {
 public:
  HostWindow() = default;
  ~HostWindow() {
    if (!Destroyed()) DestroyWindow(handle_);
  }
  HostWindow(const HostWindow&) = delete;
  HostWindow& operator=(const HostWindow&) = delete;

  void Adopt(HWND child) const { SetParent(child, handle_); }
  bool Destroyed() const { return !IsWindow(handle_); }

 private:
  HWND handle_ = CreateWindowExW(0, L"STATIC", L"host", WS_OVERLAPPEDWINDOW, 0, 0, 400, 300,
                                 nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
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

// Whether the transcript holds a match for pattern; each of its lines reads
// "<seconds> <channel> <direction> <size> <hex> | <summary>".
testing::AssertionResult TranscriptHas(const std::wstring& path, const std::string& pattern) {
  std::ifstream file(path.c_str(), std::ios::binary);
  std::ostringstream text;
  text << file.rdbuf();
  if (std::regex_search(text.str(), std::regex(pattern))) return testing::AssertionSuccess();
  return testing::AssertionFailure() << "no " << pattern << " in\n" << text.str();
}

class StandInEngineTest : public ::testing::Test {
 protected:
  void SetUp() override {
    StandInReset();
    transcriptPath = TempPath(L"transcript.txt");
    scriptPath = TempPath(L"script.txt");
    DeleteFileW(transcriptPath.c_str());
    SetEnvironmentVariableW(L"LUMERO_STANDIN_TRANSCRIPT", transcriptPath.c_str());
  }
  void TearDown() override {
    controller.reset();
    SetEnvironmentVariableW(L"LUMERO_STANDIN_TRANSCRIPT", nullptr);
    SetEnvironmentVariableW(L"LUMERO_STANDIN_SCRIPT", nullptr);
    DeleteFileW(transcriptPath.c_str());
    DeleteFileW(scriptPath.c_str());
    StandInReset();
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
    while (!host.Destroyed() && std::chrono::steady_clock::now() < deadline) StandInPump(20);
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

  const std::string start = R"((^|\n)\d+\.\d{3} )";  // Seconds with milliseconds.
  // The call and, after it, the host's reply carrying the same message number.
  EXPECT_TRUE(TranscriptHas(transcriptPath,
                            start + R"(test/echo to-host#(\d+) 13 070470696e67070568656c6c6f)"
                                    R"( \| call ping\("hello"\)\n(.*\n)*)"
                                    R"(\d+\.\d{3} test/echo host-reply#\2 8 00070568656c6c6f)"
                                    R"( \| success "hello"\n)"));
  EXPECT_TRUE(
      TranscriptHas(transcriptPath, start + R"(test/events from-host 2 0001 \| success true\n)"));
  EXPECT_TRUE(TranscriptHas(transcriptPath, start + R"(test/raw unhandled#\d+ 2 0701 \| )"));
  EXPECT_TRUE(TranscriptHas(transcriptPath,
                            start + R"(- close 0 - \| WM_CLOSE posted to the top-level window\n)"));
  EXPECT_TRUE(TranscriptHas(transcriptPath, start + R"(- script 0 - \| done\n)"));
  EXPECT_TRUE(TranscriptHas(transcriptPath, start + R"(- engine 0 - \| destroyed\n)"));
}

TEST_F(StandInEngineTest, BrokenOrFailingScriptsAreReported) {
  HostWindow host;
  DescriptorStderrCapture capture;
  RunScript("wait 1\nclose now\n");  // Refused as a whole: nothing runs.
  host.Adopt(controller->view()->GetHWND());
  StandInPump(200);
  EXPECT_FALSE(host.Destroyed());
  controller.reset();
  RunScript("await-event test/never 200\n");  // Fails at run time and closes the window.
  host.Adopt(controller->view()->GetHWND());
  ASSERT_TRUE(PumpUntilDestroyed(host));
  controller.reset();
  EXPECT_EQ(capture.Take(),
            "Stand-in script failed: line 2: close takes nothing\n"
            "Stand-in script failed: line 1: no message on test/never within 200 ms\n");
  EXPECT_TRUE(TranscriptHas(
      transcriptPath, R"(- script 0 - \| failed: line 1: no message on test/never within 200 ms)"));
}

TEST_F(StandInEngineTest, ScriptStopsWithItsEngine) {
  RunScript("wait 60000\nclose\n");
  const auto start = std::chrono::steady_clock::now();
  controller.reset();  // Joins the script thread, which must not sit out its wait.
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
  EXPECT_TRUE(TranscriptHas(transcriptPath, R"(- script 0 - \| stopped: the engine is gone)"));
}

// Host tests assert that this count stays zero, so it must really count a handle used twice.
TEST_F(StandInEngineTest, ResponsesTheEngineCannotTakeAreCounted) {
  controller = std::make_unique<FlutterViewController>(320, 200, project);
  // A raw callback, so the test can misuse the handle the way a faulty host would.
  struct Seen {
    FlutterDesktopMessengerRef messenger = nullptr;
    const FlutterDesktopMessageResponseHandle* handle = nullptr;
  } seen;
  FlutterDesktopMessengerSetCallback(
      FlutterDesktopEngineGetMessenger(controller->engine()->ReleaseOwnership()), "test/raw",
      [](FlutterDesktopMessengerRef from, const FlutterDesktopMessage* message, void* data) {
        *static_cast<Seen*>(data) = {from, message->response_handle};
      },
      &seen);
  const uint64_t id = stand_in_test::DeliverAndKeep("test/raw", {});
  ASSERT_NE(seen.handle, nullptr);
  FlutterDesktopMessengerSendResponse(seen.messenger, seen.handle, nullptr, 0);
  EXPECT_EQ(StandInMessageState(id), kStandInAnswered);
  EXPECT_EQ(StandInResponseErrorCount(), 0);
  FlutterDesktopMessengerSendResponse(seen.messenger, seen.handle, nullptr, 0);
  EXPECT_EQ(StandInResponseErrorCount(), 1);
  FlutterDesktopMessengerSetCallback(seen.messenger, "test/raw", nullptr, nullptr);
}

}  // namespace
}  // namespace flutter
