#pragma once

namespace meter_link {

// Wakes the UI thread for the task queue: posts kUiTaskMessage to the queue's window. The window
// is an opaque handle (an HWND on Windows). Win32UiWakeUp posts a real window message; tests use
// their own.
class UiWakeUp {
 public:
  virtual ~UiWakeUp() = default;
  // Posts the wake-up message to window; false when the system refuses it.
  virtual bool Post(void* window) = 0;
};

}  // namespace meter_link
