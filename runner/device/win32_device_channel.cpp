#include "runner/device/win32_device_channel.h"

#include <windows.h>

#include <memory>

#include "channels/flutter_engine.h"
#include "channels/method_channel.h"
#include "channels/standard_method_codec.h"
#include "runner/win32_unique_handle.h"

namespace {

using flutter::EncodableValue;

constexpr wchar_t kCryptographyKey[] = L"SOFTWARE\\Microsoft\\Cryptography";
// 128 UTF-16 units, of which the query may fill 254 bytes: a NUL always follows the text.
constexpr size_t kGuidBufferUnits = 128;
constexpr DWORD kGuidQueryBytes = 254;

std::unique_ptr<flutter::MethodChannel<EncodableValue>> deviceChannel;

}  // namespace

std::string ReadMachineGuid() {
  HKEY opened = nullptr;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kCryptographyKey, 0, KEY_READ | KEY_WOW64_64KEY, &opened) !=
      ERROR_SUCCESS) {
    return {};
  }
  UniqueRegistryKey key(opened);
  wchar_t buffer[kGuidBufferUnits] = {};
  DWORD size = kGuidQueryBytes;
  DWORD type = 0;
  const LONG status = RegQueryValueExW(key.get(), L"MachineGuid", nullptr, &type,
                                       reinterpret_cast<BYTE*>(buffer), &size);
  key.reset();
  if (status != ERROR_SUCCESS || type != REG_SZ) return {};
  const int needed = WideCharToMultiByte(CP_UTF8, 0, buffer, -1, nullptr, 0, nullptr, nullptr);
  if (needed <= 1) return {};
  std::string text(static_cast<size_t>(needed - 1), '\0');
  // The conversion's own NUL lands on the string's terminator.
  WideCharToMultiByte(CP_UTF8, 0, buffer, -1, &text[0], needed, nullptr, nullptr);
  return text;
}

void RegisterDeviceChannel(flutter::FlutterEngine* engine) {
  if (engine == nullptr) return;
  deviceChannel = std::make_unique<flutter::MethodChannel<EncodableValue>>(
      engine->GetMessenger(), "lumerovantix/device", &flutter::StandardMethodCodec::GetInstance());
  deviceChannel->SetMethodCallHandler(
      [](const flutter::MethodCall<EncodableValue>& call,
         std::unique_ptr<flutter::MethodResult<EncodableValue>> result) {
        if (call.method_name() != "id") {
          result->NotImplemented();
          return;
        }
        const std::string id = ReadMachineGuid();
        if (id.empty()) {
          result->Error("brak_id", "Nie odczytano MachineGuid z rejestru");
        } else {
          result->Success(EncodableValue(id));
        }
      });
}
