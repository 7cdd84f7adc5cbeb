#include "tests/diagnostics/log_child.h"

#include <atomic>
#include <thread>

#include "runner/diagnostics/native_log.h"

namespace {

// Carries the steps to the child: one UTF-16 unit per byte, each step ended by LF.
constexpr wchar_t kStepsVariable[] = L"LUMERO_LOG_CHILD";

HANDLE Start(const ChildSetup& setup) {
  std::wstring steps;
  for (const std::string& step : setup.steps) {
    for (const char byte : step) steps += static_cast<wchar_t>(static_cast<unsigned char>(byte));
    steps += L'\n';
  }
  // The child inherits this process's environment as it is at its start.
  SetEnvironmentVariableW(kStepsVariable, steps.c_str());
  SetEnvironmentVariableW(L"LOCALAPPDATA",
                          setup.localAppData ? setup.localAppData->c_str() : nullptr);
  std::wstring path(32768, L'\0');
  path.resize(GetModuleFileNameW(nullptr, &path[0], static_cast<DWORD>(path.size())));
  std::wstring commandLine = L"\"" + path + L"\"";
  STARTUPINFOW startup = {};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION info = {};
  const wchar_t* cwd = setup.currentDirectory.empty() ? nullptr : setup.currentDirectory.c_str();
  const BOOL started = CreateProcessW(path.c_str(), &commandLine[0], nullptr, nullptr, FALSE, 0,
                                      nullptr, cwd, &startup, &info);
  SetEnvironmentVariableW(kStepsVariable, nullptr);
  if (!started) return nullptr;
  const UniqueKernelHandle thread(info.hThread);
  return info.hProcess;
}

void Burst(const std::string& tag) {
  // Everyone waits at the gate so the first calls, which compute the path, really overlap.
  std::atomic<int> ready{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < kBurstThreads; ++t) {
    threads.emplace_back([&, t] {
      ready.fetch_add(1);
      while (ready.load() < kBurstThreads) std::this_thread::yield();
      for (int i = 0; i < kBurstLines; ++i) LogMessage(BurstMessage(tag, t, i).c_str());
    });
  }
  for (std::thread& thread : threads) thread.join();
}

}  // namespace

std::string BurstMessage(const std::string& tag, int thread, int line) {
  return "w\xc4\x85tek: " + tag + " " + std::to_string(thread) + " " + std::to_string(line);
}

ChildProcess::ChildProcess(const ChildSetup& setup) : process_(Start(setup)) {}

ChildProcess::~ChildProcess() {
  if (process_ && WaitForSingleObject(process_.get(), 0) == WAIT_TIMEOUT) {
    TerminateProcess(process_.get(), 99);
    WaitForSingleObject(process_.get(), 10000);
  }
}

long ChildProcess::Wait() {
  DWORD code = 0;
  if (!process_ || WaitForSingleObject(process_.get(), 60000) != WAIT_OBJECT_0 ||
      !GetExitCodeProcess(process_.get(), &code)) {
    return -1;
  }
  return static_cast<long>(code);
}

std::optional<int> RunStepsIfChild() {
  std::wstring steps(32767, L'\0');
  const DWORD length =
      GetEnvironmentVariableW(kStepsVariable, &steps[0], static_cast<DWORD>(steps.size()));
  if (length == 0 || length >= steps.size()) return std::nullopt;
  std::string step;
  for (DWORD i = 0; i < length; ++i) {
    if (steps[i] != L'\n') {
      step += static_cast<char>(steps[i]);
    } else if (step == "(null)") {
      LogMessage(nullptr);
    } else if (step.rfind("@cd ", 0) == 0) {
      if (!SetCurrentDirectoryA(step.substr(4).c_str())) return 4;
    } else if (step.rfind("@burst ", 0) == 0) {
      Burst(step.substr(7));
    } else {
      LogMessage(step.c_str());
    }
    if (steps[i] == L'\n') step.clear();
  }
  return 0;
}
