#include "runner/win32_flutter_window.h"

#include "runner/device/win32_device_channel.h"
#include "runner/meter/ui_task_queue.h"
#include "runner/meter/win32_meter_bridge.h"
#include "runner/win32_plugins.h"

FlutterWindow::FlutterWindow(const EngineProject& project) : project(project) {}

// The controller (and with it the engine) goes before the project it points into.
FlutterWindow::~FlutterWindow() { viewController.reset(); }

bool FlutterWindow::HandleCreate() {
  if (!Win32Window::HandleCreate()) return false;
  const RECT frame = ClientRect();
  viewController = std::make_unique<flutter::FlutterViewController>(
      frame.right - frame.left, frame.bottom - frame.top, project);
  if (viewController->engine() == nullptr || viewController->view() == nullptr) return false;
  flutter::FlutterEngine* engine = viewController->engine();
  RegisterAllPlugins(engine);
  meter_link::RegisterMeterBridge(engine, WindowHandle());
  RegisterDeviceChannel(engine);
  AttachChild(viewController->view()->GetHWND());
  // Created hidden; shown only once the engine has something to show.
  engine->SetNextFrameCallback([this]() { Show(); });
  viewController->ForceRedraw();
  return true;
}

void FlutterWindow::HandleDestroy() {
  // The meter's channels go while the engine still exists.
  meter_link::UnregisterMeterBridge();
  viewController.reset();
  Win32Window::HandleDestroy();
}

LRESULT FlutterWindow::HandleMessage(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  if (meter_link::RunQueuedTasks(message)) return 0;
  if (viewController) {
    const std::optional<LRESULT> result =
        viewController->HandleTopLevelWindowProc(window, message, wparam, lparam);
    if (result) return *result;
  }
  if (message == WM_FONTCHANGE && viewController) viewController->engine()->ReloadSystemFonts();
  return Win32Window::HandleMessage(window, message, wparam, lparam);
}

void RegisterAllPlugins(flutter::PluginRegistry* registry) {
  FileSelectorWindowsRegisterWithRegistrar(registry->GetPluginRegistrar("FileSelectorWindows"));
  PermissionHandlerWindowsPluginRegisterWithRegistrar(
      registry->GetPluginRegistrar("PermissionHandlerWindowsPlugin"));
  RecordWindowsPluginCApiRegisterWithRegistrar(
      registry->GetPluginRegistrar("RecordWindowsPluginCApi"));
  SpeechToTextWindowsRegisterWithRegistrar(registry->GetPluginRegistrar("SpeechToTextWindows"));
  UrlLauncherWindowsRegisterWithRegistrar(registry->GetPluginRegistrar("UrlLauncherWindows"));
}
