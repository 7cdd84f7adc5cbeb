#include "tools/endurance/day/heap_meter.h"

#include <fcntl.h>
#include <malloc.h>
#include <unistd.h>

#include <cstdio>

#if defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
#define LUMERO_SANITIZER_HEAP 1
#endif
#endif
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#define LUMERO_SANITIZER_HEAP 1
#endif

#ifdef LUMERO_SANITIZER_HEAP
#include <sanitizer/allocator_interface.h>
#endif

namespace endurance {

size_t HeapInUse() {
#ifdef LUMERO_SANITIZER_HEAP
  return __sanitizer_get_current_allocated_bytes();
#else
  return mallinfo2().uordblks;
#endif
}

// Plain system calls: a FILE would allocate, and a sanitizer may keep what it allocated.
size_t ResidentBytes() {
  const int file = open("/proc/self/statm", O_RDONLY);
  if (file < 0) return 0;
  char text[128] = {};
  const ssize_t length = read(file, text, sizeof text - 1);
  close(file);
  unsigned long size = 0, resident = 0;
  if (length <= 0 || std::sscanf(text, "%lu %lu", &size, &resident) != 2) return 0;
  return resident * static_cast<size_t>(sysconf(_SC_PAGESIZE));
}

}  // namespace endurance
