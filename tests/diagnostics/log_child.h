#pragma once

#include <optional>
#include <string>
#include <vector>

#include "runner/win32_unique_handle.h"

constexpr int kBurstThreads = 4;
constexpr int kBurstLines = 40;
// "wątek: TAG t i", as a burst logs it.
std::string BurstMessage(const std::string& tag, int thread, int line);

// A fresh copy of this executable (the log path is computed once per process) that takes the
// steps in order: "(null)" logs a null pointer, "@cd DIR" changes the current folder, "@burst TAG"
// has kBurstThreads threads start together and log kBurstLines lines each, anything else is
// logged as it is.
struct ChildSetup {
  std::vector<std::string> steps;
  std::optional<std::wstring> localAppData;  // none: LOCALAPPDATA is removed
  std::wstring currentDirectory;             // empty: the parent's
};

// Starts the child; one still running at destruction is terminated.
class ChildProcess {
 public:
  explicit ChildProcess(const ChildSetup& setup);
  ~ChildProcess();
  // The exit code (0: all steps taken), or -1 if the child did not start or end in time.
  long Wait();

 private:
  UniqueKernelHandle process_;
};

inline long RunChild(const ChildSetup& setup) { return ChildProcess(setup).Wait(); }

// In a child: takes its steps and gives the exit code. In the parent: nullopt.
std::optional<int> RunStepsIfChild();
