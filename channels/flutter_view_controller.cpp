#include "channels/flutter_view_controller.h"

#include "channels/callback_guard.h"

namespace flutter {

FlutterViewController::FlutterViewController(int width, int height, const EngineProject& project)
    : sharedEngine(std::make_shared<FlutterEngine>(project)) {
  controller = FlutterDesktopViewControllerCreate(width, height, sharedEngine->ReleaseOwnership());
  if (controller == nullptr) {
    PrintChannelDiagnostic("Failed to create view controller.");
    return;
  }
  ownedView = std::make_unique<FlutterView>(FlutterDesktopViewControllerGetView(controller));
}

FlutterViewController::~FlutterViewController() {
  if (controller != nullptr) {
    FlutterDesktopViewControllerDestroy(controller);  // Ends the engine too.
  }
  ownedView.reset();
  sharedEngine.reset();
}

void FlutterViewController::ForceRedraw() {
  if (controller != nullptr) {
    FlutterDesktopViewControllerForceRedraw(controller);
  }
}

std::optional<LRESULT> FlutterViewController::HandleTopLevelWindowProc(HWND window, UINT message,
                                                                       WPARAM wparam,
                                                                       LPARAM lparam) {
  if (controller == nullptr) {
    return std::nullopt;
  }
  LRESULT result = 0;
  if (FlutterDesktopViewControllerHandleTopLevelWindowProc(controller, window, message, wparam,
                                                           lparam, &result)) {
    return result;
  }
  return std::nullopt;
}

}  // namespace flutter
