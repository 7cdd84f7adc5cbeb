#pragma once

#include <string>

#include "channels/flutter_windows.h"

namespace flutter {

// Hands out the engine's registrar for one plugin's registration function.
class PluginRegistry {
 public:
  virtual ~PluginRegistry() = default;
  // Null when there is no running engine.
  virtual FlutterDesktopPluginRegistrarRef GetPluginRegistrar(const std::string& name) = 0;
};

}  // namespace flutter
