// Which configuration steps of OpenWin32SerialLine may fail: the line settings and the time-outs
// must take (a line without its time-outs would block every read for ever), the rest may not.
// A plain file stands in for the port, and the configuration calls are swapped for ones that
// accept or refuse; Wine enforces the exclusive open on files, which shows whether the handle is
// still held.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <tuple>

#include "runner/meter/win32_serial_line.h"

namespace meter_link {
namespace {

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

}  // namespace
}  // namespace meter_link
