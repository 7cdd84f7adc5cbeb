#include "runner/meter/port_search.h"

#include <algorithm>
#include <string>

#include "runner/diagnostics/native_log.h"

namespace meter_link {
namespace {

const wchar_t kVendorMark[] = L"VID_10C4";
const wchar_t kProductMark[] = L"PID_EA60";
const wchar_t kDevicePathPrefix[] = L"\\\\.\\";

// The whole multi-string, separating NULs included, so the marks may sit in different IDs.
bool IsMeterCable(const wchar_t* hardwareIds, uint32_t requiredBytes) {
  const size_t units = std::min<size_t>(requiredBytes / 2, DeviceList::kHardwareIdUnits);
  const std::wstring text(hardwareIds, units);
  return text.find(kVendorMark) != std::wstring::npos &&
         text.find(kProductMark) != std::wstring::npos;
}

}  // namespace

std::vector<MeterPort> FindMeterPortsIn(const DeviceListOpener& openList) {
  LogMessage("porty: SetupAPI — pobieram listę urządzeń");
  std::unique_ptr<DeviceList> list = openList();
  if (!list) {
    LogMessage("porty: SetupAPI nie dał listy");
    return {};
  }
  LogMessage("porty: SetupAPI — lista jest, szukam CP2102");
  std::vector<MeterPort> ports;
  for (uint32_t index = 0; list->SelectDevice(index); ++index) {
    wchar_t hardwareIds[DeviceList::kHardwareIdUnits] = {};
    uint32_t requiredBytes = 0;
    if (!list->ReadHardwareIds(hardwareIds, &requiredBytes)) continue;
    if (!IsMeterCable(hardwareIds, requiredBytes)) continue;
    wchar_t portName[DeviceList::kPortNameUnits] = {};
    if (!list->ReadPortName(portName) || portName[0] == L'\0') continue;
    MeterPort port;
    port.name.assign(portName, std::find(portName, portName + DeviceList::kPortNameUnits, L'\0'));
    port.path = kDevicePathPrefix + port.name;
    ports.push_back(std::move(port));
  }
  list.reset();
  LogMessage(("porty: znalezione=" + std::to_string(ports.size())).c_str());
  return ports;
}

}  // namespace meter_link
