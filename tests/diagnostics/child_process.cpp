#include "tests/diagnostics/child_process.h"

#include <cwchar>

namespace {

class EnvironmentStrings {
 public:
  EnvironmentStrings() : block_(GetEnvironmentStringsW()) {}
  ~EnvironmentStrings() {
    if (block_ != nullptr) FreeEnvironmentStringsW(block_);
  }
  EnvironmentStrings(const EnvironmentStrings&) = delete;
  EnvironmentStrings& operator=(const EnvironmentStrings&) = delete;
  const wchar_t* Get() const { return block_; }

 private:
  wchar_t* block_;
};

bool IsVariable(const std::wstring& entry, const std::wstring& name) {
  return entry.size() > name.size() && entry[name.size()] == L'=' &&
         CompareStringOrdinal(entry.c_str(), static_cast<int>(name.size()), name.c_str(),
                              static_cast<int>(name.size()), TRUE) == CSTR_EQUAL;
}

// The parent's environment with LOCALAPPDATA replaced or removed.
std::wstring ChildEnvironment(const std::optional<std::wstring>& localAppData) {
  std::wstring block;
  const EnvironmentStrings current;
  for (const wchar_t* entry = current.Get(); entry != nullptr && *entry != L'\0';
       entry += wcslen(entry) + 1) {
    const std::wstring text(entry);
    if (IsVariable(text, L"LOCALAPPDATA")) continue;
    block += text;
    block += L'\0';
  }
  if (localAppData) {
    block += L"LOCALAPPDATA=" + *localAppData;
    block += L'\0';
  }
  block += L'\0';
  return block;
}

std::wstring OwnPath() {
  std::wstring path(32768, L'\0');
  const DWORD length = GetModuleFileNameW(nullptr, &path[0], static_cast<DWORD>(path.size()));
  path.resize(length);
  return path;
}

// Arguments are quoted whole; the scenarios never pass quotes or a trailing backslash.
std::wstring CommandLine(const std::vector<std::wstring>& arguments) {
  std::wstring line = L"\"" + OwnPath() + L"\" " + kChildFlag;
  for (const std::wstring& argument : arguments) line += L" \"" + argument + L"\"";
  return line;
}

}  // namespace

ChildProcess::ChildProcess(const ChildSetup& setup) {
  std::wstring commandLine = CommandLine(setup.arguments);
  std::wstring environment = ChildEnvironment(setup.localAppData);
  STARTUPINFOW startup = {};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION info = {};
  if (CreateProcessW(nullptr, &commandLine[0], nullptr, nullptr, FALSE, CREATE_UNICODE_ENVIRONMENT,
                     &environment[0],
                     setup.currentDirectory.empty() ? nullptr : setup.currentDirectory.c_str(),
                     &startup, &info)) {
    process_ = UniqueHandle(info.hProcess);
    UniqueHandle thread(info.hThread);
  }
}

ChildProcess::~ChildProcess() {
  if (process_.IsValid() && WaitForSingleObject(process_.Get(), 0) == WAIT_TIMEOUT) {
    TerminateProcess(process_.Get(), 99);
    WaitForSingleObject(process_.Get(), 10000);
  }
}

long ChildProcess::Wait(DWORD timeoutMs) {
  if (!process_.IsValid() || WaitForSingleObject(process_.Get(), timeoutMs) != WAIT_OBJECT_0) {
    return -1;
  }
  DWORD code = 0;
  if (!GetExitCodeProcess(process_.Get(), &code)) return -1;
  return static_cast<long>(code);
}

long RunChild(const ChildSetup& setup) { return ChildProcess(setup).Wait(); }
