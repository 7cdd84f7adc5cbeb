#pragma once

#include <functional>
#include <memory>
#include <string>

#include "channels/binary_messenger.h"
#include "channels/binary_messenger_impl.h"
#include "channels/engine_project.h"
#include "channels/flutter_windows.h"
#include "channels/plugin_registry.h"

namespace flutter {

// Owns an engine handle (until ReleaseOwnership) and the messenger over it. UI thread only.
class FlutterEngine : public PluginRegistry {
 public:
  // Creates the engine. The project's strings are pointed to, not copied: the project must
  // outlive the engine.
  explicit FlutterEngine(const EngineProject& project);
  ~FlutterEngine() override;

  FlutterEngine(const FlutterEngine&) = delete;
  FlutterEngine& operator=(const FlutterEngine&) = delete;

  FlutterDesktopPluginRegistrarRef GetPluginRegistrar(const std::string& name) override;

  // The engine wrapper keeps ownership.
  BinaryMessenger* GetMessenger();

  // Gives the handle away (to the view controller); the wrapper keeps using it but no longer
  // destroys it.
  FlutterDesktopEngineRef ReleaseOwnership();

  void ReloadSystemFonts();

  // callback runs once, on the UI thread, after the engine's next frame; a later frame runs
  // nothing unless a new callback is set.
  void SetNextFrameCallback(std::function<void()> callback);

 private:
  static void OnNextFrame(void* user_data) noexcept;

  FlutterDesktopEngineRef engine = nullptr;
  std::unique_ptr<BinaryMessengerImpl> messenger;
  bool ownsEngine = true;
  std::function<void()> nextFrameCallback;
};

}  // namespace flutter
