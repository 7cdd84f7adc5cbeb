// FindMeterPorts and SystemErrorText over SetupAPI, the registry and FormatMessageW. The search
// itself is portable (port_search.cpp); this file only reads what it asks for.
#include <windows.h>

#include <setupapi.h>

#include <memory>
#include <utility>

#include "runner/meter/error_text.h"
#include "runner/meter/meter_ports.h"
#include "runner/meter/port_search.h"
#include "runner/win32_unique_device_info_list.h"
#include "runner/win32_unique_handle.h"

namespace meter_link {
namespace {

class SetupApiDeviceList : public DeviceList {
 public:
  explicit SetupApiDeviceList(UniqueDeviceInfoList devices) : devices_(std::move(devices)) {}

  bool SelectDevice(uint32_t index) override {
    device_ = SP_DEVINFO_DATA{};
    device_.cbSize = sizeof(SP_DEVINFO_DATA);
    return SetupDiEnumDeviceInfo(devices_.get(), index, &device_) != FALSE;
  }

  bool ReadHardwareIds(wchar_t* buffer, uint32_t* requiredBytes) override {
    DWORD type = 0;
    DWORD required = 0;
    if (!SetupDiGetDeviceRegistryPropertyW(devices_.get(), &device_, SPDRP_HARDWAREID, &type,
                                           reinterpret_cast<BYTE*>(buffer),
                                           kHardwareIdUnits * sizeof(wchar_t), &required)) {
      return false;
    }
    *requiredBytes = required;
    return true;
  }

  bool ReadPortName(wchar_t* buffer) override {
    UniqueDeviceRegistryKey key(
        SetupDiOpenDevRegKey(devices_.get(), &device_, DICS_FLAG_GLOBAL, 0, DIREG_DEV, KEY_READ));
    if (!key) return false;
    DWORD type = 0;
    DWORD size = kPortNameUnits * sizeof(wchar_t);
    const LSTATUS status = RegQueryValueExW(key.get(), L"PortName", nullptr, &type,
                                            reinterpret_cast<BYTE*>(buffer), &size);
    key.reset();
    return status == ERROR_SUCCESS;
  }

 private:
  UniqueDeviceInfoList devices_;
  SP_DEVINFO_DATA device_{};
};

}  // namespace

std::vector<MeterPort> FindMeterPorts() {
  return FindMeterPortsIn([]() -> std::unique_ptr<DeviceList> {
    UniqueDeviceInfoList devices(
        SetupDiGetClassDevsW(nullptr, nullptr, nullptr, DIGCF_PRESENT | DIGCF_ALLCLASSES));
    if (!devices) return nullptr;
    return std::make_unique<SetupApiDeviceList>(std::move(devices));
  });
}

std::wstring SystemErrorText(uint32_t code) {
  wchar_t* text = nullptr;
  const DWORD length = FormatMessageW(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_IGNORE_INSERTS | FORMAT_MESSAGE_FROM_SYSTEM,
      nullptr, code, MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT), reinterpret_cast<wchar_t*>(&text),
      0, nullptr);
  const UniqueLocalMemory owner(text);
  return ComposeSystemErrorText(text, text != nullptr ? length : 0, code);
}

}  // namespace meter_link
