#include "runner/meter_console/win32_local_time.h"

#include <windows.h>

namespace meter_console {

namespace {
// 1970-01-01 in FILETIME's 100-nanosecond units since 1601-01-01.
constexpr int64_t kUnixEpochInFileTimeUnits = 116444736000000000;
}  // namespace

LocalTime LocalTimeOfUtcMilliseconds(int64_t utcMilliseconds) {
  const uint64_t units = static_cast<uint64_t>(utcMilliseconds * 10000 + kUnixEpochInFileTimeUnits);
  FILETIME fileTime{};
  fileTime.dwLowDateTime = static_cast<DWORD>(units & 0xFFFFFFFFu);
  fileTime.dwHighDateTime = static_cast<DWORD>(units >> 32);
  SYSTEMTIME utc{};
  SYSTEMTIME local{};
  if (!FileTimeToSystemTime(&fileTime, &utc)) return {};
  if (!SystemTimeToTzSpecificLocalTime(nullptr, &utc, &local)) local = utc;
  return {local.wYear,   local.wMonth,  local.wDay,         local.wHour,
          local.wMinute, local.wSecond, local.wMilliseconds};
}

}  // namespace meter_console
