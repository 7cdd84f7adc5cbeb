#pragma once

// The C interface of the engine library flutter_windows.dll, as this program uses it. The same
// declarations build the stand-in engine (which defines FLUTTER_WINDOWS_BUILDING_LIBRARY).

#include <stddef.h>
#include <stdint.h>
#include <windows.h>

#ifndef __cplusplus
#include <stdbool.h>
#endif

#if defined(FLUTTER_WINDOWS_BUILDING_LIBRARY)
#define FLUTTER_WINDOWS_EXPORT __declspec(dllexport)
#else
#define FLUTTER_WINDOWS_EXPORT __declspec(dllimport)
#endif

#ifdef __cplusplus
extern "C" {
#endif

// Opaque handles; only the engine library knows what lies behind them.
typedef struct FlutterDesktopEngine* FlutterDesktopEngineRef;
typedef struct FlutterDesktopViewController* FlutterDesktopViewControllerRef;
typedef struct FlutterDesktopView* FlutterDesktopViewRef;
typedef struct FlutterDesktopMessenger* FlutterDesktopMessengerRef;
typedef struct FlutterDesktopPluginRegistrar* FlutterDesktopPluginRegistrarRef;
typedef struct FlutterDesktopMessageResponseHandle FlutterDesktopMessageResponseHandle;

// What the engine is started with. The strings belong to the caller and must stay valid while
// the engine runs.
typedef struct {
  const wchar_t* assets_path;
  const wchar_t* icu_data_path;
  const wchar_t* aot_library_path;
  // Empty (not null) selects the default entry point.
  const char* dart_entrypoint;
  int32_t dart_entrypoint_argc;
  // Null when there are no arguments.
  const char** dart_entrypoint_argv;
  int32_t engine_settings[4];
  uint8_t engine_flag;
} FlutterDesktopEngineProperties;

// One incoming message. The response handle answers it exactly once.
typedef struct {
  size_t struct_size;
  const char* channel;
  const uint8_t* message;
  size_t message_size;
  const FlutterDesktopMessageResponseHandle* response_handle;
} FlutterDesktopMessage;

typedef void (*FlutterDesktopMessageCallback)(FlutterDesktopMessengerRef messenger,
                                              const FlutterDesktopMessage* message,
                                              void* user_data);
typedef void (*FlutterDesktopBinaryReply)(const uint8_t* data, size_t data_size, void* user_data);
typedef void (*FlutterDesktopOnNextFrameCallback)(void* user_data);

// Engine.
FLUTTER_WINDOWS_EXPORT FlutterDesktopEngineRef
FlutterDesktopEngineCreate(const FlutterDesktopEngineProperties* engine_properties);
FLUTTER_WINDOWS_EXPORT bool FlutterDesktopEngineDestroy(FlutterDesktopEngineRef engine);
FLUTTER_WINDOWS_EXPORT FlutterDesktopMessengerRef
FlutterDesktopEngineGetMessenger(FlutterDesktopEngineRef engine);
FLUTTER_WINDOWS_EXPORT FlutterDesktopPluginRegistrarRef
FlutterDesktopEngineGetPluginRegistrar(FlutterDesktopEngineRef engine, const char* plugin_name);
FLUTTER_WINDOWS_EXPORT void FlutterDesktopEngineSetNextFrameCallback(
    FlutterDesktopEngineRef engine, FlutterDesktopOnNextFrameCallback callback, void* user_data);
FLUTTER_WINDOWS_EXPORT void FlutterDesktopEngineReloadSystemFonts(FlutterDesktopEngineRef engine);

// View controller and view. The controller takes over the engine; null means failure.
FLUTTER_WINDOWS_EXPORT FlutterDesktopViewControllerRef
FlutterDesktopViewControllerCreate(int width, int height, FlutterDesktopEngineRef engine);
FLUTTER_WINDOWS_EXPORT void FlutterDesktopViewControllerDestroy(
    FlutterDesktopViewControllerRef controller);
FLUTTER_WINDOWS_EXPORT FlutterDesktopViewRef
FlutterDesktopViewControllerGetView(FlutterDesktopViewControllerRef controller);
FLUTTER_WINDOWS_EXPORT bool FlutterDesktopViewControllerHandleTopLevelWindowProc(
    FlutterDesktopViewControllerRef controller, HWND hwnd, UINT message, WPARAM wparam,
    LPARAM lparam, LRESULT* result);
FLUTTER_WINDOWS_EXPORT void FlutterDesktopViewControllerForceRedraw(
    FlutterDesktopViewControllerRef controller);
FLUTTER_WINDOWS_EXPORT HWND FlutterDesktopViewGetHWND(FlutterDesktopViewRef view);

// Messenger.
FLUTTER_WINDOWS_EXPORT bool FlutterDesktopMessengerSend(FlutterDesktopMessengerRef messenger,
                                                        const char* channel, const uint8_t* message,
                                                        size_t message_size);
FLUTTER_WINDOWS_EXPORT bool FlutterDesktopMessengerSendWithReply(
    FlutterDesktopMessengerRef messenger, const char* channel, const uint8_t* message,
    size_t message_size, FlutterDesktopBinaryReply reply, void* user_data);
FLUTTER_WINDOWS_EXPORT void FlutterDesktopMessengerSetCallback(
    FlutterDesktopMessengerRef messenger, const char* channel,
    FlutterDesktopMessageCallback callback, void* user_data);
FLUTTER_WINDOWS_EXPORT void FlutterDesktopMessengerSendResponse(
    FlutterDesktopMessengerRef messenger, const FlutterDesktopMessageResponseHandle* handle,
    const uint8_t* data, size_t data_length);
FLUTTER_WINDOWS_EXPORT FlutterDesktopMessengerRef
FlutterDesktopMessengerAddRef(FlutterDesktopMessengerRef messenger);
FLUTTER_WINDOWS_EXPORT void FlutterDesktopMessengerRelease(FlutterDesktopMessengerRef messenger);
FLUTTER_WINDOWS_EXPORT FlutterDesktopMessengerRef
FlutterDesktopMessengerLock(FlutterDesktopMessengerRef messenger);
FLUTTER_WINDOWS_EXPORT void FlutterDesktopMessengerUnlock(FlutterDesktopMessengerRef messenger);
FLUTTER_WINDOWS_EXPORT bool FlutterDesktopMessengerIsAvailable(
    FlutterDesktopMessengerRef messenger);

// Process-wide helpers.
FLUTTER_WINDOWS_EXPORT UINT FlutterDesktopGetDpiForMonitor(HMONITOR monitor);
FLUTTER_WINDOWS_EXPORT void FlutterDesktopResyncOutputStreams(void);

#ifdef __cplusplus
}  // extern "C"
#endif
