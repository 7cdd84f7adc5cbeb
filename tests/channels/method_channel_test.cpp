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

// The channel over a messenger that keeps its handler and records its answers as hex ("<null>"
// for none).
class MethodChannelTest : public ::testing::Test, public flutter::BinaryMessenger {
 protected:
  void Send(const std::string&, const uint8_t*, size_t, flutter::BinaryReply) const override {}
  void SetMessageHandler(const std::string& channel,
                         flutter::BinaryMessageHandler handler) override {
    EXPECT_EQ(channel, kChannel);
    handler_ = std::move(handler);
  }
  // Runs the handler, whose exceptions must never reach the messenger; false when none is set.
  bool Deliver(const std::vector<uint8_t>& message) {
    if (!handler_) return false;
    EXPECT_NO_THROW(
        handler_(message.data(), message.size(), [this](const uint8_t* reply, size_t n) {
          replies_.push_back(reply == nullptr ? "<null>" : ToHex({reply, reply + n}));
        }));
    return true;
  }

  flutter::BinaryMessageHandler handler_;
  Lines replies_;
  flutter::MethodChannel<EncodableValue> channel_{this, kChannel,
                                                  &StandardMethodCodec::GetInstance()};
};

// Every kind of answer in order, then a second answer, a dropped result and undecodable calls,
// the empty message among them; an empty handler removes the channel's handler.
TEST_F(MethodChannelTest, AnswersOnceAsEnvelopesAndEmptyForUnknownOrUndecodable) {
  std::vector<std::string> handled;
  channel_.SetMethodCallHandler([&](const MethodCall<EncodableValue>& call, Result result) {
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
  ASSERT_TRUE(Deliver(CallBytes("stan", EncodableMap{{"k", 1}})));
  for (const char* name : {"ok", "fail", "details", "twice", "dropped"}) Deliver(CallBytes(name));
  EXPECT_EQ(errors.Take(), (Lines{kDuplicate, kUnanswered}));
  Deliver(Hex("03 01 00 00 00 00"));
  EXPECT_EQ(errors.Take(), (Lines{kNameNotString, kUnconstructable}));
  Deliver({});
  EXPECT_EQ(errors.Take(), (Lines{kInvalidRead, kNameNotString, kUnconstructable}));
  EXPECT_EQ(handled, (Lines{"stan", "ok", "fail", "details", "twice", "dropped"}));
  EXPECT_EQ(replies_, (Lines{"00 00", "00 07 03 74 61 6b", "01 07 05 65 72 72 6f 72 00 00",
                             "01 07 01 65 07 01 6d 01", "<null>", "<null>", "<null>"}));
  channel_.SetMethodCallHandler(nullptr);
  EXPECT_FALSE(Deliver(CallBytes("x")));
}

// Mend: a throwing handler never lets the exception out of the messenger's callback, and the
// caller still gets an answer: an error envelope unless the handler answered or kept its result.
TEST_F(MethodChannelTest, ThrowingHandlersAreReportedAndTheCallerAnswered) {
  const std::string prefix = "Exception in method call handler on channel lumerovantix/test: ";
  StderrCapture errors;
  channel_.SetMethodCallHandler(
      [](const MethodCall<EncodableValue>&, Result) { throw std::runtime_error("boom"); });
  Deliver(CallBytes("x"));
  EXPECT_EQ(errors.Take(), (Lines{kUnanswered, prefix + "boom"}));
  channel_.SetMethodCallHandler([](const MethodCall<EncodableValue>&, Result result) {
    result->Success();
    throw 42;
  });
  Deliver(CallBytes("x"));
  EXPECT_EQ(errors.Take(), Lines{prefix + "unknown exception"});
  Result kept;
  channel_.SetMethodCallHandler([&](const MethodCall<EncodableValue>&, Result result) {
    kept = std::move(result);
    throw std::logic_error("later");
  });
  Deliver(CallBytes("x"));
  EXPECT_EQ(errors.Take(), Lines{prefix + "later"});
  EXPECT_EQ(replies_.size(), 2u);  // The kept result has not answered yet.
  ASSERT_NE(kept, nullptr);
  kept->Success();
  EXPECT_EQ(replies_,  // the error envelope: "exception", "boom", no details
            (Lines{"01 07 09 65 78 63 65 70 74 69 6f 6e 07 04 62 6f 6f 6d 00", "00 00", "00 00"}));
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
