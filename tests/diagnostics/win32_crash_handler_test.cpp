// The crash reporter in child processes (this executable started again), each logging into a
// folder of its own: the log file is the evidence.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <regex>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "runner/diagnostics/native_log.h"
#include "runner/diagnostics/win32_crash_handler.h"
#include "runner/diagnostics/win32_crash_handler_testing.h"
#include "tests/diagnostics/win32_self_child.h"

namespace {

DWORD64 ModuleBase() { return reinterpret_cast<DWORD64>(GetModuleHandleW(nullptr)); }

// Added after the crash reporter: continues past the faults the children make on purpose, and
// logs where each call through a null pointer resumes, so the fault is seen to reach it.
LONG WINAPI ResumeLikeAReturn(EXCEPTION_POINTERS* pointers) {
  CONTEXT& context = *pointers->ContextRecord;
  const DWORD code = pointers->ExceptionRecord->ExceptionCode;
  if (code == EXCEPTION_BREAKPOINT) return EXCEPTION_CONTINUE_EXECUTION;  // a raised one
  if (code != EXCEPTION_ACCESS_VIOLATION || context.Rip != 0) return EXCEPTION_CONTINUE_SEARCH;
  // Return to the caller as the callee's ret would.
  const DWORD64 returnAddress = *reinterpret_cast<const DWORD64*>(context.Rsp);
  context.Rip = returnAddress;
  context.Rsp += 8;
  char line[100];
  std::snprintf(line, sizeof line, "test: wznowiony w crash_handler_test.exe+0x%llX",
                static_cast<unsigned long long>(returnAddress - ModuleBase()));
  LogMessage(line);
  return EXCEPTION_CONTINUE_EXECUTION;
}

// One call site, so that every call returns to the same place.
void CallNowhere() {
  void (*volatile nowhere)() = nullptr;
  nowhere();
  nowhere = nullptr;  // work after the call, so not a tail call: the return address stays in here
}
// Called through a volatile pointer, so never inlined.
void (*volatile callNowhere)() = CallNowhere;

// The handler called directly, with made-up records and contexts, then real faults that go on:
// the later handler resumes each call of CallNowhere. The first call meets the busy flag held.
int ObserveChild() {
  AddVectoredExceptionHandler(0, ResumeLikeAReturn);
  InstallCrashHandler();
  RaiseException(EXCEPTION_BREAKPOINT, 0, 0, nullptr);
  try {
    throw std::runtime_error("rzucony");
  } catch (const std::runtime_error&) {
  }
  CrashHandler(nullptr);
  EXCEPTION_RECORD record = {
      EXCEPTION_ACCESS_VIOLATION, 0, nullptr, reinterpret_cast<void*>(0xABCDEF0123456789), 0, {8}};
  CONTEXT context = {};
  context.Rip = 0x7FFA12345678;
  context.Rsp = 8;  // the null page
  context.Rbp = 0xDEADBEEFCAFE;
  EXCEPTION_POINTERS pointers = {&record, &context};
  CrashHandler(&pointers);
  // A stack of words into this executable, with words the scan must skip.
  const DWORD64 code = ModuleBase() + 0x1000;
  const DWORD64 outside = reinterpret_cast<DWORD64>(&code);  // on the stack: in no module
  DWORD64 stack[128] = {code, 0xFFFF, outside, code + 0x10, code + 0x10, code + 0x18, code + 0x10};
  for (int slot = 7; slot < 128; ++slot) stack[slot] = code + 0x100 + 8 * slot;
  record.NumberParameters = 1;
  context.Rsp = reinterpret_cast<DWORD64>(stack);
  CrashHandler(&pointers);
  for (int call = 1; call <= 3; ++call) {
    if (call == 1 && !HoldCrashReportBusyForTesting()) return 2;
    callNowhere();
    if (call == 1) ReleaseCrashReportBusyForTesting();
  }
  return 0;
}

// Ends the process as an unhandled fault does, without Wine's debugger and its crash report.
LONG WINAPI EndWithMarker(EXCEPTION_POINTERS* pointers) {
  std::printf("unhandled: %08lX\n", pointers->ExceptionRecord->ExceptionCode);
  std::fflush(stdout);
  return EXCEPTION_EXECUTE_HANDLER;
}

// Patterns of whole log lines, each ended by LF; kSlots stands for any number of stack-slot lines.
const std::string kSlots = "(?:crash:   \\[rsp\\+0x[0-9A-F]+\\] [^\\n]+\\n)*";
const std::string kHex = "[0-9A-F]{16}";
const std::string kZero = "0000000000000000";
const std::string kInModule = "crash_handler_test\\.exe\\+0x";

std::string AccessViolation(const std::string& at, int kind, const std::string& address) {
  return "crash: AV pod " + at + " \\(0=czytal 1=pisal 8=wykonal, rodzaj=" + std::to_string(kind) +
         ", adres=" + address + "\\)\n";
}

std::string Registers(const std::string& rip, const std::string& rsp, const std::string& rbp) {
  return "crash: rip=" + rip + " rsp=" + rsp + " rbp=" + rbp + "\n";
}

}  // namespace

int RunChild(const std::vector<std::string>& arguments) {
  const std::string scenario = arguments.empty() ? "" : arguments[0];
  SetUnhandledExceptionFilter(EndWithMarker);
  // A handler added earlier that resolves the fault: ours must still see it first.
  if (scenario == "ahead-of-earlier") AddVectoredExceptionHandler(1, ResumeLikeAReturn);
  InstallCrashHandler();
  if (scenario == "ahead-of-earlier") callNowhere();
  volatile int* volatile nowhere = nullptr;
  if (scenario == "write") *nowhere = 1;
  if (scenario == "read") std::printf("%d\n", *nowhere);
  auto* const page = static_cast<char*>(VirtualAlloc(nullptr, 1, MEM_COMMIT, PAGE_READWRITE));
  *page = '\xC3';  // ret, on a page that may be read and written but not run
  if (scenario == "execute") reinterpret_cast<void (*)()>(page)();
  const int result = scenario == "observe" ? ObserveChild() : 0;
  LogMessage("test: koniec");
  return result;
}

TEST(CrashHandler, ReportsFaultsInOrderAndOnlyObserves) {
  const std::string installed = "crash: VEH zainstalowany\n", end = "test: koniec\n";
  const std::string nullCall = "crash: powr\xc3\xb3t \\(skok pod zero z\\) " + kInModule;
  const std::string resumed = "test: wznowiony w " + kInModule;
  // Rsp unreadable, no parameters; the made-up stack (a word below 0x10000, one outside every
  // module and a repetition skipped; 24 lines at most); a real call that meets the busy flag: not
  // reported, still resumed; a real call reported; the fourth fault: not reported, still resumed.
  const std::string at = "ABCDEF0123456789", rip = "00007FFA12345678", rbp = "0000DEADBEEFCAFE";
  std::string observe =
      installed + AccessViolation(at, 0, kZero) + "crash: stos nieczytelny pod rsp\n" +
      Registers(rip, "0000000000000008", rbp) + AccessViolation(at, 8, kZero) + nullCall + "1000\n";
  for (int slot = 3; slot < 28; ++slot) {  // slot 4 repeats slot 3
    if (slot == 4) continue;
    char line[100];
    const int target = slot < 7 ? 0x1010 + 8 * (slot == 5) : 0x1100 + 8 * slot;
    std::snprintf(line, sizeof line, "crash:   \\[rsp\\+0x%X\\] %s%X\n", 8 * slot,
                  kInModule.c_str(), target);
    observe += line;
  }
  observe += Registers(rip, kHex, rbp) + resumed + "([0-9A-F]+)\n" +
             AccessViolation(kZero, 8, kZero) + nullCall + "\\1\n" + kSlots +
             Registers(kZero, kHex, kHex) + resumed + "\\1\n" + resumed + "\\1\n" + end;
  // An unhandled fault still ends the process, with its code; executing a page faults at it.
  const auto unhandled = [&](int kind) {
    return installed + AccessViolation("(" + kHex + ")", kind, kind == 8 ? "\\1" : kZero) +
           "crash: powr.*\n" + kSlots + Registers("\\1", kHex, kHex);
  };
  const std::string cases[][2] = {
      {"read", unhandled(0)},
      {"write", unhandled(1)},
      {"execute", unhandled(8)},
      {"observe", observe},
      {"ahead-of-earlier", installed + AccessViolation(kZero, 8, kZero) + nullCall +
                               "([0-9A-F]+)\n" + kSlots + Registers(kZero, kHex, kHex) + resumed +
                               "\\1\n" + end}};
  for (const auto& [scenario, pattern] : cases) {
    SCOPED_TRACE(scenario);
    const std::wstring folder = TestFolder(scenario);
    const ChildResult run = RunSelfChild({{scenario}, folder, L""});
    const bool ends = scenario != "observe" && scenario != "ahead-of-earlier";
    EXPECT_EQ(run.exitCode, ends ? EXCEPTION_ACCESS_VIOLATION : 0);
    EXPECT_EQ(run.output, ends ? "unhandled: C0000005\r\n" : "");
    const std::string log = LoggedMessages(folder);
    EXPECT_TRUE(std::regex_match(log, std::regex(pattern))) << log;
  }
}

// Outside every module (heap, stack) an address stands alone, in upper-case hexadecimal.
TEST(CrashHandler, DescribesAnAddressOutsideEveryModuleByItself) {
  const auto onHeap = std::make_unique<int>(0);
  const int onStack = 0;
  for (const void* address :
       {static_cast<const void*>(onHeap.get()), static_cast<const void*>(&onStack)}) {
    std::ostringstream expected;
    expected << "0x" << std::uppercase << std::hex << reinterpret_cast<uintptr_t>(address);
    char text[400];
    DescribeAddress(reinterpret_cast<DWORD64>(address), text, sizeof text);
    EXPECT_EQ(text, expected.str());
  }
}
