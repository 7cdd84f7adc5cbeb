// Which configuration steps of OpenWin32SerialLine may fail: the line settings and the time-outs
// must take (a line without its time-outs would block every read for ever), the rest may not.
// A plain file stands in for the port, and the configuration calls are swapped for ones that
// accept or refuse; Wine enforces the exclusive open on files, which shows whether the handle is
// still held.
#include <windows.h>

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "runner/meter/win32_serial_line.h"

namespace {

using meter_link::CommConfigurationApi;
using meter_link::OpenFailureStage;

constexpr DWORD kRefusal = ERROR_GEN_FAILURE;

template <typename... Args>
BOOL WINAPI Accept(Args...) {
  return TRUE;
}

template <typename... Args>
BOOL WINAPI Refuse(Args...) {
  SetLastError(kRefusal);
  return FALSE;
}

CommConfigurationApi AcceptingEverything() {
  CommConfigurationApi api;
  api.getCommState = Accept;
  api.setCommState = Accept;
  api.setCommTimeouts = Accept;
  api.setupComm = Accept;
  api.purgeComm = Accept;
  api.escapeCommFunction = Accept;
  return api;
}

// True when another exclusive open of path is refused for sharing: someone holds it.
bool IsHeld(const std::wstring& path) {
  const UniqueFileHandle other(CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                           OPEN_EXISTING, 0, nullptr));
  return !other && GetLastError() == ERROR_SHARING_VIOLATION;
}

struct Case {
  const char* refusing;
  void (*refuse)(CommConfigurationApi&);
  bool opens;
};

const Case kCases[] = {
    {"GetCommState", [](CommConfigurationApi& api) { api.getCommState = Refuse; }, false},
    {"SetCommState", [](CommConfigurationApi& api) { api.setCommState = Refuse; }, false},
    {"SetCommTimeouts", [](CommConfigurationApi& api) { api.setCommTimeouts = Refuse; }, false},
    {"SetupComm", [](CommConfigurationApi& api) { api.setupComm = Refuse; }, true},
    {"PurgeComm", [](CommConfigurationApi& api) { api.purgeComm = Refuse; }, true},
    {"EscapeCommFunction", [](CommConfigurationApi& api) { api.escapeCommFunction = Refuse; },
     true},
};

TEST(CommConfiguration, OnlyLineSettingsAndTimeoutsMustTakeAndAFailureClosesThePort) {
  wchar_t folder[MAX_PATH + 1] = {};
  wchar_t path[MAX_PATH + 1] = {};
  ASSERT_NE(GetTempPathW(MAX_PATH + 1, folder), 0u);
  ASSERT_NE(GetTempFileNameW(folder, L"com", 0, path), 0u);
  for (const Case& step : kCases) {
    SCOPED_TRACE(step.refusing);
    CommConfigurationApi api = AcceptingEverything();
    step.refuse(api);
    OpenFailureStage stage = OpenFailureStage::kOpen;
    uint32_t code = 0;
    const auto line = meter_link::OpenWin32SerialLine(path, &stage, &code, api);
    EXPECT_EQ(line != nullptr, step.opens);
    EXPECT_EQ(IsHeld(path), step.opens);
    if (!step.opens) {
      EXPECT_EQ(stage, OpenFailureStage::kConfigure);
      EXPECT_EQ(code, kRefusal);
    }
  }
  DeleteFileW(path);
}

}  // namespace
