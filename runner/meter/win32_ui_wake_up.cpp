#include "runner/meter/win32_ui_wake_up.h"

#include <windows.h>

#include "runner/meter/ui_task_queue.h"
#include "runner/never_destroyed.h"

namespace meter_link {

static_assert(kUiTaskMessage == WM_APP + 0x51,
              "the queue's wake-up is a private application message");

namespace {

class Win32WakeUp final : public UiWakeUp {
 public:
  bool Post(void* window) override {
    return PostMessageW(static_cast<HWND>(window), kUiTaskMessage, 0, 0) != 0;
  }
};

}  // namespace

UiWakeUp& Win32UiWakeUp() {
  static NeverDestroyed<Win32WakeUp> wakeUp;
  return wakeUp.get();
}

}  // namespace meter_link
