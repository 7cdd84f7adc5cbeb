// BinaryMessengerImpl against the stand-in engine (Windows, under Wine).

#include "channels/binary_messenger_impl.h"

#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <stdexcept>
#include <thread>
#include <vector>

#include "tests/channels/descriptor_stderr_capture.h"
#include "tools/stand_in_engine/stand_in_api.h"

namespace flutter {
namespace {

constexpr unsigned kDeadlineMs = 5000;
const char kChannel[] = "test/channel";
const std::vector<uint8_t> kMessage = {0x07, 0x01, 0x61, 0x00};

class BinaryMessengerImplTest : public ::testing::Test {
 protected:
  void SetUp() override {
    StandInReset();
    FlutterDesktopEngineProperties properties = {};
    properties.assets_path = L"data\\flutter_assets";
    properties.icu_data_path = L"data\\icudtl.dat";
    properties.aot_library_path = L"data\\app.so";
    properties.dart_entrypoint = "";
    engine = FlutterDesktopEngineCreate(&properties);
    ASSERT_NE(engine, nullptr);
    messenger = std::make_unique<BinaryMessengerImpl>(FlutterDesktopEngineGetMessenger(engine));
  }

  void TearDown() override {
    DestroyEngine();
    messenger.reset();
  }

  void DestroyEngine() {
    if (engine != nullptr) {
      FlutterDesktopEngineDestroy(engine);
      engine = nullptr;
    }
  }

  // Sends from the interface side and lets the message loop deliver it.
  uint64_t Deliver(const char* channel = kChannel) {
    const uint64_t id = StandInSend(channel, kMessage);
    EXPECT_EQ(StandInWaitForReply(id, kDeadlineMs), 1) << "still waiting for an answer";
    return id;
  }

  // Sends and waits until the host's callback ran (answered or not).
  uint64_t DeliverAndKeep(const char* channel = kChannel) {
    const uint64_t id = StandInSend(channel, kMessage);
    for (int i = 0; i < 500 && StandInMessageState(id) == kStandInQueued; ++i) {
      StandInPump(10);
    }
    EXPECT_NE(StandInMessageState(id), kStandInQueued);
    return id;
  }

  FlutterDesktopEngineRef engine = nullptr;
  std::unique_ptr<BinaryMessengerImpl> messenger;
};

TEST_F(BinaryMessengerImplTest, AnswersOnceAndReportsASecondAnswer) {
  BinaryReply kept;
  messenger->SetMessageHandler(kChannel, [&](const uint8_t* bytes, size_t size, BinaryReply reply) {
    EXPECT_EQ(std::vector<uint8_t>(bytes, bytes + size), kMessage);
    const uint8_t answer[] = {0x00, 0x01};
    reply(answer, sizeof answer);
    kept = reply;
  });
  const uint64_t id = Deliver();
  EXPECT_EQ(StandInMessageState(id), kStandInAnswered);
  EXPECT_EQ(StandInReply(id), (std::vector<uint8_t>{0x00, 0x01}));

  DescriptorStderrCapture capture;
  const uint8_t again[] = {0x00, 0x02};
  kept(again, sizeof again);
  EXPECT_EQ(capture.Take(), "Error: Response can be set only once. Ignoring duplicate response.\n");
  EXPECT_EQ(StandInCallCount("FlutterDesktopMessengerSendResponse"), 1);
  EXPECT_EQ(StandInResponseErrorCount(), 0);
  EXPECT_EQ(StandInReply(id), (std::vector<uint8_t>{0x00, 0x01}));
}

// Copies of one reply closure share the once rule, so the engine never sees a handle twice.
TEST_F(BinaryMessengerImplTest, CopiesOfOneReplyAnswerOnlyOnce) {
  std::vector<BinaryReply> copies;
  messenger->SetMessageHandler(kChannel, [&](const uint8_t*, size_t, BinaryReply reply) {
    copies.push_back(reply);
    copies.push_back(reply);
  });
  const uint64_t id = DeliverAndKeep();
  ASSERT_EQ(copies.size(), 2u);
  DescriptorStderrCapture capture;
  copies[0](nullptr, 0);
  copies[1](nullptr, 0);
  EXPECT_EQ(capture.Take(), "Error: Response can be set only once. Ignoring duplicate response.\n");
  EXPECT_EQ(StandInMessageState(id), kStandInAnswered);
  EXPECT_EQ(StandInCallCount("FlutterDesktopMessengerSendResponse"), 1);
  EXPECT_EQ(StandInResponseErrorCount(), 0);
}

TEST_F(BinaryMessengerImplTest, ReplyAfterEngineTeardownIsDroppedSilently) {
  BinaryReply kept;
  messenger->SetMessageHandler(kChannel,
                               [&](const uint8_t*, size_t, BinaryReply reply) { kept = reply; });
  const uint64_t id = DeliverAndKeep();
  ASSERT_TRUE(kept);
  DestroyEngine();
  // The reply's reference keeps the messenger alive after the engine.
  EXPECT_EQ(StandInLiveMessengerCount(), 1u);

  DescriptorStderrCapture capture;
  const uint8_t late[] = {0x00, 0x00};
  kept(late, sizeof late);
  EXPECT_EQ(capture.Take(), "");
  EXPECT_EQ(StandInCallCount("FlutterDesktopMessengerSendResponse"), 0);
  EXPECT_EQ(StandInMessageState(id), kStandInDropped);
  EXPECT_EQ(StandInCallCount("FlutterDesktopMessengerLock"),
            StandInCallCount("FlutterDesktopMessengerUnlock"));

  kept = nullptr;
  EXPECT_EQ(StandInLiveMessengerCount(), 0u);
  EXPECT_EQ(StandInHandleErrorCount(), 0);
}

TEST_F(BinaryMessengerImplTest, ReplyMayComeFromAnotherThread) {
  BinaryReply kept;
  messenger->SetMessageHandler(kChannel,
                               [&](const uint8_t*, size_t, BinaryReply reply) { kept = reply; });
  const uint64_t id = DeliverAndKeep();
  std::thread worker([&] {
    const uint8_t answer[] = {0x00, 0x01};
    kept(answer, sizeof answer);
  });
  worker.join();
  EXPECT_EQ(StandInWaitForReply(id, kDeadlineMs), 1);
  EXPECT_EQ(StandInReply(id), (std::vector<uint8_t>{0x00, 0x01}));
  EXPECT_EQ(StandInCallCount("FlutterDesktopMessengerLock"), 1);
  EXPECT_EQ(StandInCallCount("FlutterDesktopMessengerUnlock"), 1);
}

// Replies racing engine teardown either reach the engine before it goes or are dropped; none
// reaches it afterwards (the stand-in counts that as a response error).
TEST_F(BinaryMessengerImplTest, RepliesRacingTeardownNeverReachAGoneEngine) {
  std::vector<BinaryReply> kept;
  messenger->SetMessageHandler(kChannel, [&](const uint8_t*, size_t, BinaryReply reply) {
    kept.push_back(std::move(reply));
  });
  std::vector<uint64_t> ids;
  for (int i = 0; i < 200; ++i) {
    ids.push_back(StandInSend(kChannel, kMessage));
  }
  for (int i = 0; i < 500 && kept.size() < ids.size(); ++i) {
    StandInPump(10);
  }
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
  while (!underway) {
    std::this_thread::yield();
  }
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

TEST_F(BinaryMessengerImplTest, SecondHandlerReplacesTheFirst) {
  int first = 0;
  int second = 0;
  messenger->SetMessageHandler(kChannel, [&](const uint8_t*, size_t, BinaryReply reply) {
    ++first;
    reply(nullptr, 0);
  });
  messenger->SetMessageHandler(kChannel, [&](const uint8_t*, size_t, BinaryReply reply) {
    ++second;
    reply(nullptr, 0);
  });
  Deliver();
  Deliver();
  EXPECT_EQ(first, 0);
  EXPECT_EQ(second, 2);
}

TEST_F(BinaryMessengerImplTest, EmptyHandlerRemovesTheEngineCallback) {
  int calls = 0;
  messenger->SetMessageHandler(kChannel, [&](const uint8_t*, size_t, BinaryReply reply) {
    ++calls;
    reply(nullptr, 0);
  });
  EXPECT_EQ(StandInHasHandler(kChannel), 1);
  messenger->SetMessageHandler(kChannel, nullptr);
  EXPECT_EQ(StandInHasHandler(kChannel), 0);
  const uint64_t id = Deliver();
  EXPECT_EQ(StandInMessageState(id), kStandInUnhandled);
  EXPECT_EQ(calls, 0);

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
  const DWORD uiThread = GetCurrentThreadId();
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
  EXPECT_EQ(handlerThread, uiThread);
  EXPECT_EQ(StandInDeliveryThread(id), uiThread);
  EXPECT_EQ(StandInDeliveredFromMessageLoop(id), 1);
}

TEST_F(BinaryMessengerImplTest, SendWithoutReplyReachesTheInterfaceSide) {
  const uint8_t event[] = {0x00, 0x01};
  messenger->Send("test/events", event, sizeof event);
  ASSERT_EQ(StandInHostMessageCount("test/events"), 1u);
  int wantsReply = -1;
  EXPECT_EQ(StandInCopyHostMessage("test/events", 0, nullptr, 0, nullptr, &wantsReply), 2u);
  EXPECT_EQ(wantsReply, 0);
  EXPECT_EQ(StandInHostMessage("test/events", 0), (std::vector<uint8_t>{0x00, 0x01}));
  EXPECT_EQ(StandInCallCount("FlutterDesktopMessengerSendWithReply"), 0);
}

TEST_F(BinaryMessengerImplTest, ReplyToASendRunsOnceFromTheLoopAndIsFreed) {
  auto sentinel = std::make_shared<int>(0);
  std::vector<std::vector<uint8_t>> answers;
  DWORD replyThread = 0;
  messenger->Send("test/ask", kMessage.data(), kMessage.size(),
                  [sentinel, &answers, &replyThread](const uint8_t* bytes, size_t size) {
                    answers.emplace_back(bytes, bytes + size);
                    replyThread = GetCurrentThreadId();
                  });
  EXPECT_EQ(sentinel.use_count(), 2);  // The holder waits in the engine.
  uint64_t id = 0;
  StandInCopyHostMessage("test/ask", 0, nullptr, 0, &id, nullptr);
  const uint8_t answer[] = {0x00, 0x03, 0x05, 0x00, 0x00, 0x00};
  ASSERT_EQ(StandInReplyToHost(id, answer, sizeof answer), 1);
  EXPECT_TRUE(answers.empty());
  StandInPump(100);
  for (int i = 0; i < 100 && answers.empty(); ++i) {
    StandInPump(20);
  }
  ASSERT_EQ(answers.size(), 1u);
  EXPECT_EQ(answers[0], std::vector<uint8_t>(answer, answer + sizeof answer));
  EXPECT_EQ(replyThread, GetCurrentThreadId());
  EXPECT_EQ(sentinel.use_count(), 1);
  EXPECT_EQ(StandInReplyToHost(id, answer, sizeof answer), 0);
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

// Nothing thrown by a handler unwinds into the engine: one line, and the message is answered.
TEST_F(BinaryMessengerImplTest, HandlerExceptionIsReportedAndAnsweredEmpty) {
  messenger->SetMessageHandler(
      kChannel, [](const uint8_t*, size_t, BinaryReply) { throw std::runtime_error("boom"); });
  DescriptorStderrCapture capture;
  const uint64_t id = Deliver();
  EXPECT_EQ(capture.Take(), "Exception in message handler on channel test/channel: boom\n");
  EXPECT_EQ(StandInMessageState(id), kStandInAnswered);
  EXPECT_TRUE(StandInReply(id).empty());
  EXPECT_EQ(StandInResponseErrorCount(), 0);
}

TEST_F(BinaryMessengerImplTest, HandlerExceptionAfterAnsweringKeepsTheAnswer) {
  messenger->SetMessageHandler(kChannel, [](const uint8_t*, size_t, BinaryReply reply) {
    const uint8_t answer[] = {0x00, 0x01};
    reply(answer, sizeof answer);
    throw 7;
  });
  DescriptorStderrCapture capture;
  const uint64_t id = Deliver();
  EXPECT_EQ(capture.Take(),
            "Exception in message handler on channel test/channel: unknown exception\n");
  EXPECT_EQ(StandInReply(id), (std::vector<uint8_t>{0x00, 0x01}));
  EXPECT_EQ(StandInCallCount("FlutterDesktopMessengerSendResponse"), 1);
}

TEST_F(BinaryMessengerImplTest, ReplyCallbackExceptionIsReportedAndTheHolderFreed) {
  auto sentinel = std::make_shared<int>(0);
  messenger->Send("test/ask", kMessage.data(), kMessage.size(),
                  [sentinel](const uint8_t*, size_t) { throw std::logic_error("bad answer"); });
  uint64_t id = 0;
  StandInCopyHostMessage("test/ask", 0, nullptr, 0, &id, nullptr);
  DescriptorStderrCapture capture;
  ASSERT_EQ(StandInReplyToHost(id, nullptr, 0), 1);
  for (int i = 0; i < 100 && sentinel.use_count() > 1; ++i) {
    StandInPump(20);
  }
  EXPECT_EQ(capture.Take(), "Exception in reply callback for channel test/ask: bad answer\n");
  EXPECT_EQ(sentinel.use_count(), 1);
}

}  // namespace
}  // namespace flutter
