#pragma once

#include <windows.h>

#include <functional>

namespace meter_link {

// A hidden message-only window on the calling thread whose window procedure offers every message
// to RunQueuedTasks first, as the host window does.
class MessageWindow {
 public:
  MessageWindow();
  ~MessageWindow() { Destroy(); }
  MessageWindow(const MessageWindow&) = delete;
  MessageWindow& operator=(const MessageWindow&) = delete;

  HWND Handle() const { return window; }
  // Destroys the window now (the handle becomes invalid).
  void Destroy();

 private:
  HWND window = nullptr;
};

// Runs the calling thread's message loop until done() holds or timeoutMs pass; false on time-out.
bool PumpMessagesUntil(const std::function<bool()>& done, DWORD timeoutMs = 10000);

}  // namespace meter_link
