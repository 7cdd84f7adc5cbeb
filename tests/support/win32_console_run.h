#pragma once

// Runs a console program of the build as a user would from a prompt, for tests under Wine: its
// own environment, standard output and error in files, at most a minute.
#include <windows.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "runner/win32_unique_handle.h"
#include "tests/support/win32_scratch.h"

namespace test_support {

struct ConsoleRun {
  DWORD exitCode = STILL_ACTIVE;
  std::vector<std::string> out;  // lines without CR LF
  std::vector<std::string> err;
};

inline std::vector<std::string> LinesOf(const std::string& text) {  // CR LF or LF
  std::vector<std::string> lines;
  std::istringstream stream(text);
  for (std::string line; std::getline(stream, line);) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(line);
  }
  return lines;
}

// program with arguments until it ends; out.txt and err.txt are kept in folder; variables
// ("NAME=value") replace the inherited ones.
inline ConsoleRun RunConsoleProgram(const std::filesystem::path& program,
                                    const std::wstring& arguments,
                                    const std::filesystem::path& folder,
                                    const std::vector<std::wstring>& variables) {
  // Wine starts its desktop process from the first process of a session that uses a window, and
  // that process inherits the starter's handles: started from the program, it would keep the
  // output files open. Started from here, it inherits none.
  GetDesktopWindow();
  ConsoleRun run;
  {
    SECURITY_ATTRIBUTES inheritable{sizeof inheritable, nullptr, TRUE};
    const auto create = [&](const wchar_t* name) {
      return UniqueFileHandle(CreateFileW((folder / name).c_str(), GENERIC_WRITE, FILE_SHARE_READ,
                                          &inheritable, CREATE_ALWAYS, 0, nullptr));
    };
    const UniqueFileHandle out = create(L"out.txt"), err = create(L"err.txt");
    std::wstring environment = EnvironmentWith(variables);
    std::wstring commandLine = L"\"" + program.wstring() + L"\" " + arguments;
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdOutput = out.get();
    startup.hStdError = err.get();
    PROCESS_INFORMATION started = {};
    if (!CreateProcessW(program.c_str(), commandLine.data(), nullptr, nullptr, TRUE,
                        CREATE_UNICODE_ENVIRONMENT | DETACHED_PROCESS, environment.data(), nullptr,
                        &startup, &started)) {
      ADD_FAILURE() << "cannot start " << program << ": error " << GetLastError();
      return run;
    }
    const UniqueKernelHandle process(started.hProcess), thread(started.hThread);
    if (WaitForSingleObject(process.get(), 60000) != WAIT_OBJECT_0) {
      ADD_FAILURE() << program << " did not end within a minute";
      TerminateProcess(process.get(), 99);
    }
    GetExitCodeProcess(process.get(), &run.exitCode);
  }
  run.out = LinesOf(FileText(folder / "out.txt"));
  run.err = LinesOf(FileText(folder / "err.txt"));
  return run;
}

}  // namespace test_support
