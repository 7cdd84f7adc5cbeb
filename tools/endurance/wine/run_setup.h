#pragma once

#include <windows.h>

#include <cstdio>
#include <memory>
#include <string>

#include "tests/support/meter_simulator_client.h"

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

// The simulator named by the environment, reset to its defaults; null, said on the output, when
// there is none.
inline std::unique_ptr<MeterSimulatorClient> ResetSimulator(const char* part) {
  std::string error;
  auto simulator = MeterSimulatorClient::FromEnvironment(&error);
  if (!simulator || simulator->Command("reset") != "ok") {
    std::printf("%s: no simulator: %s\n", part, error.c_str());
    return nullptr;
  }
  return simulator;
}

}  // namespace endurance
