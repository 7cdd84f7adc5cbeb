// FlutterEngine, FlutterViewController and FlutterView against the stand-in engine (Windows).

#include <gtest/gtest.h>

#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "channels/engine_project.h"
#include "channels/flutter_engine.h"
#include "channels/flutter_view_controller.h"
#include "tests/channels/stand_in_test_support.h"
#include "tools/stand_in_plugins/stand_in_plugins.h"

namespace flutter {
namespace {

using stand_in_test::DescriptorStderrCapture;
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

  // Lets the first frame after view creation pass, so later frames are the test's own.
  static void SettleFirstFrame() { ASSERT_EQ(StandInWaitForFrames(1, kDeadlineMs), 1); }
  static void RedrawAndWait(FlutterViewController& controller) {
    const size_t before = StandInFrameCount();
    controller.ForceRedraw();
    ASSERT_EQ(StandInWaitForFrames(before + 1, kDeadlineMs), 1);
  }

  EngineProject project{L"data"};
};

// The project's paths and arguments reach the engine; the view is a child window of the size asked.
TEST_F(EngineWrappersTest, ProjectReachesTheEngineAndTheViewHasTheSizeAsked) {
  {
    FlutterViewController controller(640, 480, project);
    const StandInEngineRecord* record = StandInLastEngine();
    ASSERT_NE(record, nullptr);
    EXPECT_STREQ(record->assets_path, L"data\\flutter_assets");
    EXPECT_STREQ(record->icu_data_path, L"data\\icudtl.dat");
    EXPECT_STREQ(record->aot_library_path, L"data\\app.so");
    ASSERT_NE(record->dart_entrypoint, nullptr);  // Empty, not null.
    EXPECT_STREQ(record->dart_entrypoint, "");
    EXPECT_EQ(record->argc, 0);  // No arguments: count zero and a null array.
    EXPECT_EQ(record->argv_was_null, 1);
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
  project.entrypointArguments = {"--first", "with blank", "za\xc5\xbc\xc3\xb3\xc5\x82\xc4\x87"};
  FlutterViewController controller(640, 480, project);
  const StandInEngineRecord* record = StandInLastEngine();
  ASSERT_NE(record, nullptr);
  ASSERT_EQ(record->argc, 3);
  EXPECT_EQ(record->argv_was_null, 0);
  for (int i = 0; i < 3; ++i) EXPECT_EQ(record->argv[i], project.entrypointArguments[i]);
}

// The callback runs once and may set the next one; an exception from it stays out of the engine.
TEST_F(EngineWrappersTest, NextFrameCallbackRunsOnce) {
  FlutterViewController controller(320, 200, project);
  SettleFirstFrame();
  std::vector<std::string> calls;
  FlutterEngine* engine = controller.engine();
  engine->SetNextFrameCallback([&] {
    calls.push_back("first");
    engine->SetNextFrameCallback([&] {
      calls.push_back("second");
      throw std::runtime_error("no window");
    });
  });
  EXPECT_TRUE(calls.empty());
  DescriptorStderrCapture capture;
  for (int i = 0; i < 3; ++i) RedrawAndWait(controller);
  EXPECT_EQ(calls, (std::vector<std::string>{"first", "second"}));
  EXPECT_EQ(capture.Take(), "Exception in next-frame callback: no window\n");
}

// The controller owns the engine's handle; an engine that keeps ownership destroys it itself. A
// failed view controller takes its engine with it; a failed engine hands out no registrars.
TEST_F(EngineWrappersTest, HandlesAreDestroyedOnceAndFailuresReported) {
  {
    FlutterViewController controller(320, 200, project);
    EXPECT_EQ(StandInLiveEngineCount(), 1u);
  }
  EXPECT_EQ(StandInCallCount("FlutterDesktopViewControllerDestroy"), 1);
  EXPECT_EQ(StandInCallCount("FlutterDesktopEngineDestroy"), 0);
  { FlutterEngine engine(project); }
  EXPECT_EQ(StandInCallCount("FlutterDesktopEngineDestroy"), 1);

  StandInSetFailViewControllerCreate(1);
  DescriptorStderrCapture capture;
  {
    FlutterViewController controller(320, 200, project);
    EXPECT_EQ(controller.view(), nullptr);
    EXPECT_NE(controller.engine(), nullptr);
    EXPECT_FALSE(controller.HandleTopLevelWindowProc(nullptr, WM_SIZE, 0, 0).has_value());
  }
  EXPECT_EQ(StandInCallCount("FlutterDesktopViewControllerDestroy"), 1);
  EXPECT_EQ(StandInCallCount("FlutterDesktopEngineDestroy"), 1);
  StandInSetFailEngineCreate(1);
  FlutterEngine engine(project);
  EXPECT_EQ(engine.GetPluginRegistrar("FileSelectorWindows"), nullptr);
  EXPECT_EQ(capture.Take(),
            "Failed to create view controller.\n"
            "Cannot get plugin registrar on an engine that isn't running; call Run first.\n");
  EXPECT_EQ(StandInCallCount("FlutterDesktopEngineGetPluginRegistrar"), 0);
  EXPECT_EQ(StandInHandleErrorCount(), 0);
}

// Plugins get their named registrars; top-level window messages, font reloads and messages go to
// the controller's own engine.
TEST_F(EngineWrappersTest, CallsReachTheEngine) {
  FlutterViewController controller(320, 200, project);
  PluginRegistry& registry = *controller.engine();
  FileSelectorWindowsRegisterWithRegistrar(registry.GetPluginRegistrar("FileSelectorWindows"));
  PermissionHandlerWindowsPluginRegisterWithRegistrar(
      registry.GetPluginRegistrar("PermissionHandlerWindowsPlugin"));
  RecordWindowsPluginCApiRegisterWithRegistrar(
      registry.GetPluginRegistrar("RecordWindowsPluginCApi"));
  SpeechToTextWindowsRegisterWithRegistrar(registry.GetPluginRegistrar("SpeechToTextWindows"));
  UrlLauncherWindowsRegisterWithRegistrar(registry.GetPluginRegistrar("UrlLauncherWindows"));
  std::vector<std::string> registered;
  for (size_t i = 0; i < StandInPluginRegistrationCount(); ++i)
    registered.push_back(StandInPluginRegistration(i));
  EXPECT_EQ(
      registered,
      (std::vector<std::string>{
          "FileSelectorWindowsRegisterWithRegistrar FileSelectorWindows",
          "PermissionHandlerWindowsPluginRegisterWithRegistrar PermissionHandlerWindowsPlugin",
          "RecordWindowsPluginCApiRegisterWithRegistrar RecordWindowsPluginCApi",
          "SpeechToTextWindowsRegisterWithRegistrar SpeechToTextWindows",
          "UrlLauncherWindowsRegisterWithRegistrar UrlLauncherWindows"}));
  const std::unique_ptr<HWND__, decltype(&DestroyWindow)> top(
      CreateWindowExW(0, L"STATIC", L"top", WS_OVERLAPPEDWINDOW, 0, 0, 320, 200, nullptr, nullptr,
                      nullptr, nullptr),
      &DestroyWindow);
  ASSERT_NE(top, nullptr);
  StandInClaimTopLevelMessage(WM_SIZE, 42);
  EXPECT_EQ(controller.HandleTopLevelWindowProc(top.get(), WM_SIZE, 0, 0),
            std::optional<LRESULT>(42));
  EXPECT_FALSE(controller.HandleTopLevelWindowProc(top.get(), WM_ACTIVATE, 0, 0).has_value());
  EXPECT_EQ(StandInTopLevelMessageCount(WM_ACTIVATE), 1);
  controller.engine()->ReloadSystemFonts();
  EXPECT_EQ(StandInCallCount("FlutterDesktopEngineReloadSystemFonts"), 1);
  const uint8_t event[] = {0x00, 0x00};
  controller.engine()->GetMessenger()->Send("test/events", event, sizeof event);
  EXPECT_EQ(StandInHostMessageCount("test/events"), 1u);
}

}  // namespace
}  // namespace flutter
