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
  std::wstring hardwareIds = kCableIds;
  bool idsReadable = true;
  // Reported size in bytes; by default the whole multi-string.
  int requiredBytes = -1;
  bool keyOpens = true;
  bool valueReadable = true;
  std::wstring portName;  // copied into the 64-unit buffer as is, without adding a NUL
};

FakeDevice Cable(const std::wstring& portName) {
  FakeDevice device;
  device.portName = portName;
  return device;
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

TEST_F(PortSearchTest, NoCableAmongOtherDevicesGivesAnEmptyListAndCountZero) {
  FakeDevice mouse;
  mouse.hardwareIds = MultiString({L"HID\\VID_046D&PID_C077"});
  mouse.portName = L"COM3";
  EXPECT_TRUE(Search({mouse}).empty());
  EXPECT_THAT(CapturedLogLines(),
              ElementsAre(kListing, kSearching, "test: list released", "porty: znalezione=0"));
}

TEST_F(PortSearchTest, OneCableGivesItsNameAndDevicePath) {
  const auto ports = Search({Cable(L"COM12")});  // two digits: the path keeps them both
  ASSERT_EQ(ports.size(), 1u);
  EXPECT_EQ(ports[0].name, L"COM12");
  EXPECT_EQ(ports[0].path, L"\\\\.\\COM12");
  EXPECT_THAT(CapturedLogLines(),
              ElementsAre(kListing, kSearching, "test: list released", "porty: znalezione=1"));
}

TEST_F(PortSearchTest, CablesComeInEnumerationOrderUnsortedWithDuplicates) {
  FakeDevice other;
  other.hardwareIds = MultiString({L"PCI\\VEN_8086&DEV_A370"});
  const auto ports = Search({Cable(L"COM9"), other, Cable(L"COM3"), Cable(L"COM9")});
  EXPECT_EQ(Names(ports), (std::vector<std::wstring>{L"COM9", L"COM3", L"COM9"}));
  EXPECT_EQ(CapturedLogLines().back(), "porty: znalezione=3");
}

TEST_F(PortSearchTest, MarksAreCaseSensitive) {
  FakeDevice lowerVendor = Cable(L"COM4");
  lowerVendor.hardwareIds = MultiString({L"USB\\vid_10c4&PID_EA60"});
  FakeDevice lowerProduct = Cable(L"COM5");
  lowerProduct.hardwareIds = MultiString({L"USB\\VID_10C4&pid_ea60"});
  EXPECT_TRUE(Search({lowerVendor, lowerProduct}).empty());
}

TEST_F(PortSearchTest, MarksMayLieInDifferentIdsOfTheMultiString) {
  FakeDevice split = Cable(L"COM6");
  split.hardwareIds = MultiString({L"USB\\VID_10C4&PID_0001", L"USB\\VID_0000&PID_EA60"});
  FakeDevice vendorOnly = Cable(L"COM8");
  vendorOnly.hardwareIds = MultiString({L"USB\\VID_10C4&PID_EA61"});
  EXPECT_EQ(Names(Search({split, vendorOnly})), (std::vector<std::wstring>{L"COM6"}));
}

TEST_F(PortSearchTest, OnlyTheReportedSizeOfTheHardwareIdsIsSearched) {
  // The product mark lies beyond the size the system reported (bytes, two per unit).
  FakeDevice truncated = Cable(L"COM6");
  truncated.hardwareIds = MultiString({L"USB\\VID_10C4", L"PID_EA60"});
  truncated.requiredBytes = 2 * 13;
  FakeDevice exact = Cable(L"COM7");
  exact.hardwareIds = MultiString({L"USB\\VID_10C4", L"PID_EA60"});
  exact.requiredBytes = 2 * 21;  // up to the last character of PID_EA60
  EXPECT_EQ(Names(Search({truncated, exact})), (std::vector<std::wstring>{L"COM7"}));
}

TEST_F(PortSearchTest, UnreadableDevicesAndEmptyOrMissingPortNamesAreSkipped) {
  FakeDevice noIds = Cable(L"COM1");
  noIds.idsReadable = false;
  FakeDevice noKey = Cable(L"COM2");
  noKey.keyOpens = false;
  FakeDevice noValue = Cable(L"COM3");
  noValue.valueReadable = false;
  FakeDevice empty = Cable(L"");
  FakeDevice emptyWithJunk = Cable(std::wstring(L"\0COM9", 5));
  const auto ports = Search({noIds, noKey, noValue, empty, emptyWithJunk, Cable(L"COM4")});
  EXPECT_EQ(Names(ports), (std::vector<std::wstring>{L"COM4"}));
  EXPECT_EQ(CapturedLogLines().back(), "porty: znalezione=1");
}

TEST_F(PortSearchTest, PortNameEndsAtItsFirstNulWithinSixtyFourUnits) {
  const std::wstring full(64, L'X');
  const auto ports = Search({Cable(std::wstring(L"COM7\0junk", 9)), Cable(full)});
  ASSERT_EQ(ports.size(), 2u);
  EXPECT_EQ(ports[0].name, L"COM7");
  EXPECT_EQ(ports[1].name, full);
}

}  // namespace
