#pragma once

#include <windows.h>

#include <optional>
#include <string>
#include <vector>

// For tests whose scenarios run in children: this executable started again with arguments (bytes,
// one UTF-16 unit each, so UTF-8 text arrives intact; none may hold a quote or end in a
// backslash), LOCALAPPDATA (removed when nullopt) and a current folder (ours when empty).
struct ChildSetup {
  std::vector<std::string> arguments;
  std::optional<std::wstring> localAppData;
  std::wstring currentDirectory;
};

struct ChildResult {
  DWORD exitCode = STILL_ACTIVE;  // also when it did not start or end in time (then terminated)
  std::string output;             // standard output and error
};

// Starts all children, then waits for each.
std::vector<ChildResult> RunSelfChildren(const std::vector<ChildSetup>& setups);
inline ChildResult RunSelfChild(const ChildSetup& setup) { return RunSelfChildren({setup})[0]; }

// Defined by each test program: what a child does with its arguments; gives its exit code. The
// main function comes with this helper.
int RunChild(const std::vector<std::string>& arguments);

// A folder below this process's own one in the temporary folder (removed at the end); made if
// missing.
std::wstring TestFolder(const std::wstring& name);

// The messages of the log below base, each ended by LF. Whatever is not laid out as a whole log
// line stays as it is, and so fails a comparison.
std::string LoggedMessages(const std::wstring& base);
// What LoggedMessages gives for these messages.
std::string Joined(const std::vector<std::string>& messages);
