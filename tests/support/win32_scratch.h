#pragma once

// For Windows tests that start programs or keep logs of their own: scratch folders, files read
// whole, and the environment a child is started with.
#include <windows.h>

#include <cwchar>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace test_support {

// A new folder "lumero-<what>-<process>-<ticks>" in Temp (Wine reuses process ids); the test
// command clears lumero-* folders that a test could not remove.
inline std::filesystem::path NewScratchFolder(const std::string& what) {
  const std::filesystem::path folder =
      std::filesystem::temp_directory_path() /
      ("lumero-" + what + "-" + std::to_string(GetCurrentProcessId()) + "-" +
       std::to_string(GetTickCount64()));
  std::filesystem::create_directories(folder);
  return folder;
}

// The whole file as bytes; empty when it cannot be read.
inline std::string FileText(const std::filesystem::path& path) {
  std::ifstream file(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
}

// This process's environment block, with each "NAME=value" of variables in place of an
// inherited NAME, for CreateProcessW with CREATE_UNICODE_ENVIRONMENT.
inline std::wstring EnvironmentWith(const std::vector<std::wstring>& variables) {
  const auto replaced = [&](const wchar_t* entry) {
    for (const std::wstring& variable : variables)
      if (std::wcsncmp(entry, variable.c_str(), variable.find(L'=') + 1) == 0) return true;
    return false;
  };
  std::wstring environment;
  const wchar_t* inherited = GetEnvironmentStringsW();
  for (const wchar_t* entry = inherited; *entry != 0; entry += std::wcslen(entry) + 1)
    if (!replaced(entry)) environment += entry + std::wstring(1, L'\0');
  FreeEnvironmentStringsW(const_cast<wchar_t*>(inherited));
  for (const std::wstring& variable : variables) environment += variable + L'\0';
  return environment;
}

}  // namespace test_support
