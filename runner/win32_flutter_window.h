#pragma once

#include <memory>

#include "channels/engine_project.h"
#include "channels/flutter_view_controller.h"
#include "channels/plugin_registry.h"
#include "runner/win32_window.h"

// The program's top-level window with the engine in it: the view as child content, the plugins
// and the native services registered, shown after the engine's first frame.
class FlutterWindow : public Win32Window {
 public:
  explicit FlutterWindow(const EngineProject& project);
  ~FlutterWindow() override;

 protected:
  bool HandleCreate() override;
  void HandleDestroy() override;
  LRESULT HandleMessage(HWND window, UINT message, WPARAM wparam, LPARAM lparam) override;

 private:
  EngineProject project;
  std::unique_ptr<flutter::FlutterViewController> viewController;
};

// Hands each of the five plugin libraries its registrar, in a fixed order.
void RegisterAllPlugins(flutter::PluginRegistry* registry);
