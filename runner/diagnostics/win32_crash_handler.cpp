#include "runner/diagnostics/win32_crash_handler.h"

#include <atomic>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "runner/diagnostics/native_log.h"
#include "runner/diagnostics/win32_crash_handler_testing.h"
#include "runner/wide_to_utf8.h"

namespace {

constexpr DWORD kAccessViolation = 0xC0000005;
constexpr int32_t kMaxReports = 3;
constexpr int kMaxStackSlots = 127;
constexpr int kMaxSlotLines = 24;
constexpr DWORD64 kLowestModuleWord = 0x10000;
constexpr size_t kLineCapacity = 900;
constexpr size_t kDescriptionCapacity = 400;
constexpr DWORD kModuleFromAddress =
    GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT;

// 1 while a thread writes a report; a fault meanwhile (another thread's, or our own) passes on
// at once: nothing may wait inside a fault.
std::atomic<int32_t> busy{0};
// Touched only while busy is held.
int32_t reportCount = 0;

bool TakeBusy() {
  int32_t expected = 0;
  return busy.compare_exchange_strong(expected, 1);
}

// Pointers as the Windows runtime's %p shows them; mingw's %p would give lower case.
unsigned long long PointerBits(const void* pointer) {
  return static_cast<unsigned long long>(reinterpret_cast<uintptr_t>(pointer));
}

HMODULE ModuleContaining(DWORD64 address) {
  HMODULE module = nullptr;
  if (!GetModuleHandleExW(kModuleFromAddress, reinterpret_cast<LPCWSTR>(address), &module)) {
    return nullptr;
  }
  return module;
}

void LogAccessViolation(const EXCEPTION_RECORD& record) {
  unsigned long long kind = 0, accessed = 0;
  if (record.NumberParameters >= 1) kind = record.ExceptionInformation[0];
  if (record.NumberParameters >= 2) accessed = record.ExceptionInformation[1];
  char line[kLineCapacity];
  std::snprintf(line, sizeof line,
                "crash: AV pod %016llX (0=czytal 1=pisal 8=wykonal, rodzaj=%llu, adres=%016llX)",
                PointerBits(record.ExceptionAddress), kind, accessed);
  LogMessage(line);
}

// Stack words that point into modules, from rsp+8 on: likely return addresses of the callers.
void LogStackScan(DWORD64 rsp) {
  char description[kDescriptionCapacity];
  char line[kLineCapacity];
  int written = 0;
  bool haveLast = false;
  DWORD64 last = 0;
  for (int slot = 1; slot <= kMaxStackSlots && written < kMaxSlotLines; ++slot) {
    const DWORD64 offset = 8 * static_cast<DWORD64>(slot);
    DWORD64 word = 0;
    if (!ReadWordGuarded(rsp + offset, &word)) break;
    if (word < kLowestModuleWord || (haveLast && word == last)) continue;
    if (ModuleContaining(word) == nullptr) continue;
    DescribeAddress(word, description, sizeof description);
    std::snprintf(line, sizeof line, "crash:   [rsp+0x%X] %s", static_cast<unsigned>(offset),
                  description);
    LogMessage(line);
    ++written;
    haveLast = true;
    last = word;
  }
}

void Report(const EXCEPTION_RECORD& record, const CONTEXT* context) {
  LogAccessViolation(record);
  if (context == nullptr) return;
  char description[kDescriptionCapacity];
  char line[kLineCapacity];
  DWORD64 top = 0;
  if (ReadWordGuarded(context->Rsp, &top)) {
    // After a call through a null pointer, rip is 0 and this word is where the call came from.
    DescribeAddress(top, description, sizeof description);
    std::snprintf(line, sizeof line, "crash: powr\xc3\xb3t (skok pod zero z) %s", description);
    LogMessage(line);
    LogStackScan(context->Rsp);
  } else {
    LogMessage("crash: stos nieczytelny pod rsp");
  }
  std::snprintf(line, sizeof line, "crash: rip=%016llX rsp=%016llX rbp=%016llX",
                static_cast<unsigned long long>(context->Rip),
                static_cast<unsigned long long>(context->Rsp),
                static_cast<unsigned long long>(context->Rbp));
  LogMessage(line);
}

BOOL CALLBACK InstallOnce(PINIT_ONCE, PVOID, PVOID*) {
  // First in the list: the report is written before any other handler can change the state.
  const PVOID handle = AddVectoredExceptionHandler(1, CrashHandler);
  LogMessage(handle != nullptr ? "crash: VEH zainstalowany" : "crash: VEH NIE zainstalowany");
  return TRUE;
}

}  // namespace

void InstallCrashHandler() {
  static INIT_ONCE once = INIT_ONCE_STATIC_INIT;
  if (!InitOnceExecuteOnce(&once, InstallOnce, nullptr, nullptr)) std::abort();
}

LONG WINAPI CrashHandler(EXCEPTION_POINTERS* pointers) {
  if (pointers == nullptr || pointers->ExceptionRecord == nullptr ||
      pointers->ExceptionRecord->ExceptionCode != kAccessViolation) {
    return EXCEPTION_CONTINUE_SEARCH;
  }
  if (!TakeBusy()) return EXCEPTION_CONTINUE_SEARCH;
  if (reportCount < kMaxReports) {
    ++reportCount;
    Report(*pointers->ExceptionRecord, pointers->ContextRecord);
  }
  busy.exchange(0);
  return EXCEPTION_CONTINUE_SEARCH;
}

// ReadProcessMemory on our own process fails cleanly on unreadable memory instead of raising a
// fault, so it guards the read without structured exception handling (which g++ lacks).
bool ReadWordGuarded(DWORD64 address, DWORD64* out) {
  DWORD64 word = 0;
  SIZE_T read = 0;
  if (!ReadProcessMemory(GetCurrentProcess(), reinterpret_cast<LPCVOID>(address), &word,
                         sizeof word, &read) ||
      read != sizeof word) {
    return false;
  }
  *out = word;
  return true;
}

void DescribeAddress(DWORD64 address, char* text, size_t capacity) {
  const HMODULE module = ModuleContaining(address);
  wchar_t path[MAX_PATH] = {};
  const DWORD length = module != nullptr ? GetModuleFileNameW(module, path, MAX_PATH) : 0;
  if (length == 0) {
    std::snprintf(text, capacity, "0x%llX", static_cast<unsigned long long>(address));
    return;
  }
  const std::wstring fullPath(path, length);
  const size_t slash = fullPath.find_last_of(L"\\/");
  const std::string name =
      WideToUtf8(slash == std::wstring::npos ? fullPath : fullPath.substr(slash + 1));
  const DWORD64 base = static_cast<DWORD64>(reinterpret_cast<uintptr_t>(module));
  std::snprintf(text, capacity, "%s+0x%llX", name.c_str(),
                static_cast<unsigned long long>(address - base));
}

bool HoldCrashReportBusyForTesting() { return TakeBusy(); }

void ReleaseCrashReportBusyForTesting() { busy.exchange(0); }
