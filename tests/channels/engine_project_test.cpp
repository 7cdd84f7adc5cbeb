#include "channels/engine_project.h"

#include <gtest/gtest.h>

TEST(EngineProjectTest, PathsLieBelowTheDataFolderUnchanged) {
  const EngineProject project(L"data");
  EXPECT_EQ(project.assetsPath, L"data\\flutter_assets");
  EXPECT_EQ(project.icuDataPath, L"data\\icudtl.dat");
  EXPECT_EQ(project.aotLibraryPath, L"data\\app.so");
}

TEST(EngineProjectTest, StartsWithDefaultEntryPointNoArgumentsAndZeroSettings) {
  const EngineProject project(L"C:\\Program Files\\Lumerovantix\\data");
  EXPECT_EQ(project.assetsPath, L"C:\\Program Files\\Lumerovantix\\data\\flutter_assets");
  EXPECT_TRUE(project.entrypoint.empty());
  EXPECT_TRUE(project.entrypointArguments.empty());
  for (const int32_t setting : project.engineSettings) {
    EXPECT_EQ(setting, 0);
  }
  EXPECT_EQ(project.engineFlag, 0);
}
