#pragma once

#include <memory>
#include <optional>

#include "channels/engine_project.h"
#include "channels/flutter_engine.h"
#include "channels/flutter_view.h"
#include "channels/flutter_windows.h"

namespace flutter {

// Creates the engine and its view controller together and owns both. UI thread only.
class FlutterViewController {
 public:
  // width and height are the client area in physical pixels. On failure the line "Failed to
  // create view controller." is written and view() is null. project must outlive the engine.
  FlutterViewController(int width, int height, const EngineProject& project);
  virtual ~FlutterViewController();

  FlutterViewController(const FlutterViewController&) = delete;
  FlutterViewController& operator=(const FlutterViewController&) = delete;

  FlutterEngine* engine() const { return sharedEngine.get(); }
  FlutterView* view() const { return ownedView.get(); }

  void ForceRedraw();

  // The engine's result when it handled the message, else none.
  std::optional<LRESULT> HandleTopLevelWindowProc(HWND window, UINT message, WPARAM wparam,
                                                  LPARAM lparam);

 private:
  FlutterDesktopViewControllerRef controller = nullptr;
  std::shared_ptr<FlutterEngine> sharedEngine;
  std::unique_ptr<FlutterView> ownedView;
};

}  // namespace flutter
