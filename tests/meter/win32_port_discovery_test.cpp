// FindMeterPorts against SetupAPI under Wine, over device nodes that the test writes into the
// prefix's registry (Wine lists every instance key with a ClassGUID as a present device).
#include <windows.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "runner/meter/meter_ports.h"
#include "tests/support/captured_log.h"

namespace meter_link {
namespace {

const wchar_t kCableKey[] = L"System\\CurrentControlSet\\Enum\\USB\\VID_10C4&PID_EA60";
const wchar_t kOtherKey[] = L"System\\CurrentControlSet\\Enum\\USB\\VID_1234&PID_0001";

void SetString(HKEY key, const wchar_t* name, DWORD type, const std::wstring& value) {
  RegSetValueExW(key, name, 0, type, reinterpret_cast<const BYTE*>(value.c_str()),
                 static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
}

// One device node of the ports class: instance key with HardwareID (a one-id multi-string) and
// ClassGUID, and unless portName is null a "Device Parameters" key, with "PortName" unless
// portName is "-".
void AddDevice(const wchar_t* parent, const std::wstring& instance, const std::wstring& hardwareId,
               const wchar_t* portName) {
  HKEY key = nullptr;
  const std::wstring path = std::wstring(parent) + L"\\" + instance;
  ASSERT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS,
                            nullptr, &key, nullptr),
            ERROR_SUCCESS);
  SetString(key, L"HardwareID", REG_MULTI_SZ, hardwareId + L'\0');
  SetString(key, L"ClassGUID", REG_SZ, L"{4d36e978-e325-11ce-bfc1-08002be10318}");
  if (portName != nullptr) {
    HKEY parameters = nullptr;
    ASSERT_EQ(RegCreateKeyExW(key, L"Device Parameters", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                              &parameters, nullptr),
              ERROR_SUCCESS);
    if (std::wstring(portName) != L"-") SetString(parameters, L"PortName", REG_SZ, portName);
    RegCloseKey(parameters);
  }
  RegCloseKey(key);
}

// The prefix belongs to this build and the test holds the meter-devices lock: every CP2102 node
// there is left over and goes.
void RemoveAll() {
  RegDeleteTreeW(HKEY_LOCAL_MACHINE, kCableKey);
  RegDeleteTreeW(HKEY_LOCAL_MACHINE, kOtherKey);
}

// Wine enumerates instance keys by name, not in the order they were written; the port names run
// the other way. Cables without a usable port name are skipped.
TEST(Win32PortDiscovery, CablesComeInEnumerationOrderWithTheirDevicePaths) {
  RemoveAll();
  const wchar_t cable[] = L"USB\\VID_10C4&PID_EA60&REV_0100";
  AddDevice(kOtherKey, L"1", L"USB\\VID_1234&PID_0001", L"COM3");
  AddDevice(kCableKey, L"1empty", cable, L"");
  AddDevice(kCableKey, L"2novalue", cable, L"-");
  AddDevice(kCableKey, L"3nokey", cable, nullptr);
  AddDevice(kCableKey, L"B0002", cable, L"COM4");
  AddDevice(kCableKey, L"A0001", cable, L"COM31");
  ClearCapturedLog();
  const std::vector<MeterPort> ports = FindMeterPorts();
  RemoveAll();
  ASSERT_EQ(ports.size(), 2u);
  EXPECT_EQ(ports[0].name, L"COM31");
  EXPECT_EQ(ports[0].path, L"\\\\.\\COM31");
  EXPECT_EQ(ports[1].name, L"COM4");
  EXPECT_EQ(ports[1].path, L"\\\\.\\COM4");
  EXPECT_THAT(
      CapturedLogLines(),
      ::testing::ElementsAre("porty: SetupAPI — pobieram listę urządzeń",
                             "porty: SetupAPI — lista jest, szukam CP2102", "porty: znalezione=2"));
}

}  // namespace
}  // namespace meter_link
