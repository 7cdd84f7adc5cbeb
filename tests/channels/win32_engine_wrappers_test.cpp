// FlutterEngine, FlutterViewController and FlutterView against the stand-in engine (Windows).

#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "channels/engine_project.h"
#include "channels/flutter_engine.h"
#include "channels/flutter_view_controller.h"
#include "tests/channels/channel_test_support.h"
#include "tests/channels/stand_in_test_support.h"
#include "tools/stand_in_plugins/stand_in_plugins.h"

namespace flutter {
namespace {

using channel_test::Lines;
using channel_test::StderrCapture;
using stand_in_test::kDeadlineMs;

class EngineWrappersTest : public ::testing::Test {
 protected:
  void SetUp() override { StandInReset(); }
  void TearDown() override {
    EXPECT_EQ(StandInContractErrors(), std::vector<std::string>{});
    StandInReset();
    EXPECT_EQ(StandInLiveEngineCount(), 0u);
    EXPECT_EQ(StandInLiveMessengerCount(), 0u);
  }

  EngineProject project{L"data"};
};

// The project's paths and arguments reach the engine (no arguments: a count of zero and a null
// array); the view is a child window of the size asked.
TEST_F(EngineWrappersTest, ProjectReachesTheEngineAndTheViewHasTheSizeAsked) {
  using Arguments = std::vector<std::string>;
  for (const Arguments& arguments :
       {Arguments{}, Arguments{"--first", "with blank", "za\xc5\xbc\xc3\xb3\xc5\x82\xc4\x87"}}) {
    project.entrypointArguments = arguments;
    FlutterViewController controller(640, 480, project);
    const StandInEngineRecord* record = StandInLastEngine();
    ASSERT_NE(record, nullptr);
    EXPECT_STREQ(record->assets_path, L"data\\flutter_assets");
    EXPECT_STREQ(record->icu_data_path, L"data\\icudtl.dat");
    EXPECT_STREQ(record->aot_library_path, L"data\\app.so");
    EXPECT_STREQ(record->dart_entrypoint, "");  // empty, not null
    EXPECT_EQ(record->argv_was_null, arguments.empty() ? 1 : 0);
    ASSERT_EQ(record->argc, static_cast<int>(arguments.size()));
    for (size_t i = 0; i < arguments.size(); ++i) EXPECT_EQ(record->argv[i], arguments[i]);
    for (const int32_t setting : record->engine_settings) EXPECT_EQ(setting, 0);
    EXPECT_EQ(record->engine_flag, 0);
    ASSERT_NE(controller.view(), nullptr);
    const HWND view = controller.view()->GetHWND();
    EXPECT_NE(GetWindowLongPtrW(view, GWL_STYLE) & WS_CHILD, 0);
    RECT client = {};
    ASSERT_TRUE(GetClientRect(view, &client));
    EXPECT_EQ(client.right - client.left, 640);
    EXPECT_EQ(client.bottom - client.top, 480);
  }
}

// An engine that keeps ownership destroys its handle itself (a controller owns it: see the call
// order below). A failed view controller takes its engine with it; a failed engine hands out no
// registrars.
TEST_F(EngineWrappersTest, HandlesAreDestroyedOnceAndFailuresReported) {
  { FlutterEngine engine(project); }
  EXPECT_EQ(StandInCallCount("FlutterDesktopEngineDestroy"), 1);
  StandInSetFailViewControllerCreate(1);
  StderrCapture capture;
  {
    FlutterViewController controller(320, 200, project);
    EXPECT_EQ(controller.view(), nullptr);
    EXPECT_NE(controller.engine(), nullptr);
    EXPECT_FALSE(controller.HandleTopLevelWindowProc(nullptr, WM_SIZE, 0, 0).has_value());
  }
  EXPECT_EQ(StandInCallCount("FlutterDesktopViewControllerDestroy"), 0);
  EXPECT_EQ(StandInCallCount("FlutterDesktopEngineDestroy"), 1);
  EXPECT_EQ(StandInLiveEngineCount(), 0u);
  StandInSetFailEngineCreate(1);
  FlutterEngine engine(project);
  EXPECT_EQ(engine.GetPluginRegistrar("FileSelectorWindows"), nullptr);
  EXPECT_EQ(
      capture.Take(),
      (Lines{"Failed to create view controller.",
             "Cannot get plugin registrar on an engine that isn't running; call Run first."}));
  EXPECT_EQ(StandInCallCount("FlutterDesktopEngineGetPluginRegistrar"), 0);
}

std::string Hex(const void* handle) { return StandInHex(reinterpret_cast<uintptr_t>(handle)); }

// Start-up, calls and teardown as the shell makes them reach the engine in order (the stand-in's
// ordered log), a plugin gets its named registrar, and no frame comes by itself when held back.
// A next-frame callback runs once and may set the next one; its exception stays out of the engine.
TEST_F(EngineWrappersTest, CallsReachTheEngineInOrder) {
  StandInSetAutomaticFirstFrame(0);
  const std::unique_ptr<HWND__, decltype(&DestroyWindow)> top(
      CreateWindowExW(0, L"STATIC", L"top", WS_OVERLAPPEDWINDOW, 0, 0, 320, 200, nullptr, nullptr,
                      nullptr, nullptr),
      &DestroyWindow);
  ASSERT_NE(top, nullptr);
  HMONITOR monitor = MonitorFromWindow(top.get(), MONITOR_DEFAULTTOPRIMARY);
  {
    FlutterViewController controller(320, 200, project);
    FlutterEngine* engine = controller.engine();
    Lines calls;
    engine->SetNextFrameCallback([&] {
      calls.push_back("first");
      engine->SetNextFrameCallback([&] {
        calls.push_back("second");
        throw std::runtime_error("no window");
      });
    });
    StandInPump(200);
    EXPECT_EQ(StandInFrameCount(), 0u);
    UrlLauncherWindowsRegisterWithRegistrar(engine->GetPluginRegistrar("UrlLauncherWindows"));
    FlutterDesktopGetDpiForMonitor(monitor);
    StandInClaimTopLevelMessage(WM_SIZE, 42);
    EXPECT_EQ(controller.HandleTopLevelWindowProc(top.get(), WM_SIZE, 1, 0x00c80140),
              std::optional<LRESULT>(42));
    EXPECT_FALSE(controller.HandleTopLevelWindowProc(top.get(), WM_ACTIVATE, 0, 0).has_value());
    engine->ReloadSystemFonts();
    engine->GetMessenger()->Send("test/events", nullptr, 0);
    StderrCapture capture;
    for (size_t frames = 1; frames <= 3; ++frames) {
      controller.ForceRedraw();
      ASSERT_EQ(StandInWaitForFrames(frames, kDeadlineMs), 1);
    }
    EXPECT_EQ(calls, (Lines{"first", "second"}));
    EXPECT_EQ(capture.Take(), (Lines{"Exception in next-frame callback: no window"}));
    FlutterDesktopResyncOutputStreams();
  }
  const std::string window = "ViewControllerHandleTopLevelWindowProc " + Hex(top.get());
  EXPECT_EQ(StandInHostCalls(),
            (std::vector<std::string>{
                "EngineCreate", "EngineGetMessenger", "ViewControllerCreate 320x200",
                "ViewControllerGetView", "EngineSetNextFrameCallback",
                "EngineGetPluginRegistrar UrlLauncherWindows", "GetDpiForMonitor " + Hex(monitor),
                window + " 0x5 0x1 0xc80140", window + " 0x6 0x0 0x0", "EngineReloadSystemFonts",
                "MessengerSend test/events", "ViewControllerForceRedraw", "next-frame callback",
                "EngineSetNextFrameCallback", "ViewControllerForceRedraw", "next-frame callback",
                "ViewControllerForceRedraw", "ResyncOutputStreams", "ViewControllerDestroy"}));
  ASSERT_EQ(StandInPluginRegistrationCount(), 1u);
  EXPECT_STREQ(StandInPluginRegistration(0),
               "UrlLauncherWindowsRegisterWithRegistrar UrlLauncherWindows");
}

}  // namespace
}  // namespace flutter
