#pragma once

#include "runner/meter/meter_platform.h"

namespace meter_link {

// The meter link's platform over Win32 (SetupAPI, serial ports, GetTickCount, Sleep,
// OutputDebugStringA); one instance for the whole process.
MeterPlatform& Win32MeterPlatform();

}  // namespace meter_link
