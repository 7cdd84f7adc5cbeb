// FindMeterPorts against SetupAPI under Wine, over device nodes that the test writes into the
// prefix's registry (Wine lists every instance key with a ClassGUID as a present device).
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "runner/meter/meter_ports.h"
#include "tests/support/captured_log.h"

namespace meter_link {
namespace {

const std::wstring kCableKey = L"System\\CurrentControlSet\\Enum\\USB\\VID_10C4&PID_EA60";
const std::wstring kOtherKey = L"System\\CurrentControlSet\\Enum\\USB\\VID_1234&PID_0001";

void Set(const std::wstring& key, const wchar_t* name, DWORD type, const std::wstring& value) {
  ASSERT_EQ(RegSetKeyValueW(HKEY_LOCAL_MACHINE, key.c_str(), name, type, value.c_str(),
                            static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t))),
            ERROR_SUCCESS);
}

// A device node of the ports class with one hardware id; unless portName is null a "Device
// Parameters" key, with "PortName" unless portName is "-".
void AddDevice(const std::wstring& key, const wchar_t* hardwareId, const wchar_t* portName) {
  Set(key, L"HardwareID", REG_MULTI_SZ, std::wstring(hardwareId) + L'\0');
  Set(key, L"ClassGUID", REG_SZ, L"{4d36e978-e325-11ce-bfc1-08002be10318}");
  if (portName == nullptr) return;
  Set(key + L"\\Device Parameters", *portName == L'-' ? L"Other" : L"PortName", REG_SZ, portName);
}

// The prefix belongs to this build and the test holds the meter-devices lock: every CP2102 node
// there is left over and goes. Wine enumerates instance keys by name, not in the order they
// were written; the port names run the other way. Cables without a usable port name are skipped.
TEST(Win32PortDiscovery, CablesComeInEnumerationOrderWithTheirDevicePaths) {
  for (const auto& key : {kCableKey, kOtherKey}) RegDeleteTreeW(HKEY_LOCAL_MACHINE, key.c_str());
  const wchar_t cable[] = L"USB\\VID_10C4&PID_EA60&REV_0100";
  AddDevice(kOtherKey + L"\\1", L"USB\\VID_1234&PID_0001", L"COM3");
  AddDevice(kCableKey + L"\\1empty", cable, L"");
  AddDevice(kCableKey + L"\\2novalue", cable, L"-");
  AddDevice(kCableKey + L"\\3nokey", cable, nullptr);
  AddDevice(kCableKey + L"\\B0002", cable, L"COM4");
  AddDevice(kCableKey + L"\\A0001", cable, L"COM31");
  ClearCapturedLog();
  const std::vector<MeterPort> ports = FindMeterPorts();
  for (const auto& key : {kCableKey, kOtherKey}) RegDeleteTreeW(HKEY_LOCAL_MACHINE, key.c_str());
  std::vector<std::wstring> found;
  for (const MeterPort& port : ports) found.insert(found.end(), {port.name, port.path});
  EXPECT_EQ(found, (std::vector<std::wstring>{L"COM31", L"\\\\.\\COM31", L"COM4", L"\\\\.\\COM4"}));
  EXPECT_EQ(CapturedLogLines(),
            (std::vector<std::string>{"porty: SetupAPI — pobieram listę urządzeń",
                                      "porty: SetupAPI — lista jest, szukam CP2102",
                                      "porty: znalezione=2"}));
}

}  // namespace
}  // namespace meter_link
