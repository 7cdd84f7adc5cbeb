// Samples the handle count and private bytes of a running program from outside, by process id,
// until that program ends. The program is found by its image name, as the caller (a script on the
// Linux side of Wine) cannot know the Windows process id.
//
// Wine 8 answers GetProcessHandleCount with 0 and leaves PrivateUsage at 0; there the handles are
// counted in the system handle table and the commit charge (PagefileUsage, which is what Windows
// reports as private bytes too) stands in.
//
// usage: process_probe.exe IMAGE PERIOD_MS [FIND_MS]
// prints "process <id>", then one line per sample, "<unix microseconds> <handles> <private
// bytes>", then "ended" when the program has exited. Exit status 2 when it was never found or
// could not be opened.
#include <windows.h>

#include <psapi.h>
#include <tlhelp32.h>
#include <wchar.h>
#include <winternl.h>

#include <cstdint>
#include <cstdio>
#include <cwchar>
#include <vector>

#include "runner/win32_unique_handle.h"

namespace {

DWORD FindProcess(const wchar_t* image) {
  UniqueFileHandle snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
  if (!snapshot) return 0;
  PROCESSENTRY32W entry{};
  entry.dwSize = sizeof entry;
  for (BOOL more = Process32FirstW(snapshot.get(), &entry); more;
       more = Process32NextW(snapshot.get(), &entry)) {
    if (_wcsicmp(entry.szExeFile, image) == 0) return entry.th32ProcessID;
  }
  return 0;
}

// One entry of the system handle table (information class 16), as Wine lays it out.
struct SystemHandleEntry {
  ULONG ownerId;
  UCHAR objectType;
  UCHAR flags;
  USHORT value;
  void* object;
  ACCESS_MASK access;
};

DWORD CountHandlesInSystemTable(DWORD id) {
  constexpr auto kSystemHandleInformation = static_cast<SYSTEM_INFORMATION_CLASS>(16);
  constexpr NTSTATUS kLengthMismatch = static_cast<NTSTATUS>(0xC0000004L);
  std::vector<uint8_t> buffer(1 << 16);
  NTSTATUS status;
  ULONG needed = 0;
  while ((status = NtQuerySystemInformation(kSystemHandleInformation, buffer.data(),
                                            static_cast<ULONG>(buffer.size()), &needed)) ==
         kLengthMismatch) {
    buffer.resize(buffer.size() * 2);
  }
  if (status != 0) return 0;
  const ULONG count = *reinterpret_cast<const ULONG*>(buffer.data());
  const auto* entries =
      reinterpret_cast<const SystemHandleEntry*>(buffer.data() + sizeof(ULONG_PTR));
  DWORD owned = 0;
  for (ULONG i = 0; i < count; ++i) owned += entries[i].ownerId == id ? 1 : 0;
  return owned;
}

int64_t UnixMicroseconds() {
  FILETIME now;
  GetSystemTimePreciseAsFileTime(&now);
  const int64_t ticks = (static_cast<int64_t>(now.dwHighDateTime) << 32) | now.dwLowDateTime;
  return (ticks - 116444736000000000LL) / 10;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc < 3) {
    std::fputs("usage: process_probe.exe IMAGE PERIOD_MS [FIND_MS]\n", stderr);
    return 2;
  }
  const DWORD period = std::wcstoul(argv[2], nullptr, 10);
  const DWORD findFor = argc > 3 ? std::wcstoul(argv[3], nullptr, 10) : 30000;
  DWORD id = 0;
  for (const ULONGLONG until = GetTickCount64() + findFor;
       (id = FindProcess(argv[1])) == 0 && GetTickCount64() < until;) {
    Sleep(50);
  }
  UniqueKernelHandle process(
      id != 0 ? OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ | SYNCHRONIZE, FALSE, id)
              : nullptr);
  if (!process) {
    std::fprintf(stderr, "process_probe: %ls not found or not opened (id %lu, error %lu)\n",
                 argv[1], id, GetLastError());
    return 2;
  }
  std::printf("process %lu\n", id);
  do {
    DWORD handles = 0;
    PROCESS_MEMORY_COUNTERS_EX memory{};
    memory.cb = sizeof memory;
    if (GetProcessHandleCount(process.get(), &handles) &&
        GetProcessMemoryInfo(process.get(), reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&memory),
                             sizeof memory)) {
      if (handles == 0) handles = CountHandlesInSystemTable(id);
      const SIZE_T privateBytes =
          memory.PrivateUsage != 0 ? memory.PrivateUsage : memory.PagefileUsage;
      std::printf("%lld %lu %llu\n", static_cast<long long>(UnixMicroseconds()), handles,
                  static_cast<unsigned long long>(privateBytes));
    }
    std::fflush(stdout);
  } while (WaitForSingleObject(process.get(), period) == WAIT_TIMEOUT);
  std::puts("ended");
  return 0;
}
