#pragma once

// For Windows tests of local time. Under Wine they run three hours ahead of UTC
// (LUMERO_ZONE_AHEAD_OF_UTC, cmake/LumeroTesting.cmake); on Windows the machine's own zone holds.
#include <windows.h>

#include <gtest/gtest.h>

namespace test_support {

// True when local time differs from UTC in this process. A TZ set for the test that did not take
// fails the test, so that a lost zone is not taken for a machine that keeps UTC.
inline bool LocalTimeDiffersFromUtc() {
  SYSTEMTIME utc, local;
  GetSystemTime(&utc);
  GetLocalTime(&local);
  if (utc.wHour != local.wHour || utc.wMinute != local.wMinute) return true;
  EXPECT_EQ(GetEnvironmentVariableW(L"TZ", nullptr, 0), 0u) << "the time zone did not take";
  return false;
}

}  // namespace test_support
