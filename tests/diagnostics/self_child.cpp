#include "tests/diagnostics/self_child.h"

#include <shellapi.h>

namespace {

constexpr wchar_t kChildFlag[] = L"--self-child";

}  // namespace

SelfChild::SelfChild(const ChildSetup& setup) {
  std::wstring self(32768, L'\0');
  self.resize(GetModuleFileNameW(nullptr, &self[0], static_cast<DWORD>(self.size())));
  std::wstring commandLine = L"\"" + self + L"\" " + kChildFlag;
  for (const std::string& argument : setup.arguments) {
    commandLine += L" \"";
    for (const char byte : argument) commandLine += static_cast<unsigned char>(byte);
    commandLine += L'"';
  }
  // The child inherits this process's environment as it is at its start.
  SetEnvironmentVariableW(L"LOCALAPPDATA",
                          setup.localAppData ? setup.localAppData->c_str() : nullptr);
  // Gone with the last handle, the child's included.
  wchar_t folder[MAX_PATH + 1] = {}, path[MAX_PATH + 1] = {};
  GetTempPathW(MAX_PATH + 1, folder);
  GetTempFileNameW(folder, L"out", 0, path);
  SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
  output_.reset(CreateFileW(path, GENERIC_READ | GENERIC_WRITE,
                            FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, &inherit,
                            CREATE_ALWAYS, FILE_FLAG_DELETE_ON_CLOSE, nullptr));
  STARTUPINFOW startup = {};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdOutput = startup.hStdError = output_.get();
  PROCESS_INFORMATION info = {};
  const wchar_t* cwd = setup.currentDirectory.empty() ? nullptr : setup.currentDirectory.c_str();
  if (output_ && CreateProcessW(self.c_str(), &commandLine[0], nullptr, nullptr, TRUE, 0, nullptr,
                                cwd, &startup, &info)) {
    process_.reset(info.hProcess);
    const UniqueKernelHandle thread(info.hThread);
  }
}

SelfChild::~SelfChild() {
  if (process_ && WaitForSingleObject(process_.get(), 0) == WAIT_TIMEOUT) {
    TerminateProcess(process_.get(), 99);
    WaitForSingleObject(process_.get(), 10000);
  }
}

ChildResult SelfChild::Finish() {
  ChildResult result;
  if (!process_ || WaitForSingleObject(process_.get(), 60000) != WAIT_OBJECT_0) return result;
  GetExitCodeProcess(process_.get(), &result.exitCode);
  SetFilePointer(output_.get(), 0, nullptr, FILE_BEGIN);
  char chunk[4096];
  DWORD count = 0;
  while (ReadFile(output_.get(), chunk, sizeof chunk, &count, nullptr) && count > 0) {
    result.output.append(chunk, count);
  }
  return result;
}

std::optional<std::vector<std::string>> ChildArguments() {
  int count = 0;
  wchar_t** const argv = CommandLineToArgvW(GetCommandLineW(), &count);
  const UniqueLocalMemory owner(argv);
  if (argv == nullptr || count < 2 || std::wstring(argv[1]) != kChildFlag) return std::nullopt;
  std::vector<std::string> arguments;
  for (int i = 2; i < count; ++i) {
    arguments.emplace_back();
    for (const wchar_t* unit = argv[i]; *unit != L'\0'; ++unit) {
      arguments.back() += static_cast<char>(*unit);
    }
  }
  return arguments;
}
