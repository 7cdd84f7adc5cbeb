// The Win32 pieces of the meter that need the real API but no simulator, under Wine: port
// discovery over device nodes written into the prefix's registry (Wine lists every instance key
// with a ClassGUID as a present device), the refused PostMessageW, a port's set-up calls and which
// of them may fail, the system's error texts, the line settings that a pseudo-terminal cannot
// show, and the wall clock.
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

// The set-up calls with their arguments and order; the line settings and the time-outs must
// take (without its time-outs a line blocks every read for ever), the rest may not. A plain file
// stands in for the port, whose exclusive open Wine enforces: that shows whether the handle is
// still held.
struct CommCall {
  HANDLE port;
  std::string call;
};
std::vector<CommCall> commCalls;

BOOL Record(HANDLE port, const std::string& call) {
  commCalls.push_back({port, call});
  return TRUE;
}
BOOL WINAPI RecordGetCommState(HANDLE port, DCB*) { return Record(port, "GetCommState"); }
BOOL WINAPI RecordSetCommState(HANDLE port, DCB*) { return Record(port, "SetCommState"); }
BOOL WINAPI RecordSetCommTimeouts(HANDLE port, COMMTIMEOUTS*) {
  return Record(port, "SetCommTimeouts");
}
BOOL WINAPI RecordSetupComm(HANDLE port, DWORD input, DWORD output) {
  return Record(port, "SetupComm " + std::to_string(input) + " " + std::to_string(output));
}
BOOL WINAPI RecordPurgeComm(HANDLE port, DWORD flags) {
  return Record(port, "PurgeComm " + std::to_string(flags));
}
BOOL WINAPI RecordEscapeCommFunction(HANDLE port, DWORD function) {
  return Record(port, "EscapeCommFunction " + std::to_string(function));
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

// Queues of 4096 bytes both ways, both queues purged and nothing aborted, DTR raised before RTS,
// all on the opened port. A write that succeeds carries no error code, whatever the thread's last
// error was before it.
TEST(CommConfiguration, SetUpCallsInOrderAndOnlyLineSettingsAndTimeoutsMustTake) {
  wchar_t folder[MAX_PATH + 1] = {};
  wchar_t path[MAX_PATH + 1] = {};
  ASSERT_NE(GetTempPathW(MAX_PATH + 1, folder), 0u);
  ASSERT_NE(GetTempFileNameW(folder, L"com", 0, path), 0u);
  // The calls in the order of CommConfigurationApi; the first three must take; 6 refuses none.
  for (int refusing = 0; refusing <= 6; ++refusing) {
    SCOPED_TRACE(refusing);
    CommConfigurationApi api{RecordGetCommState, RecordSetCommState, RecordSetCommTimeouts,
                             RecordSetupComm,    RecordPurgeComm,    RecordEscapeCommFunction};
    if (refusing == 0) api.getCommState = Refuse;
    if (refusing == 1) api.setCommState = Refuse;
    if (refusing == 2) api.setCommTimeouts = Refuse;
    if (refusing == 3) api.setupComm = Refuse;
    if (refusing == 4) api.purgeComm = Refuse;
    if (refusing == 5) api.escapeCommFunction = Refuse;
    const bool opens = refusing >= 3;
    OpenFailureStage stage = OpenFailureStage::kOpen;
    uint32_t code = 0;
    commCalls.clear();
    const auto line = OpenWin32SerialLine(path, &stage, &code, api);
    EXPECT_EQ(line != nullptr, opens);
    EXPECT_EQ(IsHeld(path), opens) << "a refused configuration closes the port";
    if (!opens) {
      EXPECT_EQ(std::make_tuple(stage, code),
                std::make_tuple(OpenFailureStage::kConfigure, uint32_t{ERROR_GEN_FAILURE}));
    }
    if (refusing < 6) continue;
    ASSERT_NE(line, nullptr);
    std::vector<std::string> calls;
    for (const CommCall& call : commCalls) {
      EXPECT_EQ(call.port, static_cast<Win32SerialLine&>(*line).Handle()) << call.call;
      calls.push_back(call.call);
    }
    EXPECT_EQ(calls, (std::vector<std::string>{
                         "GetCommState", "SetCommState", "SetCommTimeouts", "SetupComm 4096 4096",
                         "PurgeComm " + std::to_string(PURGE_TXCLEAR | PURGE_RXCLEAR),
                         "EscapeCommFunction " + std::to_string(SETDTR),
                         "EscapeCommFunction " + std::to_string(SETRTS)}));
    SetLastError(ERROR_GEN_FAILURE);
    const uint8_t query = 0x11;
    const SerialIo written = line->Write(&query, 1);
    EXPECT_EQ(std::make_tuple(written.ok, written.count, written.error),
              std::make_tuple(true, 1u, 0u));
  }
  DeleteFileW(path);
}

// The system's own text in the user's language, which under Wine this run sets to German
// (CMakeLists.txt): neither the product's Polish nor Wine's default English. A code the system has
// no text for gives "błąd" and the code in unsigned decimal.
std::wstring GermanSystemText(DWORD code) {
  wchar_t* text = nullptr;
  const DWORD length = FormatMessageW(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_IGNORE_INSERTS | FORMAT_MESSAGE_FROM_SYSTEM,
      nullptr, code, MAKELANGID(LANG_GERMAN, SUBLANG_GERMAN), reinterpret_cast<wchar_t*>(&text), 0,
      nullptr);
  const UniqueLocalMemory owner(text);
  std::wstring found(text != nullptr ? text : L"", text != nullptr ? length : 0);
  while (!found.empty() && (found.back() == L'\n' || found.back() == L'\r')) found.pop_back();
  return found;
}

TEST(Win32SystemErrorText, TheUsersLanguageOrTheCodeInDecimal) {
  EXPECT_EQ(SystemErrorText(12345), L"b\u0142\u0105d 12345");
  EXPECT_EQ(SystemErrorText(4294967295u), L"b\u0142\u0105d 4294967295");
  wchar_t locale[32] = {};
  GetEnvironmentVariableW(L"LC_ALL", locale, 32);
  if (std::wstring(locale) != L"de_DE.UTF-8") {
    GTEST_SKIP() << "the user's language is this run's own only under Wine";
  }
  ASSERT_EQ(PRIMARYLANGID(GetUserDefaultUILanguage()), LANG_GERMAN) << "the language did not take";
  const std::wstring german = GermanSystemText(ERROR_ACCESS_DENIED);
  ASSERT_FALSE(german.empty());
  EXPECT_EQ(SystemErrorText(ERROR_ACCESS_DENIED), german);
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
