#pragma once

#include <windows.h>

#include <optional>
#include <string>
#include <vector>

#include "tests/diagnostics/unique_handle.h"

// First argument that makes the test executable run one logging scenario instead of the tests.
constexpr wchar_t kChildFlag[] = L"--log-child";

struct ChildSetup {
  std::vector<std::wstring> arguments;       // scenario name and its arguments, no quotes
  std::optional<std::wstring> localAppData;  // none: LOCALAPPDATA is removed
  std::wstring currentDirectory;             // empty: the parent's
};

// The test executable started again, so that each scenario runs in a fresh process (the log
// path is computed once per process). A child still running at destruction is terminated.
class ChildProcess {
 public:
  explicit ChildProcess(const ChildSetup& setup);
  ~ChildProcess();
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;

  bool Started() const { return process_.IsValid(); }
  // The exit code, or -1 if the child did not start or did not end in time.
  long Wait(DWORD timeoutMs = 60000);

 private:
  UniqueHandle process_;
};

// Starts a child and waits for it; the exit code, or -1.
long RunChild(const ChildSetup& setup);
