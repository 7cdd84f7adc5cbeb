// The host window against the stand-in engine and plugins: what reaches the engine and the
// default window procedure, and when the window shows; and the argument conversion.

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "runner/meter/ui_task_queue.h"
#include "runner/win32_command_line.h"
#include "runner/win32_flutter_window.h"
#include "runner/win32_window_testing.h"
#include "tools/stand_in_engine/stand_in_api.h"

namespace {

std::vector<UINT> reachedDefault;  // messages the base handling left to the default procedure

LRESULT CALLBACK RecordingDefault(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  reachedDefault.push_back(message);
  return DefWindowProcW(window, message, wparam, lparam);
}

bool Reached(UINT message) {
  return std::count(reachedDefault.begin(), reachedDefault.end(), message);
}

// Position of the first logged host call that starts with prefix, or -1.
int CallIndex(const std::vector<std::string>& calls, const std::string& prefix) {
  for (size_t i = 0; i < calls.size(); ++i)
    if (calls[i].rfind(prefix, 0) == 0) return static_cast<int>(i);
  return -1;
}

class HostWindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    StandInReset();
    StandInSetAutomaticFirstFrame(0);  // only the host's own redraw draws a frame
    reachedDefault.clear();
    SetDefaultWindowProcedureForTesting(RecordingDefault);
    ASSERT_TRUE(window->Create(L"Lumerovantix", {10, 10}, {640, 480}));
  }
  void TearDown() override {
    window->Destroy();
    SetDefaultWindowProcedureForTesting(DefWindowProcW);
    EXPECT_EQ(StandInContractErrors(), std::vector<std::string>{});
    StandInReset();
  }
  LRESULT Send(UINT message) { return SendMessageW(window->WindowHandle(), message, 0, 0); }

  EngineProject project{L"data"};
  std::unique_ptr<FlutterWindow> window = std::make_unique<FlutterWindow>(project);
};

// Plugins are registered in table order; the window shows only on the frame asked for after the
// next-frame callback is set; closing takes the meter's channels down before the engine.
TEST_F(HostWindowTest, StaysHiddenUntilTheFirstFrameAndTearsTheMeterDownFirst) {
  EXPECT_FALSE(IsWindowVisible(window->WindowHandle()));
  std::vector<std::string> calls = StandInHostCalls();
  std::vector<std::string> registrars;
  for (const std::string& call : calls)
    if (call.rfind("EngineGetPluginRegistrar ", 0) == 0) registrars.push_back(call.substr(25));
  EXPECT_EQ(registrars,
            (std::vector<std::string>{"FileSelectorWindows", "PermissionHandlerWindowsPlugin",
                                      "RecordWindowsPluginCApi", "SpeechToTextWindows",
                                      "UrlLauncherWindows"}));
  EXPECT_LT(CallIndex(calls, "EngineSetNextFrameCallback"),
            CallIndex(calls, "ViewControllerForceRedraw"));
  ASSERT_TRUE(StandInWaitForFrames(1, 5000));
  StandInPump(100);
  EXPECT_TRUE(IsWindowVisible(window->WindowHandle()));
  EXPECT_EQ(Send(WM_CLOSE), 0);
  calls = StandInHostCalls();
  const int meterGone = CallIndex(calls, "MessengerSetCallback lumerovantix/sonel null");
  ASSERT_GE(meterGone, 0);
  EXPECT_LT(meterGone, CallIndex(calls, "ViewControllerDestroy"));
}

TEST_F(HostWindowTest, UiTaskMessageStopsAtTheTaskQueue) {
  bool ran = false;
  ASSERT_TRUE(meter_link::PostToUiThread([&ran]() { ran = true; }));
  EXPECT_EQ(Send(meter_link::kUiTaskMessage), 0);
  EXPECT_TRUE(ran);
  StandInPump(100);  // the posted wake-up too
  EXPECT_EQ(StandInTopLevelMessageCount(meter_link::kUiTaskMessage), 0);
  EXPECT_FALSE(Reached(meter_link::kUiTaskMessage));
  // A neighbouring private message goes the whole way.
  Send(meter_link::kUiTaskMessage + 1);
  EXPECT_EQ(StandInTopLevelMessageCount(meter_link::kUiTaskMessage + 1), 1);
  EXPECT_TRUE(Reached(meter_link::kUiTaskMessage + 1));
}

// Left alone by the engine, WM_FONTCHANGE reloads its fonts and reaches the base handling; one
// the engine claims goes no further.
TEST_F(HostWindowTest, FontChangeReloadsFontsAndReachesTheBaseUnlessClaimed) {
  for (const bool claimed : {false, true}) {
    SCOPED_TRACE(claimed ? "claimed" : "left alone");
    StandInReset();
    reachedDefault.clear();
    if (claimed) StandInClaimTopLevelMessage(WM_FONTCHANGE, 7);
    EXPECT_EQ(Send(WM_FONTCHANGE), claimed ? 7 : 0);
    EXPECT_EQ(StandInTopLevelMessageCount(WM_FONTCHANGE), 1);
    EXPECT_EQ(CallIndex(StandInHostCalls(), "EngineReloadSystemFonts") >= 0, !claimed);
    EXPECT_EQ(Reached(WM_FONTCHANGE), !claimed);
  }
}

TEST(ArgumentToUtf8Test, ConvertsStrictlyAndCutsAt32767Units) {
  const std::wstring longText(40000, L'x');
  // A surrogate pair across the cut leaves its first half unpaired.
  const std::wstring pairAcrossCut = std::wstring(32766, L'x') + L"\xD83D\xDE00";
  const struct {
    const wchar_t* text;
    std::string expected;
  } cases[] = {
      {nullptr, ""},
      {L"with blank", "with blank"},
      {L"za\x017C\x00F3\x0142\x0107", "za\xC5\xBC\xC3\xB3\xC5\x82\xC4\x87"},
      {L"a\xD800z", ""},
      {longText.c_str(), std::string(32767, 'x')},
      {pairAcrossCut.c_str(), ""},
  };
  for (const auto& c : cases) EXPECT_EQ(ArgumentToUtf8(c.text), c.expected);
}

}  // namespace
