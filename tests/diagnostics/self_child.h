#pragma once

#include <windows.h>

#include <optional>
#include <string>
#include <vector>

#include "runner/win32_unique_handle.h"

// This executable started again as a child process, with arguments (bytes, one UTF-16 unit each,
// so UTF-8 text arrives intact; none may hold a quote or end in a backslash), LOCALAPPDATA (removed
// when nullopt) and a current folder (ours when empty). Its standard output and error land in one
// captured file.
struct ChildSetup {
  std::vector<std::string> arguments;
  std::optional<std::wstring> localAppData;
  std::wstring currentDirectory;
};

struct ChildResult {
  DWORD exitCode = STILL_ACTIVE;  // also when it did not start or end in time
  std::string output;
};

// Starts the child; one still running at destruction is terminated.
class SelfChild {
 public:
  explicit SelfChild(const ChildSetup& setup);
  ~SelfChild();
  ChildResult Finish();

 private:
  UniqueFileHandle output_;
  UniqueKernelHandle process_;
};

inline ChildResult RunSelfChild(const ChildSetup& setup) { return SelfChild(setup).Finish(); }

// In a child: its arguments. In the parent: nullopt.
std::optional<std::vector<std::string>> ChildArguments();
