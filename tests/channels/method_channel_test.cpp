#include <gtest/gtest.h>

#include <memory>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "channel_test_support.h"
#include "channels/method_channel.h"
#include "channels/reply_guard.h"
#include "channels/standard_method_codec.h"
#include "fake_binary_messenger.h"
#include "recording_results.h"

namespace {

using channel_test::FakeBinaryMessenger;
using channel_test::Hex;
using channel_test::kInvalidRead;
using channel_test::RecordingSink;
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

std::vector<uint8_t> CallBytes(const std::string& name) {
  return *StandardMethodCodec::GetInstance().EncodeMethodCall(
      MethodCall<EncodableValue>(name, nullptr));
}

class MethodChannelTest : public ::testing::Test {
 protected:
  void Install(flutter::MethodCallHandler<EncodableValue> handler) {
    channel_.SetMethodCallHandler(std::move(handler));
  }
  std::vector<std::string> ReplyHex() const {
    std::vector<std::string> hex;
    for (const auto& reply : messenger_.replies()) {
      hex.push_back(reply.null_data ? "<null>" : ToHex(reply.bytes));
    }
    return hex;
  }

  FakeBinaryMessenger messenger_;
  MethodChannel<EncodableValue> channel_{&messenger_, kChannel,
                                         &StandardMethodCodec::GetInstance()};
};

TEST_F(MethodChannelTest, HandlerGetsTheDecodedCall) {
  std::string seen;
  Install([&](const MethodCall<EncodableValue>& call, Result result) {
    seen = call.method_name() + " " + channel_test::Describe(*call.arguments());
    result->Success();
  });
  auto arguments = std::make_unique<EncodableValue>(EncodableMap{{"k", 1}});
  ASSERT_TRUE(
      messenger_.Deliver(kChannel, *StandardMethodCodec::GetInstance().EncodeMethodCall(
                                       MethodCall<EncodableValue>("stan", std::move(arguments)))));
  EXPECT_EQ(seen, "stan {\"k\": 1}");
  EXPECT_EQ(ReplyHex(), Lines{"00 00"});
}

TEST_F(MethodChannelTest, AnswersAreEnvelopes) {
  Install([](const MethodCall<EncodableValue>& call, Result result) {
    if (call.method_name() == "ok") result->Success(EncodableValue("tak"));
    if (call.method_name() == "fail") result->Error("error");
    if (call.method_name() == "details") result->Error("e", "m", EncodableValue(true));
    if (call.method_name() == "unknown") result->NotImplemented();
  });
  StderrCapture errors;
  for (const char* name : {"ok", "fail", "details", "unknown"})
    messenger_.Deliver(kChannel, CallBytes(name));
  EXPECT_EQ(ReplyHex(), (Lines{"00 07 03 74 61 6b", "01 07 05 65 72 72 6f 72 00 00",
                               "01 07 01 65 07 01 6d 01", "<null>"}));
  EXPECT_EQ(errors.Text(), "");
}

TEST_F(MethodChannelTest, UndecodableCallAnswersEmpty) {
  bool handler_ran = false;
  Install([&](const MethodCall<EncodableValue>&, Result) { handler_ran = true; });
  StderrCapture errors;
  messenger_.Deliver(kChannel, {});
  EXPECT_EQ(errors.Lines(),
            (Lines{kInvalidRead, "Invalid method call; method name is not a string.",
                   "Unable to construct method call from message on channel "
                   "lumerovantix/test"}));
  errors.Clear();
  messenger_.Deliver(kChannel, Hex("03 01 00 00 00 00"));
  EXPECT_EQ(errors.Lines(), (Lines{"Invalid method call; method name is not a string.",
                                   "Unable to construct method call from message on channel "
                                   "lumerovantix/test"}));
  EXPECT_FALSE(handler_ran);
  EXPECT_EQ(ReplyHex(), (Lines{"<null>", "<null>"}));
}

TEST_F(MethodChannelTest, SecondAnswerIsRefused) {
  Install([](const MethodCall<EncodableValue>&, Result result) {
    result->NotImplemented();
    result->Success();
  });
  StderrCapture errors;
  messenger_.Deliver(kChannel, CallBytes("x"));
  EXPECT_EQ(ReplyHex(), Lines{"<null>"});
  EXPECT_EQ(errors.Lines(), Lines{kDuplicate});
}

TEST_F(MethodChannelTest, DroppedResultWarnsAndSendsNothing) {
  Install([](const MethodCall<EncodableValue>&, Result) {});
  StderrCapture errors;
  messenger_.Deliver(kChannel, CallBytes("x"));
  EXPECT_EQ(ReplyHex(), Lines{});
  EXPECT_EQ(errors.Lines(), Lines{kUnanswered});
}

TEST_F(MethodChannelTest, KeptResultAnswersLaterFromAnotherThread) {
  Result kept;
  Install([&](const MethodCall<EncodableValue>&, Result result) { kept = std::move(result); });
  StderrCapture errors;
  messenger_.Deliver(kChannel, CallBytes("x"));
  EXPECT_EQ(ReplyHex(), Lines{});
  std::thread answering([&] {
    kept->Success(EncodableValue(1));
    kept.reset();
  });
  answering.join();
  EXPECT_EQ(ReplyHex(), Lines{"00 03 01 00 00 00"});
  EXPECT_EQ(errors.Text(), "");
}

TEST_F(MethodChannelTest, EmptyHandlerRemovesTheChannelsHandler) {
  int calls = 0;
  Install([&](const MethodCall<EncodableValue>&, Result result) {
    ++calls;
    result->Success();
  });
  ASSERT_TRUE(messenger_.Deliver(kChannel, CallBytes("x")));
  channel_.SetMethodCallHandler(nullptr);
  EXPECT_FALSE(messenger_.HasHandler(kChannel));
  EXPECT_FALSE(messenger_.Deliver(kChannel, CallBytes("x")));
  EXPECT_EQ(calls, 1);
}

TEST_F(MethodChannelTest, LaterHandlerReplacesEarlierOne) {
  std::vector<int> ran;
  Install([&](const MethodCall<EncodableValue>&, Result result) {
    ran.push_back(1);
    result->Success();
  });
  Install([&](const MethodCall<EncodableValue>&, Result result) {
    ran.push_back(2);
    result->Success();
  });
  messenger_.Deliver(kChannel, CallBytes("x"));
  EXPECT_EQ(ran, std::vector<int>{2});
}

// A throwing handler never lets the exception out of the messenger's callback, and the caller
// still gets an answer.
TEST_F(MethodChannelTest, ThrowingHandlerThatDroppedItsResultIsAnsweredWithAnError) {
  Install([](const MethodCall<EncodableValue>&, Result) { throw std::runtime_error("boom"); });
  StderrCapture errors;
  EXPECT_NO_THROW(messenger_.Deliver(kChannel, CallBytes("x")));
  EXPECT_EQ(
      errors.Lines(),
      (Lines{kUnanswered, "Exception in method call handler on channel lumerovantix/test: boom"}));
  EXPECT_EQ(
      ReplyHex(),
      Lines{ToHex(*StandardMethodCodec::GetInstance().EncodeErrorEnvelope("exception", "boom"))});
}

TEST_F(MethodChannelTest, ThrowingHandlerThatAnsweredKeepsItsAnswer) {
  Install([](const MethodCall<EncodableValue>&, Result result) {
    result->Success();
    throw 42;
  });
  StderrCapture errors;
  EXPECT_NO_THROW(messenger_.Deliver(kChannel, CallBytes("x")));
  EXPECT_EQ(
      errors.Lines(),
      Lines{"Exception in method call handler on channel lumerovantix/test: unknown exception"});
  EXPECT_EQ(ReplyHex(), Lines{"00 00"});
}

TEST_F(MethodChannelTest, ThrowingHandlerThatKeptItsResultLeavesTheAnswerToIt) {
  Result kept;
  Install([&](const MethodCall<EncodableValue>&, Result result) {
    kept = std::move(result);
    throw std::logic_error("later");
  });
  StderrCapture errors;
  EXPECT_NO_THROW(messenger_.Deliver(kChannel, CallBytes("x")));
  EXPECT_EQ(ReplyHex(), Lines{});
  kept->Success();
  EXPECT_EQ(ReplyHex(), Lines{"00 00"});
  EXPECT_EQ(errors.Lines(),
            Lines{"Exception in method call handler on channel lumerovantix/test: later"});
}

struct GuardReplies {
  std::vector<std::string> sent;
  flutter::BinaryReply Reply() {
    return [this](const uint8_t* data, size_t size) {
      sent.push_back(data == nullptr ? "<null> " + std::to_string(size)
                                     : ToHex(std::vector<uint8_t>(data, data + size)));
    };
  }
};

TEST(ReplyGuard, NullAndEmptyVectorBothSendNothing) {
  GuardReplies replies;
  const std::vector<uint8_t> empty;
  const std::vector<uint8_t> bytes{1, 2};
  {
    flutter::ReplyGuard null_guard(replies.Reply());
    null_guard.SendReply(nullptr);
    flutter::ReplyGuard empty_guard(replies.Reply());
    empty_guard.SendReply(&empty);
    flutter::ReplyGuard bytes_guard(replies.Reply());
    bytes_guard.SendReply(&bytes);
  }
  EXPECT_EQ(replies.sent, (Lines{"<null> 0", "<null> 0", "01 02"}));
}

TEST(ReplyGuard, AnswersOnceAndReportsTheRest) {
  GuardReplies replies;
  StderrCapture errors;
  {
    flutter::ReplyGuard guard(replies.Reply());
    guard.SendReply(nullptr);
    guard.SendReply(nullptr);
  }
  EXPECT_EQ(replies.sent, Lines{"<null> 0"});
  EXPECT_EQ(errors.Lines(), Lines{kDuplicate});
  errors.Clear();
  { flutter::ReplyGuard unused(replies.Reply()); }
  EXPECT_EQ(replies.sent.size(), 1u);
  EXPECT_EQ(errors.Lines(), Lines{kUnanswered});
}

TEST(EventSinkOperations, ForwardToTheirSlots) {
  RecordingSink sink;
  sink.Success(EncodableValue(1));
  sink.Success();
  sink.Error("code");
  sink.Error("code", "message", EncodableValue("details"));
  sink.EndOfStream();
  EXPECT_EQ(sink.events, (Lines{"success 1", "success", "error code|",
                                "error code|message|\"details\"", "end"}));
}

}  // namespace
