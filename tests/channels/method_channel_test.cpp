#include <gtest/gtest.h>

#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "channel_test_support.h"
#include "channels/method_channel.h"
#include "channels/reply_guard.h"
#include "channels/standard_method_codec.h"

namespace {

using channel_test::FakeBinaryMessenger;
using channel_test::Hex;
using channel_test::kInvalidRead;
using channel_test::StderrCapture;
using channel_test::ToHex;
using flutter::EncodableMap;
using flutter::EncodableValue;
using flutter::MethodCall;
using flutter::MethodChannel;
using flutter::MethodResult;
using flutter::StandardMethodCodec;
using Lines = std::vector<std::string>;
using Result = std::unique_ptr<MethodResult<EncodableValue>>;

constexpr char kChannel[] = "lumerovantix/test";
constexpr char kDuplicate[] =
    "Error: Only one of Success, Error, or NotImplemented can be called, and it can be called "
    "exactly once. Ignoring duplicate result.";
constexpr char kUnanswered[] = "Warning: Failed to respond to a message. This is a memory leak.";
constexpr char kUnconstructable[] =
    "Unable to construct method call from message on channel lumerovantix/test";

std::vector<uint8_t> CallBytes(const std::string& name,
                               std::unique_ptr<EncodableValue> arguments = nullptr) {
  return *StandardMethodCodec::GetInstance().EncodeMethodCall(
      MethodCall<EncodableValue>(name, std::move(arguments)));
}

class MethodChannelTest : public ::testing::Test {
 protected:
  void Install(flutter::MethodCallHandler<EncodableValue> handler) {
    channel_.SetMethodCallHandler(std::move(handler));
  }
  // Delivers one call named "x"; the handler's exceptions must never reach the messenger.
  void DeliverX() { EXPECT_NO_THROW(messenger_.Deliver(kChannel, CallBytes("x"))); }

  FakeBinaryMessenger messenger_;
  MethodChannel<EncodableValue> channel_{&messenger_, kChannel,
                                         &StandardMethodCodec::GetInstance()};
};

TEST_F(MethodChannelTest, DecodedCallsAndTheirEnvelopes) {
  Install([](const MethodCall<EncodableValue>& call, Result result) {
    const std::string& name = call.method_name();
    if (name == "stan") {
      EXPECT_EQ(*call.arguments(), EncodableValue(EncodableMap{{"k", 1}}));
      result->Success();
    }
    if (name == "ok") result->Success(EncodableValue("tak"));
    if (name == "fail") result->Error("error");
    if (name == "details") result->Error("e", "m", EncodableValue(true));
    if (name == "unknown") result->NotImplemented();
  });
  StderrCapture errors;
  ASSERT_TRUE(messenger_.Deliver(
      kChannel, CallBytes("stan", std::make_unique<EncodableValue>(EncodableMap{{"k", 1}}))));
  for (const char* name : {"ok", "fail", "details", "unknown"})
    messenger_.Deliver(kChannel, CallBytes(name));
  EXPECT_EQ(messenger_.replies(),
            (Lines{"00 00", "00 07 03 74 61 6b", "01 07 05 65 72 72 6f 72 00 00",
                   "01 07 01 65 07 01 6d 01", "<null>"}));
  EXPECT_EQ(errors.Text(), "");
}

TEST_F(MethodChannelTest, UndecodableCallAnswersEmpty) {
  bool handler_ran = false;
  Install([&](const MethodCall<EncodableValue>&, Result) { handler_ran = true; });
  StderrCapture errors;
  messenger_.Deliver(kChannel, {});
  messenger_.Deliver(kChannel, Hex("03 01 00 00 00 00"));
  EXPECT_EQ(
      errors.Lines(),
      (Lines{kInvalidRead, "Invalid method call; method name is not a string.", kUnconstructable,
             "Invalid method call; method name is not a string.", kUnconstructable}));
  EXPECT_FALSE(handler_ran);
  EXPECT_EQ(messenger_.replies(), (Lines{"<null>", "<null>"}));
}

TEST_F(MethodChannelTest, SecondAnswerIsRefusedAndAMissingOneWarned) {
  Install([](const MethodCall<EncodableValue>& call, Result result) {
    if (call.method_name() == "twice") {
      result->NotImplemented();
      result->Success();
    }
  });
  StderrCapture errors;
  messenger_.Deliver(kChannel, CallBytes("twice"));
  messenger_.Deliver(kChannel, CallBytes("dropped"));
  EXPECT_EQ(messenger_.replies(), Lines{"<null>"});
  EXPECT_EQ(errors.Lines(), (Lines{kDuplicate, kUnanswered}));
}

TEST_F(MethodChannelTest, EmptyHandlerRemovesTheChannelsHandler) {
  int calls = 0;
  Install([&](const MethodCall<EncodableValue>&, Result result) {
    ++calls;
    result->Success();
  });
  ASSERT_TRUE(messenger_.Deliver(kChannel, CallBytes("x")));
  channel_.SetMethodCallHandler(nullptr);
  EXPECT_FALSE(messenger_.Deliver(kChannel, CallBytes("x")));
  EXPECT_EQ(calls, 1);
}

// Mend: a throwing handler never lets the exception out of the messenger's callback, and the
// caller still gets an answer: an error envelope unless the handler answered or kept its result.
TEST_F(MethodChannelTest, ThrowingHandlersAreReportedAndTheCallerAnswered) {
  const std::string prefix = "Exception in method call handler on channel lumerovantix/test: ";
  StderrCapture errors;
  Install([](const MethodCall<EncodableValue>&, Result) { throw std::runtime_error("boom"); });
  DeliverX();
  EXPECT_EQ(errors.Lines(), (Lines{kUnanswered, prefix + "boom"}));
  Install([](const MethodCall<EncodableValue>&, Result result) {
    result->Success();
    throw 42;
  });
  errors.Clear();
  DeliverX();
  EXPECT_EQ(errors.Lines(), Lines{prefix + "unknown exception"});
  Result kept;
  Install([&](const MethodCall<EncodableValue>&, Result result) {
    kept = std::move(result);
    throw std::logic_error("later");
  });
  errors.Clear();
  DeliverX();
  EXPECT_EQ(errors.Lines(), Lines{prefix + "later"});
  EXPECT_EQ(messenger_.replies().size(), 2u);  // The kept result has not answered yet.
  kept->Success();
  const std::string error_envelope =
      ToHex(*StandardMethodCodec::GetInstance().EncodeErrorEnvelope("exception", "boom"));
  EXPECT_EQ(messenger_.replies(), (Lines{error_envelope, "00 00", "00 00"}));
}

TEST(ReplyGuard, NullAndEmptyBothSendNothingAndOnlyTheFirstAnswerCounts) {
  Lines sent;
  auto reply = [&sent](const uint8_t* data, size_t size) {
    sent.push_back(data == nullptr ? "<null> " + std::to_string(size) : ToHex({data, data + size}));
  };
  const std::vector<uint8_t> empty;
  const std::vector<uint8_t> bytes{1, 2};
  StderrCapture errors;
  {
    flutter::ReplyGuard null_guard(reply);
    null_guard.SendReply(nullptr);
    null_guard.SendReply(nullptr);
    flutter::ReplyGuard empty_guard(reply);
    empty_guard.SendReply(&empty);
    flutter::ReplyGuard bytes_guard(reply);
    bytes_guard.SendReply(&bytes);
  }
  EXPECT_EQ(sent, (Lines{"<null> 0", "<null> 0", "01 02"}));
  EXPECT_EQ(errors.Lines(), Lines{kDuplicate});
  errors.Clear();
  { flutter::ReplyGuard unused(reply); }
  EXPECT_EQ(sent.size(), 3u);
  EXPECT_EQ(errors.Lines(), Lines{kUnanswered});
}

}  // namespace
