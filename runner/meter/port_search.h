#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "runner/meter/meter_platform.h"

namespace meter_link {

// The system's list of present devices as the port search walks it. The Win32 one wraps
// SetupAPI; tests script their own. Buffers are UTF-16 units (wchar_t on Windows).
class DeviceList {
 public:
  static constexpr size_t kHardwareIdUnits = 1024;  // 2048 bytes
  static constexpr size_t kPortNameUnits = 64;      // 128 bytes

  virtual ~DeviceList() = default;
  // Moves to member index; false past the last device, which ends the walk.
  virtual bool SelectDevice(uint32_t index) = 0;
  // The device's hardware-ID multi-string into a zeroed buffer of kHardwareIdUnits units;
  // *requiredBytes receives the size the system reports. False when it cannot be read.
  virtual bool ReadHardwareIds(wchar_t* buffer, uint32_t* requiredBytes) = 0;
  // The "PortName" value of the device's hardware key into a zeroed buffer of kPortNameUnits
  // units. False when the key does not open or the value cannot be read.
  virtual bool ReadPortName(wchar_t* buffer) = 0;
};

// Opens the list of all present devices; null when the system gives none.
using DeviceListOpener = std::function<std::unique_ptr<DeviceList>()>;

// The ports of all present CP2102 devices (VID_10C4 and PID_EA60 anywhere in the hardware IDs,
// case-sensitive) in enumeration order, with the discovery log lines. The list is released
// before the count is logged.
std::vector<MeterPort> FindMeterPortsIn(const DeviceListOpener& openList);

}  // namespace meter_link
