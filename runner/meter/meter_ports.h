#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "runner/meter/meter_platform.h"

namespace meter_link {

// Win32 (library lumero_meter_win32).

// The ports of all present CP2102 devices, in SetupAPI's enumeration order; every failure gives
// a shorter, possibly empty list. Any thread; logs its steps.
std::vector<MeterPort> FindMeterPorts();

// The system's message text for a Windows error code, trailing line breaks and spaces removed;
// "błąd " and the code when the system has none.
std::wstring SystemErrorText(uint32_t code);

}  // namespace meter_link
