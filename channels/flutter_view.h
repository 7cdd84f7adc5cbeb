#pragma once

#include "channels/flutter_windows.h"

namespace flutter {

// The engine's view; owned by the view controller, not by this wrapper.
class FlutterView {
 public:
  explicit FlutterView(FlutterDesktopViewRef view) : view(view) {}
  virtual ~FlutterView() = default;

  FlutterView(const FlutterView&) = delete;
  FlutterView& operator=(const FlutterView&) = delete;

  // The child window to embed in the top-level window.
  HWND GetHWND() const { return FlutterDesktopViewGetHWND(view); }

 private:
  FlutterDesktopViewRef view;
};

}  // namespace flutter
