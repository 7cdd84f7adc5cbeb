#pragma once

#include "runner/meter/meter_platform.h"

namespace meter_link {

// The meter link's platform over Win32 (SetupAPI, serial ports, GetTickCount, Sleep,
// OutputDebugStringA); one instance for the whole process, never destroyed, so an acquisition
// thread still running at exit can go on using it.
MeterPlatform& Win32MeterPlatform();

}  // namespace meter_link
