// FindMeterPorts against SetupAPI under Wine, over device nodes that the test writes into the
// prefix's registry (Wine lists every instance key with a ClassGUID as a present device).
#include <windows.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "runner/meter/meter_ports.h"
#include "tests/support/captured_log.h"

namespace {

using namespace meter_link;

using ::testing::ElementsAre;

const wchar_t kCableKey[] = L"System\\CurrentControlSet\\Enum\\USB\\VID_10C4&PID_EA60";
const wchar_t kOtherKey[] = L"System\\CurrentControlSet\\Enum\\USB\\VID_1234&PID_0001";
const wchar_t kPortsClass[] = L"{4d36e978-e325-11ce-bfc1-08002be10318}";

std::wstring MultiString(const std::vector<std::wstring>& ids) {
  std::wstring text;
  for (const std::wstring& id : ids) text += id + L'\0';
  return text + L'\0';
}

void SetString(HKEY key, const wchar_t* name, DWORD type, const std::wstring& value) {
  RegSetValueExW(key, name, 0, type, reinterpret_cast<const BYTE*>(value.data()),
                 static_cast<DWORD>(value.size() * sizeof(wchar_t)));
}

// One device node: instance key with HardwareID and ClassGUID, and unless portName is null a
// "Device Parameters" key, with "PortName" unless portName is "-".
void AddDevice(const wchar_t* parent, const std::wstring& instance,
               const std::vector<std::wstring>& hardwareIds, const wchar_t* portName) {
  HKEY key = nullptr;
  const std::wstring path = std::wstring(parent) + L"\\" + instance;
  ASSERT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS,
                            nullptr, &key, nullptr),
            ERROR_SUCCESS);
  SetString(key, L"HardwareID", REG_MULTI_SZ, MultiString(hardwareIds));
  SetString(key, L"ClassGUID", REG_SZ, std::wstring(kPortsClass) + L'\0');
  if (portName != nullptr) {
    HKEY parameters = nullptr;
    ASSERT_EQ(RegCreateKeyExW(key, L"Device Parameters", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                              &parameters, nullptr),
              ERROR_SUCCESS);
    if (std::wstring(portName) != L"-") {
      SetString(parameters, L"PortName", REG_SZ, std::wstring(portName) + L'\0');
    }
    RegCloseKey(parameters);
  }
  RegCloseKey(key);
}

void AddCable(const std::wstring& instance, const wchar_t* portName) {
  AddDevice(kCableKey, instance, {L"USB\\VID_10C4&PID_EA60&REV_0100", L"USB\\VID_10C4&PID_EA60"},
            portName);
}

class Win32PortDiscoveryTest : public ::testing::Test {
 protected:
  // The prefix belongs to this build and the test holds the meter-devices lock: every CP2102
  // node there is left over and goes.
  void SetUp() override {
    RemoveAll();
    ClearCapturedLog();
  }
  void TearDown() override { RemoveAll(); }
  static void RemoveAll() {
    RegDeleteTreeW(HKEY_LOCAL_MACHINE, kCableKey);
    RegDeleteTreeW(HKEY_LOCAL_MACHINE, kOtherKey);
  }
};

TEST_F(Win32PortDiscoveryTest, NoCableGivesAnEmptyListAndTheThreeLogLines) {
  AddDevice(kOtherKey, L"1", {L"USB\\VID_1234&PID_0001"}, L"COM3");
  EXPECT_TRUE(FindMeterPorts().empty());
  EXPECT_THAT(CapturedLogLines(),
              ElementsAre("porty: SetupAPI — pobieram listę urządzeń",
                          "porty: SetupAPI — lista jest, szukam CP2102", "porty: znalezione=0"));
}

// Wine enumerates instance keys by name, not in the order they were written; the port names
// run the other way. Cables without a usable port name are skipped.
TEST_F(Win32PortDiscoveryTest, CablesComeInEnumerationOrderWithTheirDevicePaths) {
  AddCable(L"1empty", L"");
  AddCable(L"2novalue", L"-");
  AddCable(L"3nokey", nullptr);
  AddCable(L"B0002", L"COM4");
  AddCable(L"A0001", L"COM31");
  const std::vector<MeterPort> ports = FindMeterPorts();
  ASSERT_EQ(ports.size(), 2u);
  EXPECT_EQ(ports[0].name, L"COM31");
  EXPECT_EQ(ports[0].path, L"\\\\.\\COM31");  // two digits: the path keeps them both
  EXPECT_EQ(ports[1].name, L"COM4");
  EXPECT_EQ(ports[1].path, L"\\\\.\\COM4");
  EXPECT_EQ(CapturedLogLines().back(), "porty: znalezione=2");
}

TEST(Win32SystemErrorText, SystemTextLosesItsLineBreakAndKeepsItsFullStop) {
  EXPECT_EQ(SystemErrorText(12345), L"b\u0142\u0105d 12345") << "no system text: the number";
  for (uint32_t code : {2u, 5u, 21u}) {
    const std::wstring text = SystemErrorText(code);
    ASSERT_FALSE(text.empty()) << code;
    EXPECT_EQ(text.back(), L'.') << code;
    EXPECT_EQ(text.find(L"b\u0142\u0105d "), std::wstring::npos) << code;
  }
}

}  // namespace
