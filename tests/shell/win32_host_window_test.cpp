// The host window against the stand-in engine and plugins: what reaches the engine and the
// default window procedure, when the window shows, its size at each DPI and its title bar's
// theme; and the argument conversion.

#include <dwmapi.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <tuple>
#include <utility>
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

std::vector<std::string> attributesSet;  // "<window> <attribute> <value> <size>"

HRESULT WINAPI RecordingSetter(HWND window, DWORD attribute, LPCVOID value, DWORD size) {
  attributesSet.push_back(
      StandInHex(reinterpret_cast<uintptr_t>(window)) + " " + std::to_string(attribute) + " " +
      std::to_string(*static_cast<const BOOL*>(value)) + " " + std::to_string(size));
  return S_OK;
}

// "left,top widthxheight"
std::string Text(const RECT& rect) {
  return std::to_string(rect.left) + "," + std::to_string(rect.top) + " " +
         std::to_string(rect.right - rect.left) + "x" + std::to_string(rect.bottom - rect.top);
}

// The outer rectangle, relative to parent's client area (null: the screen).
std::string Outer(HWND window, HWND parent = nullptr) {
  RECT rect = {};
  GetWindowRect(window, &rect);
  MapWindowPoints(nullptr, parent, reinterpret_cast<POINT*>(&rect), 2);
  return Text(rect);
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
  MSG quit;
  EXPECT_FALSE(PeekMessageW(&quit, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE)) << "not asked to quit";
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

// Origin and size are logical pixels; the screen (scripts/wine-env.sh) is larger than 2160 x 1350,
// so no size is capped.
TEST_F(HostWindowTest, OuterRectangleScalesWithTheMonitorDpi) {
  const std::pair<unsigned, std::string> cases[] = {
      {96, "10,10 1440x900"}, {120, "12,12 1800x1125"}, {144, "15,15 2160x1350"}};
  for (const auto& [dpi, expected] : cases) {
    StandInSetMonitorDpi(dpi);
    ASSERT_TRUE(window->Create(L"Lumerovantix", {10, 10}, {1440, 900}));
    EXPECT_EQ(Outer(window->WindowHandle()), expected) << dpi;
  }
}

TEST_F(HostWindowTest, DpiChangeTakesTheSuggestedRectangleAndTheViewFollows) {
  RECT suggested = {40, 30, 1040, 730};
  EXPECT_EQ(SendMessageW(window->WindowHandle(), WM_DPICHANGED, MAKEWPARAM(144, 144),
                         reinterpret_cast<LPARAM>(&suggested)),
            0);
  EXPECT_EQ(Outer(window->WindowHandle()), "40,30 1000x700");
  EXPECT_EQ(Outer(StandInViewWindow(), window->WindowHandle()), Text(window->ClientRect()));
}

// "AppsUseLightTheme" 0 asks for the dark title bar, any other number for the light one; without
// a number nothing is set. Read again on every colourization change.
TEST_F(HostWindowTest, ThemeValueDecidesTheDarkModeAttribute) {
  constexpr wchar_t kKey[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Themes\\Personalize";
  // type, value, dark (null: no attribute set)
  const std::tuple<DWORD, DWORD, const char*> cases[] = {{REG_NONE, 0, nullptr},
                                                         {REG_DWORD, 0, "1"},
                                                         {REG_DWORD, 1, "0"},
                                                         {REG_DWORD, 2, "0"},
                                                         {REG_SZ, L'0', nullptr}};
  SetWindowAttributeSetterForTesting(RecordingSetter);
  const std::string ours = StandInHex(reinterpret_cast<uintptr_t>(window->WindowHandle()));
  for (const auto& [type, value, dark] : cases) {
    RegDeleteKeyValueW(HKEY_CURRENT_USER, kKey, L"AppsUseLightTheme");
    if (type != REG_NONE)
      RegSetKeyValueW(HKEY_CURRENT_USER, kKey, L"AppsUseLightTheme", type, &value, sizeof value);
    attributesSet.clear();
    EXPECT_EQ(Send(WM_DWMCOLORIZATIONCOLORCHANGED), 0);
    EXPECT_EQ(attributesSet, dark ? std::vector<std::string>{ours + " 20 " + dark + " 4"}
                                  : std::vector<std::string>{})
        << type << " " << value;
  }
  // And once on creation, before any colourization change.
  const DWORD dark = 0;
  RegSetKeyValueW(HKEY_CURRENT_USER, kKey, L"AppsUseLightTheme", REG_DWORD, &dark, sizeof dark);
  attributesSet.clear();
  ASSERT_TRUE(window->Create(L"Lumerovantix", {10, 10}, {640, 480}));
  EXPECT_EQ(attributesSet,
            std::vector<std::string>{
                StandInHex(reinterpret_cast<uintptr_t>(window->WindowHandle())) + " 20 1 4"});
  RegDeleteKeyValueW(HKEY_CURRENT_USER, kKey, L"AppsUseLightTheme");
  SetWindowAttributeSetterForTesting(DwmSetWindowAttribute);
}

// Activation hands the keyboard focus back to the view, wherever it was.
TEST_F(HostWindowTest, ActivationFocusesTheView) {
  ASSERT_NE(StandInViewWindow(), nullptr);
  SetFocus(window->WindowHandle());
  ASSERT_EQ(GetFocus(), window->WindowHandle());
  EXPECT_EQ(SendMessageW(window->WindowHandle(), WM_ACTIVATE, WA_ACTIVE, 0), 0);
  EXPECT_EQ(GetFocus(), StandInViewWindow());
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
