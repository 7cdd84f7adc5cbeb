// MethodChannel over the real messenger and the stand-in engine (Windows, under Wine): what the
// interface side actually receives.

#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "channels/encodable_value.h"
#include "channels/method_channel.h"
#include "channels/standard_method_codec.h"
#include "tests/channels/stand_in_test_support.h"

namespace flutter {
namespace {

using stand_in_test::DescriptorStderrCapture;
using Result = std::unique_ptr<MethodResult<EncodableValue>>;

constexpr char kChannel[] = "lumerovantix/test";

class MethodChannelEngineTest : public stand_in_test::EngineTest {
 protected:
  void SetUp() override {
    EngineTest::SetUp();
    channel = std::make_unique<MethodChannel<EncodableValue>>(messenger.get(), kChannel,
                                                              &StandardMethodCodec::GetInstance());
  }
  void TearDown() override {
    DestroyEngine();
    channel.reset();
    EngineTest::TearDown();
  }

  static std::vector<uint8_t> Call(const std::string& method,
                                   std::unique_ptr<EncodableValue> arguments = nullptr) {
    return *StandardMethodCodec::GetInstance().EncodeMethodCall(
        MethodCall<EncodableValue>(method, std::move(arguments)));
  }

  std::unique_ptr<MethodChannel<EncodableValue>> channel;
};

TEST_F(MethodChannelEngineTest, DecodedCallReachesTheHandlerAndItsAnswerTheInterface) {
  channel->SetMethodCallHandler([&](const MethodCall<EncodableValue>& call, Result result) {
    EXPECT_EQ(call.method_name(), "stan");
    EXPECT_EQ(*call.arguments(), EncodableValue(int32_t{5}));
    result->Success(EncodableValue(EncodableMap{{EncodableValue("typ"), EncodableValue("stan")}}));
  });
  const uint64_t id =
      stand_in_test::Deliver(kChannel, Call("stan", std::make_unique<EncodableValue>(int32_t{5})));
  EXPECT_EQ(StandInReply(id), (std::vector<uint8_t>{0x00, 0x0d, 0x01, 0x07, 0x03, 't', 'y', 'p',
                                                    0x07, 0x04, 's', 't', 'a', 'n'}));
}

TEST_F(MethodChannelEngineTest, SecondAnswerAndMissingAnswerNeverReachTheEngine) {
  channel->SetMethodCallHandler([](const MethodCall<EncodableValue>& call, Result result) {
    if (call.method_name() == "unknown") {
      result->NotImplemented();
      result->Success(EncodableValue(true));
    }
  });
  DescriptorStderrCapture capture;
  const uint64_t twice = stand_in_test::Deliver(kChannel, Call("unknown"));
  const uint64_t forgotten = stand_in_test::DeliverAndKeep(kChannel, Call("forgotten"));
  EXPECT_EQ(capture.Take(),
            "Error: Only one of Success, Error, or NotImplemented can be called, and it can be "
            "called exactly once. Ignoring duplicate result.\n"
            "Warning: Failed to respond to a message. This is a memory leak.\n");
  EXPECT_TRUE(StandInReply(twice).empty());
  EXPECT_EQ(StandInMessageState(forgotten), kStandInDelivered);
  EXPECT_EQ(StandInCallCount("FlutterDesktopMessengerSendResponse"), 1);
  EXPECT_EQ(StandInResponseErrorCount(), 0);
}

TEST_F(MethodChannelEngineTest, ResultAnsweredAfterEngineTeardownIsDroppedSilently) {
  Result kept;
  channel->SetMethodCallHandler(
      [&](const MethodCall<EncodableValue>&, Result result) { kept = std::move(result); });
  stand_in_test::DeliverAndKeep(kChannel, Call("late"));
  ASSERT_TRUE(kept);
  DestroyEngine();
  DescriptorStderrCapture capture;
  kept->Success();
  kept.reset();
  EXPECT_EQ(capture.Take(), "");
  EXPECT_EQ(StandInResponseErrorCount(), 0);
  EXPECT_EQ(StandInLiveMessengerCount(), 0u);
}

}  // namespace
}  // namespace flutter
