// The crash reporter in child processes (this executable started again), each logging into a
// folder of its own: the log file is the evidence. A child that crashes leaves Wine's crash
// report on its standard error, which the parent captures.
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
#include "runner/win32_unique_handle.h"

namespace {

using Lines = std::vector<std::string>;

constexpr char kChildFlag[] = "--crash-child";

DWORD64 ModuleBase() { return reinterpret_cast<DWORD64>(GetModuleHandleW(nullptr)); }

// Added after the crash reporter: continues past the faults the children make on purpose, and
// logs each call it resumes, so the fault is seen to reach it.
LONG WINAPI ResumeLikeAReturn(EXCEPTION_POINTERS* pointers) {
  const EXCEPTION_RECORD& record = *pointers->ExceptionRecord;
  CONTEXT& context = *pointers->ContextRecord;
  if (record.ExceptionCode == EXCEPTION_BREAKPOINT) {
    if (*reinterpret_cast<const unsigned char*>(context.Rip) == 0xCC) ++context.Rip;
    return EXCEPTION_CONTINUE_EXECUTION;
  }
  // A call that jumped to unexecutable memory: return to the caller as the callee's ret would.
  if (record.ExceptionCode != EXCEPTION_ACCESS_VIOLATION || record.ExceptionInformation[0] != 8 ||
      context.Rip != reinterpret_cast<DWORD64>(record.ExceptionAddress)) {
    return EXCEPTION_CONTINUE_SEARCH;
  }
  const DWORD64 returnAddress = *reinterpret_cast<const DWORD64*>(context.Rsp);
  context.Rip = returnAddress;
  context.Rsp += 8;
  char line[100];
  std::snprintf(line, sizeof line, "test: wznowiony w crash_handler_test.exe+0x%llX",
                static_cast<unsigned long long>(returnAddress - ModuleBase()));
  LogMessage(line);
  return EXCEPTION_CONTINUE_EXECUTION;
}

// Real faults that go on: a later handler resumes each call that faults.
int ObserveChild() {
  InstallCrashHandler();
  AddVectoredExceptionHandler(0, ResumeLikeAReturn);
  InstallCrashHandler();
  DebugBreak();
  try {
    throw std::runtime_error("rzucony");
  } catch (const std::runtime_error&) {
  }
  void (*volatile target)() = nullptr;
  target();
  void* page = VirtualAlloc(nullptr, 4096, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
  *static_cast<unsigned char*>(page) = 0xC3;  // ret, were it executable
  target = reinterpret_cast<void (*)()>(page);
  target();
  target = nullptr;
  if (!HoldCrashReportBusyForTesting()) return 2;
  target();
  ReleaseCrashReportBusyForTesting();
  target();
  target();
  LogMessage("test: koniec");
  return 0;
}

// The handler called directly, with records and contexts made up here.
int CraftedChild() {
  InstallCrashHandler();
  CrashHandler(nullptr);
  EXCEPTION_RECORD record = {};
  CONTEXT context = {};
  EXCEPTION_POINTERS pointers = {&record, &context};
  record.ExceptionCode = EXCEPTION_ACCESS_VIOLATION;
  record.ExceptionAddress = reinterpret_cast<void*>(0xABCDEF0123456789);
  record.NumberParameters = 2;
  record.ExceptionInformation[0] = 1;
  record.ExceptionInformation[1] = 0xFEDCBA98;
  context.Rip = 0x7FFA12345678;
  context.Rsp = 8;  // the null page
  context.Rbp = 0xDEADBEEFCAFE;
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
  LogMessage("test: koniec");
  return 0;
}

int RunScenario(const std::string& scenario) {
  if (scenario == "observe") return ObserveChild();
  if (scenario == "crafted") return CraftedChild();
  InstallCrashHandler();
  volatile int* volatile nowhere = nullptr;
  if (scenario == "write") *nowhere = 1;
  if (scenario == "read") std::printf("%d\n", *nowhere);
  LogMessage("test: koniec");
  return 0;
}

std::string ReadText(const std::filesystem::path& path) {
  std::ifstream file(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(file), {});
}

struct ChildRun {
  std::string log;     // the messages of the log, each ended by LF
  std::string output;  // standard output and error
};

// Every child logs below a folder of its own in here.
std::filesystem::path ChildrenFolder() {
  return std::filesystem::temp_directory_path() /
         ("lumero-crash-" + std::to_string(GetCurrentProcessId()));
}

ChildRun RunInChild(const std::string& scenario) {
  const std::filesystem::path folder = ChildrenFolder() / scenario;
  std::filesystem::create_directories(folder);
  SetEnvironmentVariableW(L"LOCALAPPDATA", folder.c_str());
  const std::filesystem::path outputPath = folder / "output.txt";
  // Inherited by the child (and by Wine's debugger, which writes its crash report there).
  SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
  UniqueFileHandle output(CreateFileW(outputPath.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inherit,
                                      CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
  wchar_t self[MAX_PATH] = {};
  GetModuleFileNameW(nullptr, self, MAX_PATH);
  std::wstring commandLine = L"\"" + std::wstring(self) + L"\" --crash-child " +
                             std::wstring(scenario.begin(), scenario.end());
  STARTUPINFOW startup = {};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdOutput = startup.hStdError = output.get();
  PROCESS_INFORMATION info = {};
  if (CreateProcessW(self, &commandLine[0], nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup,
                     &info)) {
    const UniqueKernelHandle process(info.hProcess), thread(info.hThread);
    if (WaitForSingleObject(process.get(), 60000) != WAIT_OBJECT_0) {
      TerminateProcess(process.get(), 99);
      WaitForSingleObject(process.get(), 10000);
    }
  }
  output.reset();
  // The messages, one a line; anything not laid out as a log line stays as it is and fails.
  static const std::regex line(
      R"(\d{4}-\d\d-\d\d \d\d:\d\d:\d\d\.\d{3} \[INFO\] miernik: ([^\r\n]*)\r\n)");
  ChildRun run;
  run.log =
      std::regex_replace(ReadText(folder / "Lumerovantix" / "logi" / "app.log"), line, "$1\n");
  run.output = ReadText(outputPath);
  return run;
}

// Patterns of whole log lines; kSlots stands for any number of stack-slot lines.
const std::string kSlots = "(?:crash:   \\[rsp\\+0x[0-9A-F]+\\] [^\\n]+\\n)*";
const std::string kHex = "[0-9A-F]{16}";
const std::string kZero = "0000000000000000";
const std::string kInModule = std::string("crash_handler_test\\.exe\\+0x");

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

}  // namespace

TEST(CrashHandler, ReportsFaultsInOrderAndOnlyObserves) {
  const std::string installed = "crash: VEH zainstalowany", end = "test: koniec";
  const std::string nullCall = "crash: powr\xc3\xb3t \\(skok pod zero z\\) " + kInModule;
  const std::string resumed = "test: wznowiony w " + kInModule;
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
    const char* crash;  // Wine's report of the unhandled fault, or none
    Lines log;
  } cases[] = {
      {"read",
       "Unhandled exception: page fault on read access to 0x0000000000000000",
       {installed, AccessViolation("(" + kHex + ")", 0, kZero), "crash: powr.*", kSlots,
        Registers("\\1", kHex, kHex)}},
      {"write",
       "Unhandled exception: page fault on write access to 0x0000000000000000",
       {installed, AccessViolation("(" + kHex + ")", 1, kZero), "crash: powr.*", kSlots,
        Registers("\\1", kHex, kHex)}},
      {"observe",
       nullptr,
       {installed,
        // A call through a null pointer: the return target is the instruction after the call.
        AccessViolation(kZero, 8, kZero), nullCall + "([0-9A-F]+)", kSlots,
        Registers(kZero, kHex, kHex), resumed + "\\1",
        // Executing a page that is not executable.
        AccessViolation("(" + kHex + ")", 8, "\\2"), "crash: powr.*", kSlots,
        Registers("\\2", kHex, kHex), resumed + "[0-9A-F]+",
        // The busy flag held: not reported, and the fault goes on at once.
        resumed + "[0-9A-F]+",
        // The third fault is reported, the fourth no more.
        AccessViolation(kZero, 8, kZero), nullCall + "[0-9A-F]+", kSlots,
        Registers(kZero, kHex, kHex), resumed + "[0-9A-F]+", resumed + "[0-9A-F]+", end}},
      {"crafted", nullptr, crafted},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.scenario);
    const ChildRun run = RunInChild(c.scenario);
    EXPECT_TRUE(std::regex_match(run.log, std::regex(WholeLog(c.log)))) << run.log;
    // The children that go on show it by their last line, "test: koniec".
    if (c.crash != nullptr) {
      EXPECT_NE(run.output.find(c.crash), std::string::npos) << run.output;
    } else {
      EXPECT_EQ(run.output.find("Unhandled"), std::string::npos) << run.output;
    }
  }
  std::error_code ignored;  // by now Wine's debugger has let go of the crashed children's output
  std::filesystem::remove_all(ChildrenFolder(), ignored);
}

int main(int argc, char** argv) {
  if (argc == 3 && std::string(argv[1]) == kChildFlag) return RunScenario(argv[2]);
  testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
