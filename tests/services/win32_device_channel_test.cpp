// The device identity channel through the stand-in engine, on this prefix's own MachineGuid. Each
// case changes the value and puts the original back, also when a check fails.
#include "runner/device/win32_device_channel.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "channels/engine_project.h"
#include "channels/flutter_engine.h"
#include "runner/win32_unique_handle.h"
#include "tests/channels/stand_in_test_support.h"
#include "tests/services/services_test_support.h"

namespace {

using flutter::EncodableMap;
using flutter::EncodableValue;

constexpr DWORD kMissing = REG_NONE;

// Holds the original value (type and data, or its absence) and restores it when the case ends.
class MachineGuidChange {
 public:
  MachineGuidChange() {
    HKEY raw = nullptr;
    RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Microsoft\\Cryptography", 0,
                  KEY_ALL_ACCESS | KEY_WOW64_64KEY, &raw);
    key.reset(raw);
    DWORD size = sizeof original;
    existed = RegQueryValueExW(raw, kName, nullptr, &type, original, &size) == ERROR_SUCCESS;
    originalSize = size;
  }
  ~MachineGuidChange() { Set(existed ? type : kMissing, original, originalSize); }
  MachineGuidChange(const MachineGuidChange&) = delete;
  MachineGuidChange& operator=(const MachineGuidChange&) = delete;

  void Set(DWORD newType, const void* data, DWORD bytes) {
    ASSERT_TRUE(key);
    if (newType == kMissing) {
      RegDeleteValueW(key.get(), kName);
    } else {
      ASSERT_EQ(RegSetValueExW(key.get(), kName, 0, newType, static_cast<const BYTE*>(data), bytes),
                ERROR_SUCCESS);
    }
  }

 private:
  static constexpr wchar_t kName[] = L"MachineGuid";
  UniqueRegistryKey key;
  DWORD type = REG_NONE;
  BYTE original[1024] = {};
  DWORD originalSize = 0;
  bool existed = false;
};

TEST(DeviceChannel, AnswersTheStoredIdentifierOrBrakId) {
  StandInReset();
  const EngineProject project(L"data");
  flutter::FlutterEngine engine(project);
  RegisterDeviceChannel(&engine);
  const auto& codec = flutter::StandardMethodCodec::GetInstance();
  const auto success = [&](const std::string& text) {
    const EncodableValue value(text);
    return *codec.EncodeSuccessEnvelope(&value);
  };
  const Bytes brakId =
      *codec.EncodeErrorEnvelope("brak_id", "Nie odczytano MachineGuid z rejestru");
  const std::string text = "6f1ed2c4-0b3e-4c5a-9d2f-8e7b6a5c4d3e";
  const std::wstring guid(text.begin(), text.end());
  const std::wstring long127(127, L'7');
  struct Case {
    const char* what;
    DWORD type;
    std::wstring text;
    DWORD bytes;  // stored length; with the NUL unless shorter
    const char* method;
    EncodableValue arguments;
    Bytes answer;
  };
  const DWORD kWithNul = 0;
  const Case cases[] = {
      {"no arguments", REG_SZ, guid, kWithNul, "id", EncodableValue(), success(text)},
      {"a map", REG_SZ, guid, kWithNul, "id", EncodableValue(EncodableMap{{"a", 1}}),
       success(text)},
      {"a string", REG_SZ, guid, kWithNul, "id", EncodableValue("x"), success(text)},
      {"ID", REG_SZ, guid, kWithNul, "ID", EncodableValue(), Bytes{}},
      {"REG_EXPAND_SZ", REG_EXPAND_SZ, guid, kWithNul, "id", EncodableValue(), brakId},
      {"empty", REG_SZ, L"", kWithNul, "id", EncodableValue(), brakId},
      {"missing", kMissing, L"", kWithNul, "id", EncodableValue(), brakId},
      {"127 and NUL", REG_SZ, long127, kWithNul, "id", EncodableValue(), brakId},
      // The unit after the data is not NUL: the system would count a NUL there as stored.
      {"127 without NUL", REG_SZ, long127 + L'7', 254, "id", EncodableValue(),
       success(std::string(127, '7'))},
      {"non-ASCII", REG_SZ, L"za\u017c\u00f3\u0142\u0107-\u0141\u00d3D\u0179", kWithNul, "id",
       EncodableValue(),
       success("za\xc5\xbc\xc3\xb3\xc5\x82\xc4\x87-\xc5\x81\xc3\x93"
               "D\xc5\xb9")},
  };
  for (const Case& c : cases) {
    MachineGuidChange change;
    change.Set(c.type, c.text.c_str(),
               c.bytes != kWithNul ? c.bytes : DWORD((c.text.size() + 1) * sizeof(wchar_t)));
    const Bytes call = *codec.EncodeMethodCall(flutter::MethodCall<EncodableValue>(
        c.method, std::make_unique<EncodableValue>(c.arguments)));
    EXPECT_EQ(StandInReply(stand_in_test::Deliver("lumerovantix/device", call)), c.answer)
        << c.what;
  }
  EXPECT_EQ(StandInContractErrors(), Lines{});
}

}  // namespace
