// The CP2102 search over scripted device lists: which devices count, in which order, what their
// port names become, and the discovery log lines.
#include "runner/meter/port_search.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "runner/diagnostics/native_log.h"
#include "tests/support/captured_log.h"

namespace {

using namespace meter_link;

using meter_link::DeviceList;
using ::testing::ElementsAre;

const char kListing[] = "porty: SetupAPI — pobieram listę urządzeń";
const char kNoList[] = "porty: SetupAPI nie dał listy";
const char kSearching[] = "porty: SetupAPI — lista jest, szukam CP2102";

// Hardware IDs as the system stores them: NUL-separated, ending in two NULs.
std::wstring MultiString(const std::vector<std::wstring>& ids) {
  std::wstring text;
  for (const std::wstring& id : ids) text += id + L'\0';
  return text + L'\0';
}

const std::wstring kCableIds =
    MultiString({L"USB\\VID_10C4&PID_EA60&REV_0100", L"USB\\VID_10C4&PID_EA60"});

struct FakeDevice {
  std::wstring portName;  // copied into the 64-unit buffer as is, without adding a NUL
  std::wstring hardwareIds = kCableIds;
  int requiredBytes = -1;  // reported size in bytes; by default the whole multi-string
  bool idsReadable = true;
  bool keyOpens = true;
  bool valueReadable = true;
};

FakeDevice Cable(const std::wstring& portName) { return {portName}; }
FakeDevice WithIds(const std::wstring& portName, const std::vector<std::wstring>& ids,
                   int requiredBytes = -1) {
  return {portName, MultiString(ids), requiredBytes};
}

class FakeDeviceList : public DeviceList {
 public:
  explicit FakeDeviceList(std::vector<FakeDevice> devices) : devices_(std::move(devices)) {}
  ~FakeDeviceList() override { LogMessage("test: list released"); }

  bool SelectDevice(uint32_t index) override {
    selected_ = index;
    return index < devices_.size();
  }
  bool ReadHardwareIds(wchar_t* buffer, uint32_t* requiredBytes) override {
    const FakeDevice& d = devices_[selected_];
    if (!d.idsReadable) return false;
    std::copy_n(d.hardwareIds.begin(), std::min(d.hardwareIds.size(), kHardwareIdUnits), buffer);
    *requiredBytes = d.requiredBytes >= 0 ? static_cast<uint32_t>(d.requiredBytes)
                                          : static_cast<uint32_t>(d.hardwareIds.size() * 2);
    return true;
  }
  bool ReadPortName(wchar_t* buffer) override {
    const FakeDevice& d = devices_[selected_];
    if (!d.keyOpens || !d.valueReadable) return false;
    std::copy_n(d.portName.begin(), std::min(d.portName.size(), kPortNameUnits), buffer);
    return true;
  }

 private:
  std::vector<FakeDevice> devices_;
  uint32_t selected_ = 0;
};

std::vector<MeterPort> Search(std::vector<FakeDevice> devices) {
  return meter_link::FindMeterPortsIn(
      [&] { return std::make_unique<FakeDeviceList>(std::move(devices)); });
}

std::vector<std::wstring> Names(const std::vector<MeterPort>& ports) {
  std::vector<std::wstring> names;
  for (const MeterPort& p : ports) names.push_back(p.name);
  return names;
}

class PortSearchTest : public ::testing::Test {
 protected:
  void SetUp() override { ClearCapturedLog(); }
};

TEST_F(PortSearchTest, NoDeviceListLogsItAndGivesNothing) {
  const auto ports = meter_link::FindMeterPortsIn([] { return std::unique_ptr<DeviceList>(); });
  EXPECT_TRUE(ports.empty());
  EXPECT_THAT(CapturedLogLines(), ElementsAre(kListing, kNoList));
}

TEST_F(PortSearchTest, OneCableGivesItsNameAndDevicePath) {
  const auto ports = Search({Cable(L"COM12")});  // two digits: the path keeps them both
  ASSERT_EQ(ports.size(), 1u);
  EXPECT_EQ(ports[0].name, L"COM12");
  EXPECT_EQ(ports[0].path, L"\\\\.\\COM12");
  EXPECT_THAT(CapturedLogLines(),
              ElementsAre(kListing, kSearching, "test: list released", "porty: znalezione=1"));
}

TEST_F(PortSearchTest, WhichDevicesCountAndWhatTheirNamesBecome) {
  FakeDevice noIds = Cable(L"COM1"), noKey = Cable(L"COM2"), noValue = Cable(L"COM3");
  noIds.idsReadable = false;
  noKey.keyOpens = false;
  noValue.valueReadable = false;
  const std::wstring full(64, L'X');
  const struct {
    const char* name;
    std::vector<FakeDevice> devices;
    std::vector<std::wstring> found;
  } cases[] = {
      {"no cable among other devices", {WithIds(L"COM3", {L"HID\\VID_046D&PID_C077"})}, {}},
      {"enumeration order, unsorted, with duplicates",
       {Cable(L"COM9"), WithIds(L"COM5", {L"PCI\\VEN_8086&DEV_A370"}), Cable(L"COM3"),
        Cable(L"COM9")},
       {L"COM9", L"COM3", L"COM9"}},
      {"marks are case-sensitive",
       {WithIds(L"COM4", {L"USB\\vid_10c4&PID_EA60"}),
        WithIds(L"COM5", {L"USB\\VID_10C4&pid_ea60"})},
       {}},
      {"marks may lie in different ids of the multi-string",
       {WithIds(L"COM6", {L"USB\\VID_10C4&PID_0001", L"USB\\VID_0000&PID_EA60"}),
        WithIds(L"COM8", {L"USB\\VID_10C4&PID_EA61"})},
       {L"COM6"}},
      // The product mark lies beyond the reported size (bytes, two per unit) of the first.
      {"only the reported size of the hardware ids is searched",
       {WithIds(L"COM6", {L"USB\\VID_10C4", L"PID_EA60"}, 2 * 13),
        WithIds(L"COM7", {L"USB\\VID_10C4", L"PID_EA60"}, 2 * 21)},
       {L"COM7"}},
      {"unreadable devices and empty or missing port names are skipped",
       {noIds, noKey, noValue, Cable(L""), Cable(std::wstring(L"\0COM9", 5)), Cable(L"COM4")},
       {L"COM4"}},
      {"the port name ends at its first NUL within 64 units",
       {Cable(std::wstring(L"COM7\0junk", 9)), Cable(full)},
       {L"COM7", full}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    ClearCapturedLog();
    EXPECT_EQ(Names(Search(c.devices)), c.found);
    EXPECT_THAT(CapturedLogLines(),
                ElementsAre(kListing, kSearching, "test: list released",
                            "porty: znalezione=" + std::to_string(c.found.size())));
  }
}

}  // namespace
