#pragma once

#include <windows.h>

#include <string>

namespace endurance {

// A log folder of the run's own, given to the log through LOCALAPPDATA before its first line.
inline std::wstring UseOwnLogFolder(const wchar_t* name) {
  wchar_t temp[MAX_PATH] = {};
  GetTempPathW(MAX_PATH, temp);
  const std::wstring folder = std::wstring(temp) + name + L"-" +
                              std::to_wstring(GetCurrentProcessId()) + L"-" +
                              std::to_wstring(GetTickCount64());
  CreateDirectoryW(folder.c_str(), nullptr);
  SetEnvironmentVariableW(L"LOCALAPPDATA", folder.c_str());
  return folder;
}

}  // namespace endurance
