#pragma once

#include "runner/meter/ui_wake_up.h"

namespace meter_link {

// Posts kUiTaskMessage with PostMessageW (parameters 0, 0) to the queue's window, an HWND. One
// for the process, never destroyed: the queue may still point at it while the process exits.
UiWakeUp& Win32UiWakeUp();

}  // namespace meter_link
