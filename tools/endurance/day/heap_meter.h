#pragma once

#include <cstddef>

namespace endurance {

// Bytes of heap the program holds: the sanitizer allocator's count in sanitizer builds (whose
// own bookkeeping would drown the figure otherwise), glibc's mallinfo2 elsewhere.
size_t HeapInUse();

// Resident set size of the process, from /proc/self/statm; 0 when it cannot be read.
size_t ResidentBytes();

}  // namespace endurance
