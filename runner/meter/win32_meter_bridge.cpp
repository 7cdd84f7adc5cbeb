#include "runner/meter/win32_meter_bridge.h"

#include <memory>
#include <utility>

#include "channels/flutter_engine.h"
#include "channels/method_channel.h"
#include "channels/standard_method_codec.h"
#include "runner/diagnostics/native_log.h"
#include "runner/diagnostics/win32_crash_handler.h"
#include "runner/meter/control_channel.h"
#include "runner/meter/miernik.h"
#include "runner/meter/run_guarded.h"
#include "runner/meter/ui_task_queue.h"
#include "runner/meter/win32_ui_wake_up.h"

namespace meter_link {

using flutter::EncodableValue;

namespace {

// The bridge's meter; also the mark that the bridge stands. Left set, both slots are released at
// exit like any static: what the meter's thread touches then is never destroyed.
std::shared_ptr<Miernik> bridgeMeter;
std::unique_ptr<flutter::MethodChannel<EncodableValue>> controlChannel;

}  // namespace

void RegisterMeterBridge(flutter::FlutterEngine* engine, HWND window) {
  if (engine == nullptr || bridgeMeter) return;
  LogMessage("rejestracja: start");
  SetUiTaskWindow(window, Win32UiWakeUp());
  InstallCrashHandler();
  std::shared_ptr<Miernik> meter = Miernik::Create(engine);
  bridgeMeter = meter;
  RunGuarded("rejestracja kanału zdarzeń", [&] { meter->AttachEventChannel(); });
  const flutter::StandardMethodCodec& codec = flutter::StandardMethodCodec::GetInstance();
  controlChannel = std::make_unique<flutter::MethodChannel<EncodableValue>>(
      engine->GetMessenger(), kControlChannelName, &codec);
  controlChannel->SetMethodCallHandler(
      [meter](const flutter::MethodCall<EncodableValue>& call,
              std::unique_ptr<flutter::MethodResult<EncodableValue>> result) {
        HandleControlCall(meter, call, std::move(result));
      });
}

void UnregisterMeterBridge() {
  if (bridgeMeter) {
    // The thread ends first, so nothing meter-made is queued after the queue is cleared.
    bridgeMeter->Stop();
    bridgeMeter->DetachEventChannel();
  }
  if (controlChannel) {
    controlChannel->SetMethodCallHandler(nullptr);
    controlChannel.reset();
  }
  bridgeMeter.reset();
  ClearUiTaskWindow();
}

}  // namespace meter_link
