// BinaryMessengerImpl against the stand-in engine (Windows, under Wine).

#include "channels/binary_messenger_impl.h"

#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <stdexcept>
#include <thread>
#include <vector>

#include "tests/channels/channel_test_support.h"
#include "tests/channels/stand_in_test_support.h"

namespace flutter {
namespace {

using channel_test::Lines;
using channel_test::StderrCapture;
using Bytes = std::vector<uint8_t>;

const char kChannel[] = "test/channel";
const Bytes kMessage = {0x07, 0x01, 0x61, 0x00};

class BinaryMessengerImplTest : public stand_in_test::EngineTest {
 protected:
  // Sends from the interface side; the message loop delivers it until the host answered.
  static uint64_t Deliver() {
    const uint64_t id = StandInSend(kChannel, kMessage);
    EXPECT_EQ(StandInWaitForReply(id, stand_in_test::kDeadlineMs), 1) << "no answer";
    return id;
  }
  // Sends and pumps until the host's callback ran, answered or not.
  static uint64_t DeliverAndKeep() {
    const uint64_t id = StandInSend(kChannel, kMessage);
    for (int i = 0; i < 500 && StandInMessageState(id) == kStandInQueued; ++i) StandInPump(10);
    EXPECT_NE(StandInMessageState(id), kStandInQueued);
    return id;
  }
  // Installs a handler that keeps copies of its reply closure for the test to answer later.
  void KeepReplies(std::vector<BinaryReply>& kept, int copies = 1) {
    messenger->SetMessageHandler(kChannel,
                                 [&kept, copies](const uint8_t*, size_t, BinaryReply reply) {
                                   for (int i = 0; i < copies; ++i) kept.push_back(reply);
                                 });
  }
};

// Copies of one reply closure share the once rule, so the engine never sees a handle twice; a
// reply after engine teardown is dropped silently, its reference keeping the messenger alive.
TEST_F(BinaryMessengerImplTest, ReplyClosureAnswersOnceAndNeverAfterTeardown) {
  std::vector<BinaryReply> copies;
  KeepReplies(copies, 2);
  const uint64_t id = DeliverAndKeep();
  const uint64_t late = DeliverAndKeep();
  ASSERT_EQ(copies.size(), 4u);
  StderrCapture capture;
  const uint8_t first[] = {0x00, 0x01}, again[] = {0x00, 0x02};
  copies[0](first, sizeof first);
  copies[1](again, sizeof again);
  DestroyEngine();
  EXPECT_EQ(StandInLiveMessengerCount(), 1u);
  copies[2](first, sizeof first);
  EXPECT_EQ(capture.Take(),
            (Lines{"Error: Response can be set only once. Ignoring duplicate response."}));
  EXPECT_EQ(StandInMessageState(id), kStandInAnswered);
  EXPECT_EQ(StandInReply(id), (Bytes{0x00, 0x01}));
  EXPECT_EQ(StandInMessageState(late), kStandInDropped);
  EXPECT_EQ(StandInCallCount("FlutterDesktopMessengerSendResponse"), 1);
  EXPECT_EQ(StandInCallCount("FlutterDesktopMessengerLock"),
            StandInCallCount("FlutterDesktopMessengerUnlock"));
  copies.clear();
  EXPECT_EQ(StandInLiveMessengerCount(), 0u);
}

// Replies from another thread racing engine teardown either reach the engine before it goes or
// are dropped; none reaches it afterwards (the stand-in counts that as a response error).
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
  for (size_t i = 0; i < ids.size(); ++i) {
    const int state = StandInMessageState(ids[i]);
    EXPECT_TRUE(state == kStandInAnswered || (i >= 50 && state == kStandInDropped)) << i;
  }
  EXPECT_EQ(StandInCallCount("FlutterDesktopMessengerLock"),
            StandInCallCount("FlutterDesktopMessengerUnlock"));
}

// A later handler replaces an earlier one; a handler may remove itself while it runs, what it
// captured staying alive until it returns; an empty handler removes, even one never set. Mend:
// nothing a handler throws unwinds into the engine: one line each, and the message is answered
// (empty, unless the handler answered before throwing).
TEST_F(BinaryMessengerImplTest, HandlersReplaceRemoveAndThrow) {
  StderrCapture capture;
  messenger->SetMessageHandler(
      kChannel, [](const uint8_t*, size_t, BinaryReply) { throw std::runtime_error("boom"); });
  const uint64_t unanswered = Deliver();
  messenger->SetMessageHandler(kChannel, [](const uint8_t*, size_t, BinaryReply reply) {
    const uint8_t answer[] = {0x00, 0x01};
    reply(answer, sizeof answer);
    throw 7;
  });
  const uint64_t answered = Deliver();
  EXPECT_EQ(capture.Take(),
            (Lines{"Exception in message handler on channel test/channel: boom",
                   "Exception in message handler on channel test/channel: unknown exception"}));
  EXPECT_TRUE(StandInReply(unanswered).empty());
  EXPECT_EQ(StandInReply(answered), (Bytes{0x00, 0x01}));
  auto token = std::make_shared<int>(2);
  std::weak_ptr<int> watch = token;
  int seen = 0;
  messenger->SetMessageHandler(
      kChannel, [this, token, &watch, &seen](const uint8_t*, size_t, BinaryReply reply) {
        messenger->SetMessageHandler(kChannel, nullptr);
        seen = watch.expired() ? -1 : *token;
        reply(nullptr, 0);
      });
  token.reset();
  Deliver();
  EXPECT_EQ(seen, 2);
  EXPECT_TRUE(watch.expired());
  EXPECT_EQ(StandInHasHandler(kChannel), 0);
  EXPECT_EQ(StandInMessageState(Deliver()), kStandInUnhandled);
  EXPECT_EQ(StandInCallCount("FlutterDesktopMessengerSendResponse"), 3);
  messenger->SetMessageHandler("test/never", nullptr);
  EXPECT_EQ(StandInClearCallbackCount("test/never"), 1);
}

// Without a reply: fire and forget. With one: called once from the loop, then freed, a throw from
// it reported and kept out of the engine. Refused by the engine: freed uncalled.
TEST_F(BinaryMessengerImplTest, SendsWithAndWithoutReply) {
  messenger->Send("test/events", kMessage.data(), kMessage.size());
  EXPECT_EQ(StandInHostMessage("test/events", 0), kMessage);

  auto sentinel = std::make_shared<int>(0);
  std::vector<Bytes> answers;
  DWORD reply_thread = 0;
  messenger->Send("test/ask", kMessage.data(), kMessage.size(),
                  [sentinel, &answers, &reply_thread](const uint8_t* bytes, size_t size) {
                    answers.emplace_back(bytes, bytes + size);
                    reply_thread = GetCurrentThreadId();
                    throw std::logic_error("bad answer");
                  });
  EXPECT_EQ(sentinel.use_count(), 2);  // The holder waits in the engine.
  const Bytes answer = {0x00, 0x03, 0x05, 0x00, 0x00, 0x00};
  StderrCapture capture;
  uint64_t id = 0;  // answered from the interface side
  StandInCopyHostMessage("test/ask", 0, nullptr, 0, &id, nullptr);
  EXPECT_EQ(StandInReplyToHost(id, answer.data(), answer.size()), 1);
  EXPECT_TRUE(answers.empty());
  for (int i = 0; i < 100 && answers.empty(); ++i) StandInPump(20);
  EXPECT_EQ(answers, std::vector<Bytes>{answer});
  EXPECT_EQ(reply_thread, GetCurrentThreadId());
  EXPECT_EQ(sentinel.use_count(), 1);
  EXPECT_EQ(capture.Take(),
            (Lines{"Exception in reply callback for channel test/ask: bad answer"}));
  EXPECT_EQ(StandInReplyToHost(id, answer.data(), answer.size()), 0);

  StandInSetRefuseSendWithReply(1);
  bool called = false;
  messenger->Send("test/refused", kMessage.data(), kMessage.size(),
                  [sentinel, &called](const uint8_t*, size_t) { called = true; });
  EXPECT_EQ(sentinel.use_count(), 1);
  StandInPump(50);
  EXPECT_FALSE(called);
  EXPECT_EQ(StandInHostMessageCount("test/refused"), 0u);
}

}  // namespace
}  // namespace flutter
