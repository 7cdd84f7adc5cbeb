// The stand-in engine refuses what the engine's contract refuses, so host tests can rely on its
// error counts, call log and switches (Windows, under Wine). Its scripts and transcript are shown
// by the program's own test (tests/shell/win32_program_test.cpp).

#include <gtest/gtest.h>

#include <functional>
#include <thread>

#include "channels/engine_project.h"
#include "channels/flutter_view_controller.h"
#include "tests/channels/stand_in_test_support.h"

namespace flutter {
namespace {

using stand_in_test::EngineTest;
using Strings = std::vector<std::string>;

// The fixture's own check expects no errors; these tests make them on purpose and take them.
class StandInStrictnessTest : public EngineTest {
 protected:
  Strings TakeErrors() {
    Strings errors = StandInContractErrors();
    StandInReset();
    return errors;
  }
};

// Each row breaks the contract once: a call off the UI thread (an event sent from a worker), or a
// null, unknown or destroyed handle; destroyed objects stay dead even when new ones follow.
TEST_F(StandInStrictnessTest, CallsOffTheUiThreadAndBadHandlesAreErrors) {
  FlutterDesktopMessengerRef deadMessenger = FlutterDesktopEngineGetMessenger(engine);
  FlutterDesktopEngineRef deadEngine = engine;
  DestroyEngine();
  FlutterDesktopEngineProperties properties = {};
  FlutterDesktopEngineRef adopted = FlutterDesktopEngineCreate(&properties);
  FlutterDesktopViewControllerRef deadController =
      FlutterDesktopViewControllerCreate(8, 8, adopted);
  FlutterDesktopViewRef deadView = FlutterDesktopViewControllerGetView(deadController);
  FlutterDesktopViewControllerDestroy(deadController);
  engine = FlutterDesktopEngineCreate(&properties);
  ASSERT_NE(engine, deadEngine);
  ASSERT_NE(engine, adopted);
  FlutterDesktopMessengerRef live = FlutterDesktopEngineGetMessenger(engine);
  FlutterDesktopViewControllerRef controller = FlutterDesktopViewControllerCreate(8, 8, engine);
  ASSERT_EQ(TakeErrors(), Strings{});

  int unknown = 0;
  auto* stranger = reinterpret_cast<FlutterDesktopEngineRef>(&unknown);
  const std::pair<std::function<void()>, std::string> rows[] = {
      {[&] { std::thread([&] { FlutterDesktopMessengerSend(live, "e", nullptr, 0); }).join(); },
       "MessengerSend: called on thread"},
      {[&] { FlutterDesktopEngineDestroy(deadEngine); }, "EngineDestroy: destroyed engine"},
      {[&] { FlutterDesktopEngineGetPluginRegistrar(nullptr, "a"); }, "Registrar: null engine"},
      {[&] { FlutterDesktopEngineSetNextFrameCallback(stranger, nullptr, nullptr); },
       "SetNextFrameCallback: unknown engine"},
      {[&] { FlutterDesktopEngineReloadSystemFonts(nullptr); }, "ReloadSystemFonts: null engine"},
      {[&] { FlutterDesktopViewControllerCreate(8, 8, engine); }, "Create: engine already adopted"},
      {[&] { FlutterDesktopViewControllerGetView(deadController); },
       "GetView: destroyed view controller"},
      {[&] { FlutterDesktopViewControllerForceRedraw(nullptr); }, "ForceRedraw: null view"},
      {[&] {
         FlutterDesktopViewControllerHandleTopLevelWindowProc(controller, nullptr, 0, 0, 0,
                                                              nullptr);
       },
       "WindowProc: not a top-level window 0x0"},
      {[&] { FlutterDesktopViewGetHWND(deadView); }, "GetHWND: destroyed view"},
      {[&] { FlutterDesktopMessengerSend(deadMessenger, "a", nullptr, 0); },
       "Send: destroyed messenger"},
      {[&] { FlutterDesktopMessengerSetCallback(nullptr, "a", nullptr, nullptr); },
       "SetCallback: null messenger"},
      {[&] { FlutterDesktopMessengerSendResponse(live, nullptr, nullptr, 0); },
       "SendResponse: null or unknown response handle"},
      {[&] { StandInRecordPluginRegistration(nullptr, "f"); }, "registration: null registrar"},
  };
  for (const auto& [misuse, expected] : rows) {
    misuse();
    const Strings errors = TakeErrors();
    ASSERT_EQ(errors.size(), 1u) << expected;
    EXPECT_NE(errors[0].find(expected), std::string::npos) << errors[0];
  }
  FlutterDesktopViewControllerDestroy(controller);
  engine = nullptr;
  // The wrappers pass on the null of a failed engine creation; that alone is no error.
  StandInSetFailEngineCreate(1);
  FlutterViewController failed(8, 8, EngineProject{L"data"});
  EXPECT_EQ(TakeErrors(), Strings{});
}

TEST_F(StandInStrictnessTest, TrafficOnAMessengerThatOutlivedItsEngineIsCounted) {
  FlutterDesktopMessengerRef kept = FlutterDesktopMessengerAddRef(
      FlutterDesktopEngineGetMessenger(engine));  // As a reply closure holds it.
  DestroyEngine();
  StandInReset();
  messenger->Send("test/late", nullptr, 0);
  messenger->SetMessageHandler("test/late", nullptr);
  EXPECT_EQ(StandInCallsAfterTeardownCount(), 2);
  EXPECT_EQ(StandInHostCalls(), (Strings{"MessengerSend test/late (engine gone)",
                                         "MessengerSetCallback test/late null (engine gone)"}));
  FlutterDesktopMessengerRelease(kept);
}

}  // namespace
}  // namespace flutter
