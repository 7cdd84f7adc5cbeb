#include "channels/engine_project.h"

EngineProject::EngineProject(const std::wstring& dataFolder)
    : assetsPath(dataFolder + L"\\flutter_assets"),
      icuDataPath(dataFolder + L"\\icudtl.dat"),
      aotLibraryPath(dataFolder + L"\\app.so") {}
