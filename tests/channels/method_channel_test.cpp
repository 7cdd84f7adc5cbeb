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

using namespace channel_test;
using flutter::EncodableMap;
using flutter::EncodableValue;
using flutter::MethodCall;
using flutter::StandardMethodCodec;
using Result = std::unique_ptr<flutter::MethodResult<EncodableValue>>;

constexpr char kChannel[] = "lumerovantix/test";
constexpr char kDuplicate[] =
    "Error: Only one of Success, Error, or NotImplemented can be called, and it can be called "
    "exactly once. Ignoring duplicate result.";
constexpr char kUnanswered[] = "Warning: Failed to respond to a message. This is a memory leak.";
constexpr char kUnconstructable[] =
    "Unable to construct method call from message on channel lumerovantix/test";

std::vector<uint8_t> CallBytes(const std::string& name, const EncodableValue& arguments = {}) {
  return *StandardMethodCodec::GetInstance().EncodeMethodCall(
      MethodCall<EncodableValue>(name, std::make_unique<EncodableValue>(arguments)));
}

// Keeps the channel's handler and records its answers as hex ("<null>" for none).
struct FakeBinaryMessenger : flutter::BinaryMessenger {
  void Send(const std::string&, const uint8_t*, size_t, flutter::BinaryReply) const override {}
  void SetMessageHandler(const std::string& channel,
                         flutter::BinaryMessageHandler handler) override {
    EXPECT_EQ(channel, kChannel);
    this->handler = std::move(handler);
  }
  // Runs the handler with message; false when none is installed.
  bool Deliver(const std::vector<uint8_t>& message) {
    if (!handler) return false;
    handler(message.data(), message.size(), [this](const uint8_t* reply, size_t size) {
      replies.push_back(reply == nullptr ? "<null>" : ToHex({reply, reply + size}));
    });
    return true;
  }

  flutter::BinaryMessageHandler handler;
  Lines replies;
};

class MethodChannelTest : public ::testing::Test {
 protected:
  void Install(flutter::MethodCallHandler<EncodableValue> handler) {
    channel_.SetMethodCallHandler(std::move(handler));
  }
  // Delivers one call named "x"; the handler's exceptions must never reach the messenger.
  void DeliverX() { EXPECT_NO_THROW(messenger_.Deliver(CallBytes("x"))); }

  FakeBinaryMessenger messenger_;
  flutter::MethodChannel<EncodableValue> channel_{&messenger_, kChannel,
                                                  &StandardMethodCodec::GetInstance()};
};

// Every kind of answer in order, then a second answer, a dropped result and undecodable calls;
// an empty handler removes the channel's handler.
TEST_F(MethodChannelTest, AnswersOnceAsEnvelopesAndEmptyForUnknownOrUndecodable) {
  std::vector<std::string> handled;
  Install([&](const MethodCall<EncodableValue>& call, Result result) {
    const std::string& name = call.method_name();
    handled.push_back(name);
    if (name == "stan") {
      EXPECT_EQ(*call.arguments(), EncodableValue(EncodableMap{{"k", 1}}));
      result->Success();
    }
    if (name == "ok") result->Success(EncodableValue("tak"));
    if (name == "fail") result->Error("error");
    if (name == "details") result->Error("e", "m", EncodableValue(true));
    if (name == "twice") {
      result->NotImplemented();
      result->Success();
    }
  });
  StderrCapture errors;
  ASSERT_TRUE(messenger_.Deliver(CallBytes("stan", EncodableMap{{"k", 1}})));
  for (const char* name : {"ok", "fail", "details", "twice", "dropped"})
    messenger_.Deliver(CallBytes(name));
  EXPECT_EQ(errors.Take(), (Lines{kDuplicate, kUnanswered}));
  messenger_.Deliver(Hex("03 01 00 00 00 00"));
  EXPECT_EQ(errors.Take(), (Lines{kNameNotString, kUnconstructable}));
  EXPECT_EQ(handled, (Lines{"stan", "ok", "fail", "details", "twice", "dropped"}));
  EXPECT_EQ(messenger_.replies,
            (Lines{"00 00", "00 07 03 74 61 6b", "01 07 05 65 72 72 6f 72 00 00",
                   "01 07 01 65 07 01 6d 01", "<null>", "<null>"}));
  channel_.SetMethodCallHandler(nullptr);
  EXPECT_FALSE(messenger_.Deliver(CallBytes("x")));
}

// Mend: a throwing handler never lets the exception out of the messenger's callback, and the
// caller still gets an answer: an error envelope unless the handler answered or kept its result.
TEST_F(MethodChannelTest, ThrowingHandlersAreReportedAndTheCallerAnswered) {
  const std::string prefix = "Exception in method call handler on channel lumerovantix/test: ";
  StderrCapture errors;
  Install([](const MethodCall<EncodableValue>&, Result) { throw std::runtime_error("boom"); });
  DeliverX();
  EXPECT_EQ(errors.Take(), (Lines{kUnanswered, prefix + "boom"}));
  Install([](const MethodCall<EncodableValue>&, Result result) {
    result->Success();
    throw 42;
  });
  DeliverX();
  EXPECT_EQ(errors.Take(), Lines{prefix + "unknown exception"});
  Result kept;
  Install([&](const MethodCall<EncodableValue>&, Result result) {
    kept = std::move(result);
    throw std::logic_error("later");
  });
  DeliverX();
  EXPECT_EQ(errors.Take(), Lines{prefix + "later"});
  EXPECT_EQ(messenger_.replies.size(), 2u);  // The kept result has not answered yet.
  ASSERT_NE(kept, nullptr);
  kept->Success();
  EXPECT_EQ(
      messenger_.replies,
      (Lines{ToHex(*StandardMethodCodec::GetInstance().EncodeErrorEnvelope("exception", "boom")),
             "00 00", "00 00"}));
}

// Null and an empty vector both send no bytes.
TEST(ReplyGuard, NullAndEmptyBothSendNothing) {
  Lines sent;
  auto reply = [&sent](const uint8_t* data, size_t size) {
    sent.push_back(data == nullptr ? "<null> " + std::to_string(size) : ToHex({data, data + size}));
  };
  const std::vector<uint8_t> empty, bytes{1, 2};
  flutter::ReplyGuard(reply).SendReply(nullptr);
  flutter::ReplyGuard(reply).SendReply(&empty);
  flutter::ReplyGuard(reply).SendReply(&bytes);
  EXPECT_EQ(sent, (Lines{"<null> 0", "<null> 0", "01 02"}));
}

}  // namespace
