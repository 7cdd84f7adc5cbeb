#pragma once

#include <windows.h>

#include <optional>
#include <string>
#include <vector>

// For test programs whose scenarios run in children: this executable started again with
// arguments (bytes, one UTF-16 unit each, so UTF-8 arrives intact; none may hold a quote or end
// in a backslash), LOCALAPPDATA (removed when nullopt) and a current folder (ours when empty).
struct ChildSetup {
  std::vector<std::string> arguments;
  std::optional<std::wstring> localAppData;
  std::wstring currentDirectory;
};

struct ChildResult {
  DWORD exitCode = STILL_ACTIVE;  // also when it did not start or end in time
  std::string output;             // standard output and error
};

// Starts all children, then waits for each. The main function comes with this helper: in a child
// it calls RunChild, which each test program defines; at the end it removes the test folders.
std::vector<ChildResult> RunSelfChildren(const std::vector<ChildSetup>& setups);
inline ChildResult RunSelfChild(const ChildSetup& setup) { return RunSelfChildren({setup})[0]; }
int RunChild(const std::vector<std::string>& arguments);

// A folder below this process's own one in the temporary folder, made if missing.
std::wstring TestFolder(const std::string& name);

// The messages of the log below base, each ended by LF; whatever is not laid out as a whole log
// line stays as it is. Joined gives the same form for a list of messages.
std::string LoggedMessages(const std::wstring& base);
std::string Joined(const std::vector<std::string>& messages);
