// BinaryMessengerImpl against the stand-in engine (Windows, under Wine).

#include "channels/binary_messenger_impl.h"

#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <stdexcept>
#include <thread>
#include <vector>

#include "tests/channels/stand_in_test_support.h"

namespace flutter {
namespace {

using stand_in_test::DescriptorStderrCapture;
using stand_in_test::kDeadlineMs;
using Bytes = std::vector<uint8_t>;

const char kChannel[] = "test/channel";
const Bytes kMessage = {0x07, 0x01, 0x61, 0x00};
constexpr char kDuplicate[] =
    "Error: Response can be set only once. Ignoring duplicate response.\n";

class BinaryMessengerImplTest : public stand_in_test::EngineTest {
 protected:
  uint64_t Deliver() { return stand_in_test::Deliver(kChannel, kMessage); }
  uint64_t DeliverAndKeep() { return stand_in_test::DeliverAndKeep(kChannel, kMessage); }
  // Installs a handler that keeps its reply closure for the test to answer later.
  void KeepReplies(std::vector<BinaryReply>& kept, int copies = 1) {
    messenger->SetMessageHandler(kChannel,
                                 [&kept, copies](const uint8_t*, size_t, BinaryReply reply) {
                                   for (int i = 0; i < copies; ++i) kept.push_back(reply);
                                 });
  }
  // Answers the host's first message on channel from the interface side.
  static uint64_t AnswerHostMessage(const char* channel, const Bytes& bytes) {
    uint64_t id = 0;
    StandInCopyHostMessage(channel, 0, nullptr, 0, &id, nullptr);
    EXPECT_EQ(StandInReplyToHost(id, bytes.data(), bytes.size()), 1);
    return id;
  }
};

// Copies of one reply closure share the once rule, so the engine never sees a handle twice.
TEST_F(BinaryMessengerImplTest, CopiesOfOneReplyAnswerOnlyOnce) {
  std::vector<BinaryReply> copies;
  KeepReplies(copies, 2);
  const uint64_t id = DeliverAndKeep();
  ASSERT_EQ(copies.size(), 2u);
  DescriptorStderrCapture capture;
  const uint8_t first[] = {0x00, 0x01};
  const uint8_t again[] = {0x00, 0x02};
  copies[0](first, sizeof first);
  copies[1](again, sizeof again);
  EXPECT_EQ(capture.Take(), kDuplicate);
  EXPECT_EQ(StandInMessageState(id), kStandInAnswered);
  EXPECT_EQ(StandInReply(id), (Bytes{0x00, 0x01}));
  EXPECT_EQ(StandInCallCount("FlutterDesktopMessengerSendResponse"), 1);
  EXPECT_EQ(StandInResponseErrorCount(), 0);
}

TEST_F(BinaryMessengerImplTest, ReplyAfterEngineTeardownIsDroppedSilently) {
  std::vector<BinaryReply> kept;
  KeepReplies(kept);
  const uint64_t id = DeliverAndKeep();
  ASSERT_EQ(kept.size(), 1u);
  DestroyEngine();
  // The reply's reference keeps the messenger alive after the engine.
  EXPECT_EQ(StandInLiveMessengerCount(), 1u);

  DescriptorStderrCapture capture;
  const uint8_t late[] = {0x00, 0x00};
  kept[0](late, sizeof late);
  EXPECT_EQ(capture.Take(), "");
  EXPECT_EQ(StandInCallCount("FlutterDesktopMessengerSendResponse"), 0);
  EXPECT_EQ(StandInMessageState(id), kStandInDropped);
  EXPECT_EQ(StandInCallCount("FlutterDesktopMessengerLock"),
            StandInCallCount("FlutterDesktopMessengerUnlock"));

  kept.clear();
  EXPECT_EQ(StandInLiveMessengerCount(), 0u);
  EXPECT_EQ(StandInHandleErrorCount(), 0);
}

TEST_F(BinaryMessengerImplTest, ReplyMayComeFromAnotherThread) {
  std::vector<BinaryReply> kept;
  KeepReplies(kept);
  const uint64_t id = DeliverAndKeep();
  std::thread worker([&] {
    const uint8_t answer[] = {0x00, 0x01};
    kept.at(0)(answer, sizeof answer);
  });
  worker.join();
  EXPECT_EQ(StandInWaitForReply(id, kDeadlineMs), 1);
  EXPECT_EQ(StandInReply(id), (Bytes{0x00, 0x01}));
  EXPECT_EQ(StandInCallCount("FlutterDesktopMessengerLock"), 1);
  EXPECT_EQ(StandInCallCount("FlutterDesktopMessengerUnlock"), 1);
}

// Replies racing engine teardown either reach the engine before it goes or are dropped; none
// reaches it afterwards (the stand-in counts that as a response error).
TEST_F(BinaryMessengerImplTest, RepliesRacingTeardownNeverReachAGoneEngine) {
  std::vector<BinaryReply> kept;
  KeepReplies(kept);
  std::vector<uint64_t> ids;
  for (int i = 0; i < 200; ++i) ids.push_back(StandInSend(kChannel, kMessage));
  for (int i = 0; i < 500 && kept.size() < ids.size(); ++i) StandInPump(10);
  ASSERT_EQ(kept.size(), ids.size());
  std::atomic<bool> underway{false};
  std::thread worker([&] {
    const uint8_t answer[] = {0x00, 0x00};
    for (size_t i = 0; i < kept.size(); ++i) {
      kept[i](answer, sizeof answer);
      if (i >= 49) {
        underway = true;  // The rest race the teardown below, paced so that they overlap.
        Sleep(1);
      }
    }
  });
  while (!underway) std::this_thread::yield();
  DestroyEngine();
  worker.join();
  int answered = 0;
  for (const uint64_t id : ids) {
    const int state = StandInMessageState(id);
    EXPECT_TRUE(state == kStandInAnswered || state == kStandInDropped) << state;
    answered += state == kStandInAnswered ? 1 : 0;
  }
  EXPECT_GE(answered, 50);
  EXPECT_EQ(StandInResponseErrorCount(), 0);
  EXPECT_EQ(StandInCallCount("FlutterDesktopMessengerLock"),
            StandInCallCount("FlutterDesktopMessengerUnlock"));
  kept.clear();
  EXPECT_EQ(StandInLiveMessengerCount(), 0u);
}

TEST_F(BinaryMessengerImplTest, LaterHandlerReplacesAndEmptyHandlerRemoves) {
  std::vector<int> ran;
  for (int which : {1, 2}) {
    messenger->SetMessageHandler(kChannel,
                                 [&ran, which](const uint8_t*, size_t, BinaryReply reply) {
                                   ran.push_back(which);
                                   reply(nullptr, 0);
                                 });
  }
  Deliver();
  EXPECT_EQ(ran, std::vector<int>{2});
  messenger->SetMessageHandler(kChannel, nullptr);
  EXPECT_EQ(StandInHasHandler(kChannel), 0);
  EXPECT_EQ(StandInMessageState(Deliver()), kStandInUnhandled);
  EXPECT_EQ(ran, std::vector<int>{2});
  // Also for a channel that never had a handler.
  messenger->SetMessageHandler("test/never", nullptr);
  EXPECT_EQ(StandInClearCallbackCount("test/never"), 1);
}

// A handler may remove itself while it runs; what it captured stays alive until it returns.
TEST_F(BinaryMessengerImplTest, HandlerThatRemovesItselfKeepsItsStateWhileRunning) {
  auto token = std::make_shared<int>(7);
  std::weak_ptr<int> watch = token;
  bool aliveAfterRemoval = false;
  messenger->SetMessageHandler(kChannel, [this, token, &watch, &aliveAfterRemoval](
                                             const uint8_t*, size_t, BinaryReply reply) {
    messenger->SetMessageHandler(kChannel, nullptr);
    aliveAfterRemoval = !watch.expired() && *token == 7;
    reply(nullptr, 0);
  });
  token.reset();
  Deliver();
  EXPECT_TRUE(aliveAfterRemoval);
  EXPECT_TRUE(watch.expired());
}

TEST_F(BinaryMessengerImplTest, MessagesArriveOnTheUiThreadFromTheMessageLoop) {
  DWORD handlerThread = 0;
  messenger->SetMessageHandler(kChannel, [&](const uint8_t*, size_t, BinaryReply reply) {
    handlerThread = GetCurrentThreadId();
    reply(nullptr, 0);
  });
  uint64_t id = 0;
  std::thread sender([&] { id = StandInSend(kChannel, kMessage); });
  sender.join();
  // Nothing runs until this thread's loop dispatches.
  EXPECT_EQ(handlerThread, 0u);
  EXPECT_EQ(StandInMessageState(id), kStandInQueued);
  ASSERT_EQ(StandInWaitForReply(id, kDeadlineMs), 1);
  EXPECT_EQ(handlerThread, GetCurrentThreadId());
  EXPECT_EQ(StandInDeliveryThread(id), GetCurrentThreadId());
  EXPECT_EQ(StandInDeliveredFromMessageLoop(id), 1);
}

TEST_F(BinaryMessengerImplTest, SendWithoutReplyReachesTheInterfaceSide) {
  const uint8_t event[] = {0x00, 0x01};
  messenger->Send("test/events", event, sizeof event);
  ASSERT_EQ(StandInHostMessageCount("test/events"), 1u);
  int wantsReply = -1;
  EXPECT_EQ(StandInCopyHostMessage("test/events", 0, nullptr, 0, nullptr, &wantsReply), 2u);
  EXPECT_EQ(wantsReply, 0);
  EXPECT_EQ(StandInHostMessage("test/events", 0), (Bytes{0x00, 0x01}));
  EXPECT_EQ(StandInCallCount("FlutterDesktopMessengerSendWithReply"), 0);
}

TEST_F(BinaryMessengerImplTest, ReplyToASendRunsOnceFromTheLoopAndIsFreed) {
  auto sentinel = std::make_shared<int>(0);
  std::vector<Bytes> answers;
  DWORD replyThread = 0;
  messenger->Send("test/ask", kMessage.data(), kMessage.size(),
                  [sentinel, &answers, &replyThread](const uint8_t* bytes, size_t size) {
                    answers.emplace_back(bytes, bytes + size);
                    replyThread = GetCurrentThreadId();
                  });
  EXPECT_EQ(sentinel.use_count(), 2);  // The holder waits in the engine.
  const Bytes answer = {0x00, 0x03, 0x05, 0x00, 0x00, 0x00};
  const uint64_t id = AnswerHostMessage("test/ask", answer);
  EXPECT_TRUE(answers.empty());
  for (int i = 0; i < 100 && answers.empty(); ++i) StandInPump(20);
  EXPECT_EQ(answers, std::vector<Bytes>{answer});
  EXPECT_EQ(replyThread, GetCurrentThreadId());
  EXPECT_EQ(sentinel.use_count(), 1);
  EXPECT_EQ(StandInReplyToHost(id, answer.data(), answer.size()), 0);
}

TEST_F(BinaryMessengerImplTest, RefusedSendDiscardsTheReplyUncalled) {
  StandInSetRefuseSendWithReply(1);
  auto sentinel = std::make_shared<int>(0);
  bool called = false;
  messenger->Send("test/ask", kMessage.data(), kMessage.size(),
                  [sentinel, &called](const uint8_t*, size_t) { called = true; });
  EXPECT_EQ(sentinel.use_count(), 1);
  StandInPump(50);
  EXPECT_FALSE(called);
  EXPECT_EQ(StandInCallCount("FlutterDesktopMessengerSendWithReply"), 1);
  EXPECT_EQ(StandInHostMessageCount("test/ask"), 0u);
}

// Mend: nothing thrown by a handler unwinds into the engine: one line, and the message is
// answered (empty, unless the handler answered before throwing).
TEST_F(BinaryMessengerImplTest, HandlerExceptionIsReportedAndTheMessageAnswered) {
  messenger->SetMessageHandler(
      kChannel, [](const uint8_t*, size_t, BinaryReply) { throw std::runtime_error("boom"); });
  DescriptorStderrCapture capture;
  const uint64_t id = Deliver();
  EXPECT_EQ(capture.Take(), "Exception in message handler on channel test/channel: boom\n");
  EXPECT_EQ(StandInMessageState(id), kStandInAnswered);
  EXPECT_TRUE(StandInReply(id).empty());

  messenger->SetMessageHandler(kChannel, [](const uint8_t*, size_t, BinaryReply reply) {
    const uint8_t answer[] = {0x00, 0x01};
    reply(answer, sizeof answer);
    throw 7;
  });
  DescriptorStderrCapture second;
  const uint64_t answered = Deliver();
  EXPECT_EQ(second.Take(),
            "Exception in message handler on channel test/channel: unknown exception\n");
  EXPECT_EQ(StandInReply(answered), (Bytes{0x00, 0x01}));
  EXPECT_EQ(StandInCallCount("FlutterDesktopMessengerSendResponse"), 2);
  EXPECT_EQ(StandInResponseErrorCount(), 0);
}

TEST_F(BinaryMessengerImplTest, ReplyCallbackExceptionIsReportedAndTheHolderFreed) {
  auto sentinel = std::make_shared<int>(0);
  messenger->Send("test/ask", kMessage.data(), kMessage.size(),
                  [sentinel](const uint8_t*, size_t) { throw std::logic_error("bad answer"); });
  DescriptorStderrCapture capture;
  AnswerHostMessage("test/ask", {});
  for (int i = 0; i < 100 && sentinel.use_count() > 1; ++i) StandInPump(20);
  EXPECT_EQ(capture.Take(), "Exception in reply callback for channel test/ask: bad answer\n");
  EXPECT_EQ(sentinel.use_count(), 1);
}

}  // namespace
}  // namespace flutter
