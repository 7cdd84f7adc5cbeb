// FindMeterPorts and SystemErrorText over SetupAPI, the registry and FormatMessageW. The search
// itself is portable (port_search.cpp); this file only reads what it asks for.
#include <windows.h>

#include <setupapi.h>

#include <memory>

#include "runner/meter/error_text.h"
#include "runner/meter/meter_ports.h"
#include "runner/meter/port_search.h"
#include "runner/meter/win32_owners.h"

namespace meter_link {
namespace {

class SetupApiDeviceList : public DeviceList {
 public:
  explicit SetupApiDeviceList(HDEVINFO devices) : devices_(devices) {}

  bool SelectDevice(uint32_t index) override {
    device_ = SP_DEVINFO_DATA{};
    device_.cbSize = sizeof(SP_DEVINFO_DATA);
    return SetupDiEnumDeviceInfo(devices_.Get(), index, &device_) != FALSE;
  }

  bool ReadHardwareIds(wchar_t* buffer, uint32_t* requiredBytes) override {
    DWORD type = 0;
    DWORD required = 0;
    if (!SetupDiGetDeviceRegistryPropertyW(devices_.Get(), &device_, SPDRP_HARDWAREID, &type,
                                           reinterpret_cast<BYTE*>(buffer),
                                           kHardwareIdUnits * sizeof(wchar_t), &required)) {
      return false;
    }
    *requiredBytes = required;
    return true;
  }

  bool ReadPortName(wchar_t* buffer) override {
    ScopedRegistryKey key(
        SetupDiOpenDevRegKey(devices_.Get(), &device_, DICS_FLAG_GLOBAL, 0, DIREG_DEV, KEY_READ));
    if (!key.IsOpen()) return false;
    DWORD type = 0;
    DWORD size = kPortNameUnits * sizeof(wchar_t);
    const LSTATUS status = RegQueryValueExW(key.Get(), L"PortName", nullptr, &type,
                                            reinterpret_cast<BYTE*>(buffer), &size);
    key.Close();
    return status == ERROR_SUCCESS;
  }

 private:
  ScopedDeviceInfoList devices_;
  SP_DEVINFO_DATA device_{};
};

}  // namespace
}  // namespace meter_link

std::vector<MeterPort> FindMeterPorts() {
  return meter_link::FindMeterPortsIn([]() -> std::unique_ptr<meter_link::DeviceList> {
    HDEVINFO devices =
        SetupDiGetClassDevsW(nullptr, nullptr, nullptr, DIGCF_PRESENT | DIGCF_ALLCLASSES);
    if (devices == INVALID_HANDLE_VALUE) return nullptr;
    return std::make_unique<meter_link::SetupApiDeviceList>(devices);
  });
}

std::wstring SystemErrorText(uint32_t code) {
  wchar_t* text = nullptr;
  const DWORD length = FormatMessageW(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_IGNORE_INSERTS | FORMAT_MESSAGE_FROM_SYSTEM,
      nullptr, code, MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT), reinterpret_cast<wchar_t*>(&text),
      0, nullptr);
  const meter_link::ScopedLocalMemory owner(text);
  return meter_link::ComposeSystemErrorText(text, text != nullptr ? length : 0, code);
}
