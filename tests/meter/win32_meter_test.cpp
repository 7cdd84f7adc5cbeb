// The Win32 pieces of the meter that need the real API but no simulator, under Wine: port
// discovery over device nodes written into the prefix's registry (Wine lists every instance key
// with a ClassGUID as a present device), the refused PostMessageW, which configuration steps of a
// port may fail, the line settings that a pseudo-terminal cannot show, and the wall clock.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstring>
#include <ctime>
#include <string>
#include <tuple>
#include <vector>

#include "runner/meter/meter_ports.h"
#include "runner/meter/win32_meter_platform.h"
#include "runner/meter/win32_serial_line.h"
#include "runner/meter/win32_ui_wake_up.h"
#include "tests/meter/win32_message_window.h"
#include "tests/support/captured_log.h"
#include "tests/support/win32_device_nodes.h"
#include "tests/support/win32_time_zone.h"

namespace meter_link {
namespace {

const std::wstring kOtherKey = L"System\\CurrentControlSet\\Enum\\USB\\VID_1234&PID_0001";

// The prefix belongs to this build and the test holds the meter-devices lock: every CP2102 node
// there is left over and goes. Wine enumerates instance keys by name, not in the order they
// were written; the port names run the other way. Cables without a usable port name are skipped.
TEST(Win32PortDiscovery, CablesComeInEnumerationOrderWithTheirDevicePaths) {
  for (const auto& key : {kCableKey, kOtherKey}) RegDeleteTreeW(HKEY_LOCAL_MACHINE, key.c_str());
  AddDevice(kOtherKey + L"\\1", L"USB\\VID_1234&PID_0001", L"COM3");
  AddDevice(kCableKey + L"\\1empty", kCableId, L"");
  AddDevice(kCableKey + L"\\2novalue", kCableId, L"-");
  AddDevice(kCableKey + L"\\3nokey", kCableId, nullptr);
  AddDevice(kCableKey + L"\\B0002", kCableId, L"COM4");
  AddDevice(kCableKey + L"\\A0001", kCableId, L"COM31");
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

// A refused PostMessageW is logged and its task waits for the next drain.
TEST(Win32UiTaskQueue, RefusedPostMessageKeepsTheTaskForTheNextDrain) {
  ClearCapturedLog();
  MessageWindow first, second;
  ASSERT_NE(first.Handle(), nullptr);
  SetUiTaskWindow(first.Handle(), Win32UiWakeUp());
  first.Destroy();  // PostMessageW to a destroyed window fails
  bool ran = false;
  EXPECT_FALSE(PostToUiThread([&ran] { ran = true; }));
  EXPECT_EQ(CapturedLogLines(), std::vector<std::string>{"kolejka: PostMessage odrzucony"});
  SetUiTaskWindow(second.Handle(), Win32UiWakeUp());
  EXPECT_TRUE(PostToUiThread([] {}));
  EXPECT_TRUE(PumpMessagesUntil([&ran] { return ran; }));
  ClearUiTaskWindow();
}

// The line settings and the time-outs must take (without its time-outs a line blocks every read
// for ever), the rest may not. A plain file stands in for the port, whose exclusive open Wine
// enforces: that shows whether the handle is still held.
template <typename... Args>
BOOL WINAPI Accept(Args...) {
  return TRUE;
}

template <typename... Args>
BOOL WINAPI Refuse(Args...) {
  SetLastError(ERROR_GEN_FAILURE);
  return FALSE;
}

// True when another exclusive open of path is refused for sharing: someone holds it.
bool IsHeld(const std::wstring& path) {
  const UniqueFileHandle other(CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                           OPEN_EXISTING, 0, nullptr));
  return !other && GetLastError() == ERROR_SHARING_VIOLATION;
}

TEST(CommConfiguration, OnlyLineSettingsAndTimeoutsMustTakeAndAFailureClosesThePort) {
  wchar_t folder[MAX_PATH + 1] = {};
  wchar_t path[MAX_PATH + 1] = {};
  ASSERT_NE(GetTempPathW(MAX_PATH + 1, folder), 0u);
  ASSERT_NE(GetTempFileNameW(folder, L"com", 0, path), 0u);
  // The calls in the order of CommConfigurationApi; the first three must take.
  for (int refusing = 0; refusing < 6; ++refusing) {
    SCOPED_TRACE(refusing);
    CommConfigurationApi api{Accept, Accept, Accept, Accept, Accept, Accept};
    if (refusing == 0) api.getCommState = Refuse;
    if (refusing == 1) api.setCommState = Refuse;
    if (refusing == 2) api.setCommTimeouts = Refuse;
    if (refusing == 3) api.setupComm = Refuse;
    if (refusing == 4) api.purgeComm = Refuse;
    if (refusing == 5) api.escapeCommFunction = Refuse;
    const bool opens = refusing >= 3;
    OpenFailureStage stage = OpenFailureStage::kOpen;
    uint32_t code = 0;
    const auto line = OpenWin32SerialLine(path, &stage, &code, api);
    EXPECT_EQ(line != nullptr, opens);
    EXPECT_EQ(IsHeld(path), opens) << "a refused configuration closes the port";
    if (opens) continue;
    EXPECT_EQ(std::make_tuple(stage, code),
              std::make_tuple(OpenFailureStage::kConfigure, uint32_t{ERROR_GEN_FAILURE}));
  }
  DeleteFileW(path);
}

// What a pseudo-terminal cannot show (Wine reports DTR and RTS raised whatever was set): the
// control lines raised, no DSR flow or sensitivity, no abort on error, binary without parity.
TEST(Win32SerialLine, LineSettingsRaiseDtrAndRtsWithoutHandshakes) {
  DCB dcb;
  std::memset(&dcb, 0xFF, sizeof dcb);
  ApplyMeterLineSettings(&dcb);
  EXPECT_EQ(
      std::make_tuple(DWORD{dcb.fDtrControl}, DWORD{dcb.fRtsControl}, DWORD{dcb.fOutxDsrFlow},
                      DWORD{dcb.fDsrSensitivity}, DWORD{dcb.fAbortOnError}, DWORD{dcb.fBinary},
                      DWORD{dcb.fParity}, DWORD{dcb.ByteSize}, DWORD{dcb.Parity}),
      std::make_tuple(DWORD{DTR_CONTROL_ENABLE}, DWORD{RTS_CONTROL_ENABLE}, 0ul, 0ul, 0ul, 1ul, 0ul,
                      8ul, DWORD{NOPARITY}));
}

// A reading's "t" is UTC, whatever the time zone: under Wine this run's local time is three hours
// ahead (LUMERO_ZONE_AHEAD_OF_UTC); the C runtime's clock is the independent witness.
TEST(Win32MeterPlatform, WallClockIsUtcMillisecondsSince1970) {
  if (!test_support::LocalTimeDiffersFromUtc()) GTEST_SKIP() << "local time is UTC here";
  const int64_t runtimeMs = static_cast<int64_t>(std::time(nullptr)) * 1000;
  EXPECT_NEAR(static_cast<double>(Win32MeterPlatform().WallClockMilliseconds()),
              static_cast<double>(runtimeMs), 5000.0);
}

}  // namespace
}  // namespace meter_link
