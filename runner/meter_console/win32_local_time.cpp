#include "runner/meter_console/win32_local_time.h"

namespace meter_console {

namespace {
// 1970-01-01 in FILETIME's 100-nanosecond units since 1601-01-01.
constexpr int64_t kUnixEpochInFileTimeUnits = 116444736000000000;
}  // namespace

LocalTime FromSystemTime(const SYSTEMTIME& time) {
  return {time.wYear,   time.wMonth,  time.wDay,         time.wHour,
          time.wMinute, time.wSecond, time.wMilliseconds};
}

LocalTime LocalTimeOfFileTime(const FILETIME& utcTime) {
  SYSTEMTIME utc{};
  SYSTEMTIME local{};
  if (!FileTimeToSystemTime(&utcTime, &utc)) return {};
  if (!SystemTimeToTzSpecificLocalTime(nullptr, &utc, &local)) local = utc;
  return FromSystemTime(local);
}

LocalTime LocalTimeOfUtcMilliseconds(int64_t utcMilliseconds) {
  const uint64_t units = static_cast<uint64_t>(utcMilliseconds * 10000 + kUnixEpochInFileTimeUnits);
  FILETIME fileTime{};
  fileTime.dwLowDateTime = static_cast<DWORD>(units & 0xFFFFFFFFu);
  fileTime.dwHighDateTime = static_cast<DWORD>(units >> 32);
  return LocalTimeOfFileTime(fileTime);
}

}  // namespace meter_console
