#pragma once

#include <windows.h>

#include <cstdint>
#include <vector>

namespace endurance {

// What a run watches for growth, read once per cycle at a quiet moment.
struct ProcessFigures {
  DWORD handles = 0;
  uint64_t privateBytes = 0;
};

// Handles: this process's entries in the system's handle table (under Wine 8
// GetProcessHandleCount always reports 0). Private bytes: the commit charge, PrivateUsage, or
// PagefileUsage where that is 0 (Wine 8 fills only the latter; on Windows they are equal).
ProcessFigures ReadProcessFigures();

// Flat: the last tenth's mean at most 1% above the second tenth's, handle counts equal. The first
// tenth is the warm-up. Prints both figures; false when either grew or was not measured.
bool ReportFlat(const std::vector<ProcessFigures>& cycles);

// The value at fraction (0..1) of the way up the sorted values.
double Percentile(std::vector<double> values, double fraction);

}  // namespace endurance
