#include "runner/meter/port_search.h"

#include <gmock/gmock.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "runner/diagnostics/native_log.h"
#include "tests/support/captured_log.h"

namespace meter_link {
namespace {

using ::testing::ElementsAre;
const char kListing[] = "porty: SetupAPI — pobieram listę urządzeń";

// Hardware IDs as the system stores them: NUL-separated, ending in two NULs.
std::wstring MultiString(const std::vector<std::wstring>& ids) {
  std::wstring text;
  for (const std::wstring& id : ids) text += id + L'\0';
  return text + L'\0';
}

struct FakeDevice {
  std::wstring portName;  // copied into the 64-unit buffer as is, without adding a NUL
  std::wstring hardwareIds = MultiString({L"USB\\VID_10C4&PID_EA60&REV_0100"});
  int requiredBytes = -1;  // reported size in bytes; by default the whole multi-string
  bool idsReadable = true, nameReadable = true;
};

FakeDevice Cable(const std::wstring& portName) { return {portName}; }
FakeDevice Ids(const std::wstring& portName, const std::vector<std::wstring>& ids, int bytes = -1) {
  return {portName, MultiString(ids), bytes};
}

class FakeDeviceList : public DeviceList {
 public:
  explicit FakeDeviceList(std::vector<FakeDevice> devices) : devices(std::move(devices)) {}
  ~FakeDeviceList() override { LogMessage("test: list released"); }
  bool SelectDevice(uint32_t index) override { return (selected = index) < devices.size(); }
  bool ReadHardwareIds(wchar_t* buffer, uint32_t* requiredBytes) override {
    const FakeDevice& d = devices[selected];
    std::copy_n(d.hardwareIds.begin(), std::min(d.hardwareIds.size(), kHardwareIdUnits), buffer);
    *requiredBytes =
        static_cast<uint32_t>(d.requiredBytes >= 0 ? d.requiredBytes : d.hardwareIds.size() * 2);
    return d.idsReadable;
  }
  bool ReadPortName(wchar_t* buffer) override {
    const FakeDevice& d = devices[selected];
    std::copy_n(d.portName.begin(), std::min(d.portName.size(), kPortNameUnits), buffer);
    return d.nameReadable;
  }

 private:
  std::vector<FakeDevice> devices;
  uint32_t selected = 0;
};

TEST(PortSearch, NoDeviceListLogsItAndGivesNothing) {
  ClearCapturedLog();
  EXPECT_TRUE(FindMeterPortsIn([] { return nullptr; }).empty());
  EXPECT_THAT(CapturedLogLines(), ElementsAre(kListing, "porty: SetupAPI nie dał listy"));
}

TEST(PortSearch, WhichDevicesCountAndWhatTheirNamesBecome) {
  FakeDevice noIds{L"COM1"}, noName{L"COM2"};
  noIds.idsReadable = noName.nameReadable = false;
  const std::wstring full(64, L'X');
  const struct {
    const char* name;
    std::vector<FakeDevice> devices;
    std::vector<std::wstring> found;
  } cases[] = {
      {"enumeration order, unsorted, with duplicates, among other devices",
       {Cable(L"COM12"), Ids(L"COM5", {L"PCI\\VEN_8086&DEV_A370"}),
        Ids(L"COM3", {L"HID\\VID_046D&PID_C077"}), Cable(L"COM3"), Cable(L"COM12")},
       {L"COM12", L"COM3", L"COM12"}},
      {"both whole marks, case-sensitive, in any of the ids",
       {Ids(L"COM4", {L"USB\\vid_10c4&PID_EA60"}), Ids(L"COM5", {L"USB\\VID_10C4&pid_ea60"}),
        Ids(L"COM6", {L"USB\\VID_10C4&PID_0001", L"USB\\VID_0000&PID_EA60"}),
        Ids(L"COM8", {L"USB\\VID_10C4&PID_EA61"})},
       {L"COM6"}},
      // The product mark lies beyond the reported size (bytes, two per unit) of the first.
      {"only the reported size of the hardware ids is searched",
       {Ids(L"COM6", {L"USB\\VID_10C4", L"PID_EA60"}, 2 * 13),
        Ids(L"COM7", {L"USB\\VID_10C4", L"PID_EA60"}, 2 * 21)},
       {L"COM7"}},
      {"unreadable devices and empty names are skipped; a name ends at a NUL within 64 units",
       {noIds, noName, Cable(L""), Cable(std::wstring(L"\0COM9", 5)),
        Cable(std::wstring(L"COM7\0junk", 9)), Cable(full)},
       {L"COM7", full}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    ClearCapturedLog();
    std::vector<FakeDevice> devices = c.devices;
    const auto ports =
        FindMeterPortsIn([&] { return std::make_unique<FakeDeviceList>(std::move(devices)); });
    std::vector<std::wstring> found, expected;
    for (const MeterPort& port : ports) found.insert(found.end(), {port.name, port.path});
    for (const std::wstring& name : c.found)
      expected.insert(expected.end(), {name, L"\\\\.\\" + name});
    EXPECT_EQ(found, expected);
    EXPECT_THAT(
        CapturedLogLines(),
        ElementsAre(kListing, "porty: SetupAPI — lista jest, szukam CP2102", "test: list released",
                    "porty: znalezione=" + std::to_string(c.found.size())));
  }
}

}  // namespace
}  // namespace meter_link
