#pragma once

#include <cstdint>

#include "runner/meter_console/reading_lines.h"

namespace meter_console {

// Milliseconds since 1970-01-01 UTC in the user's time zone (UTC itself if that fails).
LocalTime LocalTimeOfUtcMilliseconds(int64_t utcMilliseconds);

}  // namespace meter_console
