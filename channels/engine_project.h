#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

// Where the engine finds the application's files, and what the interface code is started with.
struct EngineProject {
  // Paths below dataFolder, unchanged (a relative folder gives relative paths); no arguments,
  // the default entry point and zero settings.
  explicit EngineProject(const std::wstring& dataFolder);

  std::wstring assetsPath;
  std::wstring icuDataPath;
  std::wstring aotLibraryPath;
  // Empty selects the engine's default entry point.
  std::string entrypoint;
  // UTF-8, in order.
  std::vector<std::string> entrypointArguments;
  std::array<int32_t, 4> engineSettings{};
  uint8_t engineFlag = 0;
};
