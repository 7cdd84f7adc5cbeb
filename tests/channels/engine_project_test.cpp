#include "channels/engine_project.h"

#include <gtest/gtest.h>

TEST(EngineProjectTest, PathsLieBelowTheDataFolderUnchanged) {
  const EngineProject project(L"data");
  EXPECT_EQ(project.assetsPath, L"data\\flutter_assets");
  EXPECT_EQ(project.icuDataPath, L"data\\icudtl.dat");
  EXPECT_EQ(project.aotLibraryPath, L"data\\app.so");
}
