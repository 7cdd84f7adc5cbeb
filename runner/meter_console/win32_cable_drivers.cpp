#include "runner/meter_console/win32_cable_drivers.h"

#include <windows.h>

#include <initguid.h>  // GUID_DEVCLASS_PORTS defined here, no extra library

#include <devguid.h>
#include <setupapi.h>

#include "runner/win32_unique_device_info_list.h"
#include "runner/win32_unique_handle.h"

namespace meter_console {

namespace {

std::wstring StringValue(HKEY key, const wchar_t* name) {
  wchar_t buffer[256] = {};
  DWORD bytes = sizeof buffer - sizeof(wchar_t);  // room for a NUL the value may lack
  if (RegGetValueW(key, nullptr, name, RRF_RT_REG_SZ, nullptr, buffer, &bytes) != ERROR_SUCCESS)
    return {};
  return buffer;
}

std::wstring DeviceValue(HDEVINFO devices, SP_DEVINFO_DATA& device, DWORD keyType,
                         const wchar_t* name) {
  const UniqueDeviceRegistryKey key(
      SetupDiOpenDevRegKey(devices, &device, DICS_FLAG_GLOBAL, 0, keyType, KEY_READ));
  return key ? StringValue(key.get(), name) : std::wstring();
}

}  // namespace

std::map<std::wstring, std::wstring> PortDriverVersions() {
  std::map<std::wstring, std::wstring> versions;
  const UniqueDeviceInfoList devices(
      SetupDiGetClassDevsW(&GUID_DEVCLASS_PORTS, nullptr, nullptr, DIGCF_PRESENT));
  if (!devices) return versions;
  SP_DEVINFO_DATA device{};
  device.cbSize = sizeof device;
  for (DWORD index = 0; SetupDiEnumDeviceInfo(devices.get(), index, &device); ++index) {
    const std::wstring port = DeviceValue(devices.get(), device, DIREG_DEV, L"PortName");
    const std::wstring version = DeviceValue(devices.get(), device, DIREG_DRV, L"DriverVersion");
    if (!port.empty() && !version.empty()) versions[port] = version;
  }
  return versions;
}

}  // namespace meter_console
