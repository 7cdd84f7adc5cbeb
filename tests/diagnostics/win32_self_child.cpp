#include "tests/diagnostics/win32_self_child.h"

#include <shellapi.h>

#include <gtest/gtest.h>

#include <cwchar>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <regex>

#include "runner/win32_unique_handle.h"

namespace {

constexpr wchar_t kChildFlag[] = L"--self-child";

std::string ReadWhole(const std::wstring& path) {
  std::ifstream file(std::filesystem::path(path), std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(file), {});
}

struct Child {
  UniqueKernelHandle process;
  std::wstring output;  // the file that takes its standard output and error
};

Child Start(const ChildSetup& setup, size_t index) {
  Child child = {UniqueKernelHandle(), TestFolder("") + L"\\output-" + std::to_wstring(index)};
  SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
  const UniqueFileHandle output(CreateFileW(child.output.c_str(), GENERIC_WRITE, FILE_SHARE_READ,
                                            &inherit, CREATE_ALWAYS, 0, nullptr));
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
  STARTUPINFOW startup = {};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdOutput = startup.hStdError = output.get();
  PROCESS_INFORMATION info = {};
  const std::wstring& cwd = setup.currentDirectory;
  if (output && CreateProcessW(self.c_str(), &commandLine[0], nullptr, nullptr, TRUE, 0, nullptr,
                               cwd.empty() ? nullptr : cwd.c_str(), &startup, &info)) {
    child.process.reset(info.hProcess);
    const UniqueKernelHandle thread(info.hThread);
  }
  return child;
}

}  // namespace

std::vector<ChildResult> RunSelfChildren(const std::vector<ChildSetup>& setups) {
  std::vector<Child> children;
  for (size_t i = 0; i < setups.size(); ++i) children.push_back(Start(setups[i], i));
  std::vector<ChildResult> results(children.size());
  for (size_t i = 0; i < children.size(); ++i) {
    const HANDLE process = children[i].process.get();  // null if it did not start
    if (WaitForSingleObject(process, 60000) != WAIT_OBJECT_0) {
      TerminateProcess(process, STILL_ACTIVE);
      WaitForSingleObject(process, 10000);
    }
    GetExitCodeProcess(process, &results[i].exitCode);
    results[i].output = ReadWhole(children[i].output);
  }
  return results;
}

std::wstring TestFolder(const std::string& name) {
  // Wine reuses process ids soon, and a folder left behind (its long paths are hard to remove)
  // must never hold an old log for a later run: the start time makes the folder this run's own.
  static const std::string root =
      "lumero-" + std::to_string(GetCurrentProcessId()) + "-" + std::to_string(GetTickCount64());
  const std::filesystem::path path = std::filesystem::temp_directory_path() / root / name;
  std::filesystem::create_directories(path);
  return path.wstring();
}

std::string LoggedMessages(const std::wstring& base) {
  static const std::regex line(
      R"(\d{4}-\d\d-\d\d \d\d:\d\d:\d\d\.\d{3} \[INFO\] miernik: ([^\r\n]*)\r\n)");
  return std::regex_replace(ReadWhole(base + L"\\Lumerovantix\\logi\\app.log"), line, "$1\n");
}

std::string Joined(const std::vector<std::string>& messages) {
  std::string joined;
  for (const std::string& message : messages) joined += message + "\n";
  return joined;
}

int main(int argc, char** argv) {
  int count = 0;
  wchar_t** const arguments = CommandLineToArgvW(GetCommandLineW(), &count);
  const UniqueLocalMemory owner(arguments);
  if (arguments != nullptr && count >= 2 && std::wstring(arguments[1]) == kChildFlag) {
    std::vector<std::string> bytes;  // one a unit
    for (int i = 2; i < count; ++i) {
      bytes.emplace_back();
      for (const wchar_t* unit = arguments[i]; *unit != L'\0'; ++unit) {
        bytes.back() += static_cast<char>(*unit);
      }
    }
    return RunChild(bytes);
  }
  testing::InitGoogleTest(&argc, argv);
  const int result = RUN_ALL_TESTS();
  std::error_code ignored;  // paths past MAX_PATH go in the "\\?\" form
  std::filesystem::remove_all(L"\\\\?\\" + TestFolder(""), ignored);
  return result;
}
