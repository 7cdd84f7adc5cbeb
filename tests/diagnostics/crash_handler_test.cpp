// The crash reporter in child processes (this executable started again), each logging into a
// folder of its own: the log file is the evidence.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <regex>
#include <stdexcept>
#include <string>
#include <vector>

#include "runner/diagnostics/native_log.h"
#include "runner/diagnostics/win32_crash_handler.h"
#include "runner/diagnostics/win32_crash_handler_testing.h"
#include "tests/diagnostics/self_child.h"

namespace {

using Lines = std::vector<std::string>;

DWORD64 ModuleBase() { return reinterpret_cast<DWORD64>(GetModuleHandleW(nullptr)); }

// Added after the crash reporter: continues past the faults the children make on purpose, and
// logs where each call through a null pointer resumes, so the fault is seen to reach it.
LONG WINAPI ResumeLikeAReturn(EXCEPTION_POINTERS* pointers) {
  const EXCEPTION_RECORD& record = *pointers->ExceptionRecord;
  CONTEXT& context = *pointers->ContextRecord;
  if (record.ExceptionCode == EXCEPTION_BREAKPOINT) {
    if (*reinterpret_cast<const unsigned char*>(context.Rip) == 0xCC) ++context.Rip;
    return EXCEPTION_CONTINUE_EXECUTION;
  }
  if (record.ExceptionCode != EXCEPTION_ACCESS_VIOLATION || context.Rip != 0) {
    return EXCEPTION_CONTINUE_SEARCH;
  }
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
__attribute__((noinline)) void CallNowhere() {
  void (*volatile nowhere)() = nullptr;
  nowhere();
  asm volatile("");  // not a tail call: the return address stays in here
}

// Real faults that go on: a later handler resumes each call through a null pointer, all made from
// CallNowhere. The second call meets the busy flag held.
int ObserveChild() {
  InstallCrashHandler();
  AddVectoredExceptionHandler(0, ResumeLikeAReturn);
  InstallCrashHandler();
  DebugBreak();
  try {
    throw std::runtime_error("rzucony");
  } catch (const std::runtime_error&) {
  }
  for (int call = 1; call <= 5; ++call) {
    if (call == 2 && !HoldCrashReportBusyForTesting()) return 2;
    CallNowhere();
    if (call == 2) ReleaseCrashReportBusyForTesting();
  }
  return 0;
}

// The handler called directly, with a record and contexts made up here.
int CraftedChild() {
  InstallCrashHandler();
  CrashHandler(nullptr);
  EXCEPTION_RECORD record = {};
  record.ExceptionCode = EXCEPTION_ACCESS_VIOLATION;
  record.ExceptionAddress = reinterpret_cast<void*>(0xABCDEF0123456789);
  record.NumberParameters = 2;
  record.ExceptionInformation[0] = 1;
  record.ExceptionInformation[1] = 0xFEDCBA98;
  CONTEXT context = {};
  context.Rip = 0x7FFA12345678;
  context.Rsp = 8;  // the null page
  context.Rbp = 0xDEADBEEFCAFE;
  EXCEPTION_POINTERS pointers = {&record, &context};
  CrashHandler(&pointers);

  // A stack of words into this executable, with words the scan must skip.
  const DWORD64 code = ModuleBase() + 0x1000;
  DWORD64 stack[128] = {code, 0xFFFF, 0, code + 0x10, code + 0x10, code + 0x18, code + 0x10};
  stack[2] = reinterpret_cast<DWORD64>(&stack);  // outside every module
  for (int slot = 7; slot < 128; ++slot) stack[slot] = code + 0x100 + 8 * slot;
  record.NumberParameters = 1;
  record.ExceptionInformation[0] = 8;
  context.Rsp = reinterpret_cast<DWORD64>(stack);
  CrashHandler(&pointers);

  record.NumberParameters = 0;
  pointers.ContextRecord = nullptr;
  CrashHandler(&pointers);
  return 0;
}

// Ends the process as an unhandled fault does, without Wine's debugger and its crash report.
LONG WINAPI EndWithMarker(EXCEPTION_POINTERS* pointers) {
  std::printf("unhandled: %08lX\n", pointers->ExceptionRecord->ExceptionCode);
  std::fflush(stdout);
  return EXCEPTION_EXECUTE_HANDLER;
}

int RunScenario(const std::string& scenario) {
  const int result = scenario == "observe"   ? ObserveChild()
                     : scenario == "crafted" ? CraftedChild()
                                             : 0;
  if (scenario == "read" || scenario == "write") {
    SetUnhandledExceptionFilter(EndWithMarker);
    InstallCrashHandler();
    volatile int* volatile nowhere = nullptr;
    if (scenario == "write") *nowhere = 1;
    if (scenario == "read") std::printf("%d\n", *nowhere);
  }
  LogMessage("test: koniec");
  return result;
}

// Patterns of whole log lines; kSlots stands for any number of stack-slot lines.
const std::string kSlots = "(?:crash:   \\[rsp\\+0x[0-9A-F]+\\] [^\\n]+\\n)*";
const std::string kHex = "[0-9A-F]{16}";
const std::string kZero = "0000000000000000";
const std::string kInModule = "crash_handler_test\\.exe\\+0x";

std::string AccessViolation(const std::string& at, int kind, const std::string& address) {
  return "crash: AV pod " + at + " \\(0=czytal 1=pisal 8=wykonal, rodzaj=" + std::to_string(kind) +
         ", adres=" + address + "\\)";
}

std::string Registers(const std::string& rip, const std::string& rsp, const std::string& rbp) {
  return "crash: rip=" + rip + " rsp=" + rsp + " rbp=" + rbp;
}

// One regular expression for the whole log: every pattern but kSlots is one line.
std::string WholeLog(const Lines& patterns) {
  std::string whole;
  for (const std::string& pattern : patterns) whole += pattern == kSlots ? kSlots : pattern + "\n";
  return whole;
}

// The messages of a child's log, each ended by LF; anything not laid out as a log line stays.
std::string LoggedMessages(const std::filesystem::path& base) {
  std::ifstream file(base / "Lumerovantix" / "logi" / "app.log", std::ios::binary);
  static const std::regex line(
      R"(\d{4}-\d\d-\d\d \d\d:\d\d:\d\d\.\d{3} \[INFO\] miernik: ([^\r\n]*)\r\n)");
  return std::regex_replace(std::string(std::istreambuf_iterator<char>(file), {}), line, "$1\n");
}

}  // namespace

TEST(CrashHandler, ReportsFaultsInOrderAndOnlyObserves) {
  const std::string installed = "crash: VEH zainstalowany", end = "test: koniec";
  const std::string nullCall = "crash: powr\xc3\xb3t \\(skok pod zero z\\) " + kInModule;
  const std::string resumed = "test: wznowiony w " + kInModule + "\\1";
  const Lines report = {AccessViolation(kZero, 8, kZero), nullCall + "\\1", kSlots,
                        Registers(kZero, kHex, kHex)};
  Lines observe = {installed, AccessViolation(kZero, 8, kZero), nullCall + "([0-9A-F]+)",
                   kSlots,    Registers(kZero, kHex, kHex),     resumed,
                   resumed};  // the second: busy
  for (int reported = 2; reported <= 3; ++reported) {
    observe.insert(observe.end(), report.begin(), report.end());
    observe.push_back(resumed);
  }
  observe.insert(observe.end(), {resumed, end});  // the fourth fault: not reported

  // Rsp unreadable; then the made-up stack, where a word below 0x10000, one outside every module
  // and an immediate repetition are skipped and the scan stops after 24 lines.
  Lines crafted = {installed,
                   AccessViolation("ABCDEF0123456789", 1, "00000000FEDCBA98"),
                   "crash: stos nieczytelny pod rsp",
                   Registers("00007FFA12345678", "0000000000000008", "0000DEADBEEFCAFE"),
                   AccessViolation("ABCDEF0123456789", 8, kZero),
                   nullCall + "1000"};
  std::vector<std::pair<int, int>> slots = {{0x18, 0x1010}, {0x28, 0x1018}, {0x30, 0x1010}};
  for (int slot = 7; slot < 28; ++slot) slots.emplace_back(8 * slot, 0x1100 + 8 * slot);
  for (const auto& [offset, target] : slots) {
    char line[100];
    std::snprintf(line, sizeof line, "crash:   \\[rsp\\+0x%X\\] %s%X", offset, kInModule.c_str(),
                  target);
    crafted.push_back(line);
  }
  crafted.insert(crafted.end(), {Registers("00007FFA12345678", kHex, "0000DEADBEEFCAFE"),
                                 AccessViolation("ABCDEF0123456789", 0, kZero), end});

  const struct {
    const char* scenario;
    DWORD exitCode;  // an unhandled fault ends the process with its code
    Lines log;
  } cases[] = {
      {"read",
       EXCEPTION_ACCESS_VIOLATION,
       {installed, AccessViolation("(" + kHex + ")", 0, kZero), "crash: powr.*", kSlots,
        Registers("\\1", kHex, kHex)}},
      {"write",
       EXCEPTION_ACCESS_VIOLATION,
       {installed, AccessViolation("(" + kHex + ")", 1, kZero), "crash: powr.*", kSlots,
        Registers("\\1", kHex, kHex)}},
      {"observe", 0, observe},
      {"crafted", 0, crafted},
  };
  const std::filesystem::path folder = std::filesystem::temp_directory_path() /
                                       ("lumero-crash-" + std::to_string(GetCurrentProcessId()));
  for (const auto& c : cases) {
    SCOPED_TRACE(c.scenario);
    std::filesystem::create_directories(folder / c.scenario);
    const ChildResult run = RunSelfChild({{c.scenario}, (folder / c.scenario).wstring(), L""});
    EXPECT_EQ(run.exitCode, c.exitCode);
    const std::string log = LoggedMessages(folder / c.scenario);
    EXPECT_TRUE(std::regex_match(log, std::regex(WholeLog(c.log)))) << log;
    char marker[32];
    std::snprintf(marker, sizeof marker, "unhandled: %08lX\r\n", c.exitCode);
    EXPECT_EQ(run.output, c.exitCode != 0 ? marker : "");
  }
  std::error_code ignored;
  std::filesystem::remove_all(folder, ignored);
}

int main(int argc, char** argv) {
  if (const std::optional<Lines> arguments = ChildArguments()) {
    return arguments->size() == 1 ? RunScenario(arguments->front()) : 2;
  }
  testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
