// The device identity channel against the stand-in engine, with each case's MachineGuid in a
// key of the test's own that stands in for HKEY_LOCAL_MACHINE: the machine's value stays as it is.
#include <windows.h>

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <tuple>
#include <vector>

#include "channels/engine_project.h"
#include "channels/flutter_engine.h"
#include "channels/standard_method_codec.h"
#include "runner/device/win32_device_channel.h"
#include "tests/support/win32_own_machine_key.h"
#include "tools/stand_in_engine/stand_in_api.h"

namespace {

using flutter::EncodableValue;
using Bytes = std::vector<uint8_t>;

constexpr char kDevice[] = "lumerovantix/device";
const flutter::StandardMethodCodec& kCodec = flutter::StandardMethodCodec::GetInstance();

Bytes Call(const char* method, const EncodableValue& arguments = EncodableValue()) {
  return *kCodec.EncodeMethodCall(
      flutter::MethodCall<EncodableValue>(method, std::make_unique<EncodableValue>(arguments)));
}

Bytes Success(const EncodableValue& value) { return *kCodec.EncodeSuccessEnvelope(&value); }

// From the interface side; StandInWaitForReply dispatches this thread's messages meanwhile.
Bytes Send(const Bytes& bytes) {
  const uint64_t id = StandInSend(kDevice, bytes.data(), bytes.size());
  EXPECT_EQ(StandInWaitForReply(id, 15000), 1) << "no answer";
  EXPECT_EQ(StandInMessageState(id), kStandInAnswered);
  return StandInReply(id);
}

TEST(DeviceChannel, AnswersTheStoredIdentifierOrBrakId) {
  StandInReset();
  const EngineProject project(L"data");
  flutter::FlutterEngine engine(project);
  RegisterDeviceChannel(&engine);
  const Bytes brakId =
      *kCodec.EncodeErrorEnvelope("brak_id", "Nie odczytano MachineGuid z rejestru");
  const std::wstring sevens(128, L'7');
  const std::tuple<DWORD, std::wstring, DWORD, Bytes> cases[] = {
      {REG_SZ, L"6f1ed2c4-0b3e-4c5a-9d2f-8e7b6a5c4d3e", 74,
       Success("6f1ed2c4-0b3e-4c5a-9d2f-8e7b6a5c4d3e")},
      {REG_EXPAND_SZ, L"6f1ed2c4", 18, brakId},
      {REG_SZ, L"", 2, brakId},
      {REG_NONE, L"", 0, brakId},
      {REG_SZ, sevens.substr(0, 127), 256, brakId},
      // A NUL right after the data would count as stored (as on Windows): none follows here.
      {REG_SZ, sevens, 254, Success(std::string(127, '7'))},
      {REG_SZ, L"\u017c\u00f3\u0142\u0107", 10, Success("\xc5\xbc\xc3\xb3\xc5\x82\xc4\x87")},
  };
  const test_support::OwnMachineKey machine;
  for (const auto& [type, value, bytes, answer] : cases) {
    test_support::OwnMachineKey::StoreGuid(type, value.c_str(), bytes);
    for (const EncodableValue& arguments :
         {EncodableValue(), EncodableValue(flutter::EncodableMap{{"a", 1}}), EncodableValue("x")})
      EXPECT_EQ(Send(Call("id", arguments)), answer) << type << " " << bytes;
    EXPECT_EQ(Send(Call("ID")), Bytes{});
  }
  EXPECT_EQ(StandInContractErrors(), std::vector<std::string>{});
}

}  // namespace
