#pragma once

#include <cstdint>

// Log lines the meter wrote so far.
uint64_t CountedLogLines();
