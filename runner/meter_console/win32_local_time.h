#pragma once

#include <windows.h>

#include <cstdint>

#include "runner/meter_console/reading_lines.h"

namespace meter_console {

// A UTC moment in the user's time zone (UTC itself if that fails).
LocalTime LocalTimeOfFileTime(const FILETIME& utc);
// Milliseconds since 1970-01-01 UTC in the user's time zone.
LocalTime LocalTimeOfUtcMilliseconds(int64_t utcMilliseconds);

// The fields of a SYSTEMTIME (local or UTC), as the log's lines print them.
LocalTime FromSystemTime(const SYSTEMTIME& time);

}  // namespace meter_console
