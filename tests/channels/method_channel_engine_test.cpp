// MethodChannel over the real messenger and the stand-in engine (Windows, under Wine): what the
// interface side actually receives.

#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "channels/binary_messenger_impl.h"
#include "channels/encodable_value.h"
#include "channels/method_channel.h"
#include "channels/standard_method_codec.h"
#include "tests/channels/descriptor_stderr_capture.h"
#include "tools/stand_in_engine/stand_in_api.h"

namespace flutter {
namespace {

constexpr unsigned kDeadlineMs = 5000;
constexpr char kChannel[] = "lumerovantix/test";
constexpr char kDuplicate[] =
    "Error: Only one of Success, Error, or NotImplemented can be called, and it can be called "
    "exactly once. Ignoring duplicate result.\n";
constexpr char kUnanswered[] = "Warning: Failed to respond to a message. This is a memory leak.\n";

using Result = std::unique_ptr<MethodResult<EncodableValue>>;

class MethodChannelEngineTest : public ::testing::Test {
 protected:
  void SetUp() override {
    StandInReset();
    FlutterDesktopEngineProperties properties = {};
    properties.dart_entrypoint = "";
    engine = FlutterDesktopEngineCreate(&properties);
    ASSERT_NE(engine, nullptr);
    messenger = std::make_unique<BinaryMessengerImpl>(FlutterDesktopEngineGetMessenger(engine));
    channel = std::make_unique<MethodChannel<EncodableValue>>(messenger.get(), kChannel,
                                                              &StandardMethodCodec::GetInstance());
  }

  void TearDown() override {
    if (engine != nullptr) {
      FlutterDesktopEngineDestroy(engine);
    }
    channel.reset();
    messenger.reset();
  }

  static std::vector<uint8_t> Call(const std::string& method,
                                   std::unique_ptr<EncodableValue> arguments = nullptr) {
    return *StandardMethodCodec::GetInstance().EncodeMethodCall(
        MethodCall<EncodableValue>(method, std::move(arguments)));
  }

  // Sends from the interface side; waits until the host answered (or the deadline passed).
  static uint64_t Deliver(const std::vector<uint8_t>& bytes) {
    const uint64_t id = StandInSend(kChannel, bytes);
    EXPECT_EQ(StandInWaitForReply(id, kDeadlineMs), 1);
    return id;
  }

  // Sends and waits until the host's handler has run, answered or not.
  static uint64_t DeliverOnly(const std::vector<uint8_t>& bytes) {
    const uint64_t id = StandInSend(kChannel, bytes);
    for (int i = 0; i < 500 && StandInMessageState(id) == kStandInQueued; ++i) {
      StandInPump(10);
    }
    return id;
  }

  FlutterDesktopEngineRef engine = nullptr;
  std::unique_ptr<BinaryMessengerImpl> messenger;
  std::unique_ptr<MethodChannel<EncodableValue>> channel;
};

TEST_F(MethodChannelEngineTest, DecodedCallReachesTheHandlerAndItsAnswerTheInterface) {
  std::string seenMethod;
  EncodableValue seenArguments;
  channel->SetMethodCallHandler([&](const MethodCall<EncodableValue>& call, Result result) {
    seenMethod = call.method_name();
    seenArguments = *call.arguments();
    result->Success(EncodableValue(EncodableMap{{EncodableValue("typ"), EncodableValue("stan")}}));
  });
  const uint64_t id = Deliver(Call("stan", std::make_unique<EncodableValue>(int32_t{5})));
  EXPECT_EQ(seenMethod, "stan");
  EXPECT_EQ(seenArguments, EncodableValue(int32_t{5}));
  EXPECT_EQ(StandInReply(id), (std::vector<uint8_t>{0x00, 0x0d, 0x01, 0x07, 0x03, 't', 'y', 'p',
                                                    0x07, 0x04, 's', 't', 'a', 'n'}));
}

TEST_F(MethodChannelEngineTest, UndecodableCallIsAnsweredEmptyWithoutTheHandler) {
  bool called = false;
  channel->SetMethodCallHandler([&](const MethodCall<EncodableValue>&, Result result) {
    called = true;
    result->Success();
  });
  DescriptorStderrCapture capture;
  const uint64_t id = Deliver({0x03, 0x01, 0x00, 0x00, 0x00, 0x00});
  EXPECT_EQ(capture.Take(),
            "Invalid method call; method name is not a string.\n"
            "Unable to construct method call from message on channel lumerovantix/test\n");
  EXPECT_FALSE(called);
  EXPECT_EQ(StandInMessageState(id), kStandInAnswered);
  EXPECT_TRUE(StandInReply(id).empty());
}

TEST_F(MethodChannelEngineTest, NotImplementedThenSuccessSendsOneEmptyAnswer) {
  channel->SetMethodCallHandler([](const MethodCall<EncodableValue>&, Result result) {
    result->NotImplemented();
    result->Success(EncodableValue(true));
  });
  DescriptorStderrCapture capture;
  const uint64_t id = Deliver(Call("unknown"));
  EXPECT_EQ(capture.Take(), kDuplicate);
  EXPECT_TRUE(StandInReply(id).empty());
  EXPECT_EQ(StandInCallCount("FlutterDesktopMessengerSendResponse"), 1);
  EXPECT_EQ(StandInResponseErrorCount(), 0);
}

TEST_F(MethodChannelEngineTest, UnansweredResultIsReportedAndTheCallerGetsNothing) {
  channel->SetMethodCallHandler([](const MethodCall<EncodableValue>&, Result) {});
  DescriptorStderrCapture capture;
  const uint64_t id = DeliverOnly(Call("forgotten"));
  EXPECT_EQ(capture.Take(), kUnanswered);
  EXPECT_EQ(StandInMessageState(id), kStandInDelivered);
  EXPECT_EQ(StandInCallCount("FlutterDesktopMessengerSendResponse"), 0);
}

TEST_F(MethodChannelEngineTest, ResultAnsweredAfterEngineTeardownIsDroppedSilently) {
  Result kept;
  channel->SetMethodCallHandler(
      [&](const MethodCall<EncodableValue>&, Result result) { kept = std::move(result); });
  DeliverOnly(Call("late"));
  ASSERT_TRUE(kept);
  FlutterDesktopEngineDestroy(engine);
  engine = nullptr;
  DescriptorStderrCapture capture;
  kept->Success();
  kept.reset();
  EXPECT_EQ(capture.Take(), "");
  EXPECT_EQ(StandInResponseErrorCount(), 0);
  EXPECT_EQ(StandInLiveMessengerCount(), 0u);
}

}  // namespace
}  // namespace flutter
