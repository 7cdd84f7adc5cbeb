#include "tools/stand_in_engine/view_window.h"

#include <mutex>

#include "tools/stand_in_engine/view_painter.h"

namespace stand_in {
namespace {

// On the UI thread the view is invalidated at once: no message is queued for each event.
void Refresh(const FlutterDesktopEngine* engine) {
  if (engine->controller == nullptr) {
    return;
  }
  HWND view = engine->controller->view.window;
  if (GetCurrentThreadId() == engine->thread) {
    InvalidateRect(view, nullptr, FALSE);
  } else {
    PostMessageW(view, kViewChanged, 0, 0);
  }
}

void Paint(HWND window) {
  auto* engine = reinterpret_cast<FlutterDesktopEngine*>(GetWindowLongPtrW(window, GWLP_USERDATA));
  ViewModel model;
  if (engine != nullptr) {
    std::lock_guard<std::mutex> lock(TheState().mutex);
    model = engine->view;
  }
  PAINTSTRUCT paint;
  HDC dc = BeginPaint(window, &paint);
  RECT client = {};
  GetClientRect(window, &client);
  PaintView(dc, client, model, GetDeviceCaps(dc, LOGPIXELSY));
  EndPaint(window, &paint);
}

}  // namespace

LRESULT CALLBACK ViewWindowProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  switch (message) {
    case WM_NCCREATE: {
      auto* create = reinterpret_cast<CREATESTRUCTW*>(lparam);
      SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
      return DefWindowProcW(window, message, wparam, lparam);
    }
    case WM_ERASEBKGND:
      return 1;
    case kViewChanged:
      InvalidateRect(window, nullptr, FALSE);
      return 0;
    case WM_PAINT:
      Paint(window);
      return 0;
    default:
      return DefWindowProcW(window, message, wparam, lparam);
  }
}

void ShowHostMessage(FlutterDesktopEngine* engine, const HostMessage& message) {
  if (ApplyHostMessage(engine->view, message.channel, message.bytes.data(), message.bytes.size())) {
    Refresh(engine);
  }
}

void ShowReply(State& state, const IncomingMessage& message) {
  for (const std::unique_ptr<FlutterDesktopEngine>& engine : state.engines) {
    if (engine->serial == message.engineSerial) {
      if (ApplyReply(engine->view, message.channel, message.bytes.data(), message.bytes.size(),
                     message.reply.data(), message.reply.size())) {
        Refresh(engine.get());
      }
      return;
    }
  }
}

}  // namespace stand_in
