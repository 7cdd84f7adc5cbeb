// Takes one sample of the handle count and private bytes of a running program from outside, by
// process id, and appends it to a file. The program is found by its image name, as the caller
// (a script, on either side of Wine) cannot know the Windows process id.
//
// usage: process_probe.exe IMAGE FILE [LABEL]
// appends "[LABEL ]<unix microseconds> <handles> <private bytes>" to FILE; exit status 2 when the
// program was not found or could not be opened, 1 when the file could not be written.
//
// Wine 8 answers GetProcessHandleCount with 0 and leaves PrivateUsage at 0; there the handles are
// counted in the system handle table and the commit charge (PagefileUsage, which Windows reports
// as private bytes too) stands in. Wine's server can crash while it lists the system handles and
// another process starts or a device goes away, so sample only when nothing else happens.
#include <windows.h>

#include <psapi.h>
#include <tlhelp32.h>
#include <wchar.h>
#include <winternl.h>

#include <cstdint>
#include <cstdio>
#include <memory>
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
  // 100 ns ticks since 1601 to microseconds since 1970.
  return (ticks - 116444736000000000LL) / 10;
}

struct FileCloser {
  void operator()(FILE* file) const { std::fclose(file); }
};

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc < 3) {
    std::fputs("usage: process_probe.exe IMAGE FILE [LABEL]\n", stderr);
    return 2;
  }
  const DWORD id = FindProcess(argv[1]);
  UniqueKernelHandle process(
      id != 0 ? OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, id) : nullptr);
  DWORD handles = 0;
  PROCESS_MEMORY_COUNTERS_EX memory{};
  memory.cb = sizeof memory;
  if (!process || !GetProcessHandleCount(process.get(), &handles) ||
      !GetProcessMemoryInfo(process.get(), reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&memory),
                            sizeof memory)) {
    std::fprintf(stderr, "process_probe: %ls not found or not readable (id %lu, error %lu)\n",
                 argv[1], id, GetLastError());
    return 2;
  }
  if (handles == 0) handles = CountHandlesInSystemTable(id);
  const SIZE_T privateBytes = memory.PrivateUsage != 0 ? memory.PrivateUsage : memory.PagefileUsage;
  std::unique_ptr<FILE, FileCloser> file(_wfopen(argv[2], L"a"));
  if (!file) return 1;
  if (argc > 3) std::fprintf(file.get(), "%ls ", argv[3]);
  std::fprintf(file.get(), "%lld %lu %llu\n", static_cast<long long>(UnixMicroseconds()), handles,
               static_cast<unsigned long long>(privateBytes));
  return std::ferror(file.get()) ? 1 : 0;
}
