#pragma once

// Registration functions of the five plugin libraries, as the stand-in plugins export them.

#include "channels/flutter_windows.h"

#if defined(LUMERO_STAND_IN_PLUGIN_BUILDING)
#define LUMERO_STAND_IN_PLUGIN_API __declspec(dllexport)
#else
#define LUMERO_STAND_IN_PLUGIN_API __declspec(dllimport)
#endif

#ifdef __cplusplus
extern "C" {
#endif

LUMERO_STAND_IN_PLUGIN_API void FileSelectorWindowsRegisterWithRegistrar(
    FlutterDesktopPluginRegistrarRef registrar);
LUMERO_STAND_IN_PLUGIN_API void PermissionHandlerWindowsPluginRegisterWithRegistrar(
    FlutterDesktopPluginRegistrarRef registrar);
LUMERO_STAND_IN_PLUGIN_API void RecordWindowsPluginCApiRegisterWithRegistrar(
    FlutterDesktopPluginRegistrarRef registrar);
LUMERO_STAND_IN_PLUGIN_API void SpeechToTextWindowsRegisterWithRegistrar(
    FlutterDesktopPluginRegistrarRef registrar);
LUMERO_STAND_IN_PLUGIN_API void UrlLauncherWindowsRegisterWithRegistrar(
    FlutterDesktopPluginRegistrarRef registrar);

#ifdef __cplusplus
}  // extern "C"
#endif
