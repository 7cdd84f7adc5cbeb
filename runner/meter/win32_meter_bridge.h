#pragma once

#include <windows.h>

namespace flutter {
class FlutterEngine;
}

namespace meter_link {

// Sets the meter's services up on engine: aims the task queue at window (whose procedure calls
// RunQueuedTasks), installs the crash reporter once, creates the meter, its event stream on
// "lumerovantix/sonel" and its control channel "lumerovantix/sonel_info". A null engine, or a
// bridge already registered, changes nothing. Window thread.
void RegisterMeterBridge(flutter::FlutterEngine* engine, HWND window);

// Stops the meter, removes both channel handlers, drops the meter and clears the task queue
// without running it; the crash reporter stays. Window thread, before the engine goes.
void UnregisterMeterBridge();

}  // namespace meter_link
