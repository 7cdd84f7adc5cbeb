#pragma once

#include <windows.h>

#include <functional>

// A hidden message-only window on the calling thread whose window procedure offers every message
// to RunQueuedTasks first, as the host window does.
class MessageWindow {
 public:
  MessageWindow();
  ~MessageWindow();
  MessageWindow(const MessageWindow&) = delete;
  MessageWindow& operator=(const MessageWindow&) = delete;

  HWND Handle() const { return window; }
  // Destroys the window now (the handle becomes invalid).
  void Destroy();

  // Number of kUiTaskMessage messages the window procedure handled.
  int WakeUpsHandled() const { return wakeUps; }
  // Called after each kUiTaskMessage has drained the queue.
  std::function<void()> afterWakeUp;

 private:
  static LRESULT CALLBACK Procedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam);

  HWND window = nullptr;
  int wakeUps = 0;
};

// Runs the calling thread's message loop until done() holds or timeoutMs pass; false on time-out.
bool PumpMessagesUntil(const std::function<bool()>& done, DWORD timeoutMs = 10000);
