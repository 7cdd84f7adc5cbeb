#include "channels/flutter_engine.h"

#include <utility>
#include <vector>

#include "channels/callback_guard.h"

namespace flutter {

FlutterEngine::FlutterEngine(const EngineProject& project) {
  FlutterDesktopEngineProperties properties = {};
  properties.assets_path = project.assetsPath.c_str();
  properties.icu_data_path = project.icuDataPath.c_str();
  properties.aot_library_path = project.aotLibraryPath.c_str();
  properties.dart_entrypoint = project.entrypoint.c_str();

  std::vector<const char*> arguments;
  arguments.reserve(project.entrypointArguments.size());
  for (const std::string& argument : project.entrypointArguments) {
    arguments.push_back(argument.c_str());
  }
  properties.dart_entrypoint_argc = static_cast<int32_t>(arguments.size());
  // The engine distinguishes "no arguments" (null) from an empty array.
  properties.dart_entrypoint_argv = arguments.empty() ? nullptr : arguments.data();
  for (size_t i = 0; i < project.engineSettings.size(); ++i) {
    properties.engine_settings[i] = project.engineSettings[i];
  }
  properties.engine_flag = project.engineFlag;

  engine = FlutterDesktopEngineCreate(&properties);
  messenger = std::make_unique<BinaryMessengerImpl>(FlutterDesktopEngineGetMessenger(engine));
}

FlutterEngine::~FlutterEngine() {
  if (engine != nullptr && ownsEngine) {
    FlutterDesktopEngineDestroy(engine);
  }
  engine = nullptr;
  nextFrameCallback = nullptr;
  messenger.reset();
}

FlutterDesktopPluginRegistrarRef FlutterEngine::GetPluginRegistrar(const std::string& name) {
  if (engine == nullptr) {
    PrintChannelDiagnostic(
        "Cannot get plugin registrar on an engine that isn't running; call Run first.");
    return nullptr;
  }
  return FlutterDesktopEngineGetPluginRegistrar(engine, name.c_str());
}

BinaryMessenger* FlutterEngine::GetMessenger() { return messenger.get(); }

FlutterDesktopEngineRef FlutterEngine::ReleaseOwnership() {
  ownsEngine = false;
  return engine;
}

void FlutterEngine::ReloadSystemFonts() { FlutterDesktopEngineReloadSystemFonts(engine); }

void FlutterEngine::SetNextFrameCallback(std::function<void()> callback) {
  nextFrameCallback = std::move(callback);
  FlutterDesktopEngineSetNextFrameCallback(engine, OnNextFrame, this);
}

void FlutterEngine::OnNextFrame(void* user_data) noexcept {
  auto* self = static_cast<FlutterEngine*>(user_data);
  // Taken out before it runs: it fires once, and it may set the next callback itself.
  std::function<void()> callback = std::move(self->nextFrameCallback);
  self->nextFrameCallback = nullptr;
  if (callback) {
    RunCallbackGuarded("next-frame callback", callback);
  }
}

}  // namespace flutter
