#include "runner/meter/ui_task_queue.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "tests/meter/support/test_wake_up.h"
#include "tests/support/captured_log.h"

namespace meter_link {
namespace {

using ::testing::ElementsAre;

int windowMarker;
void* const kWindow = &windowMarker;

class UiTaskQueueTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ClearUiTaskWindow();
    ClearCapturedLog();
  }
  void TearDown() override { ClearUiTaskWindow(); }

  TestWakeUp wakeUp;
};

// Without a window a task is refused and destroyed unrun, at once; clearing the window discards
// the pending ones the same way.
TEST_F(UiTaskQueueTest, WithoutAWindowTasksAreDestroyedUnrun) {
  auto owned = std::make_shared<int>(7);
  bool ran = false;
  EXPECT_FALSE(PostToUiThread([owned, &ran] { ran = true; }));
  EXPECT_EQ(owned.use_count(), 1) << "a refused task must release what it captured";
  EXPECT_EQ(wakeUp.Posts(), 0);

  SetUiTaskWindow(kWindow, wakeUp);
  EXPECT_TRUE(PostToUiThread([owned, &ran] { ran = true; }));
  EXPECT_EQ(owned.use_count(), 2);
  ClearUiTaskWindow();
  EXPECT_EQ(owned.use_count(), 1);
  EXPECT_TRUE(RunQueuedTasks(kUiTaskMessage));
  EXPECT_FALSE(PostToUiThread([&ran] { ran = true; }));
  EXPECT_FALSE(ran);

  SetUiTaskWindow(kWindow, wakeUp);
  EXPECT_FALSE(PostToUiThread(std::function<void()>())) << "an empty task is refused silently";
  EXPECT_THAT(CapturedLogLines(), ElementsAre("kolejka: brak okna, zadanie odrzucone",
                                              "kolejka: brak okna, zadanie odrzucone"));
  EXPECT_EQ(wakeUp.Posts(), 1);
}

// One wake-up per task; the first drain runs every task, those queued meanwhile included, and
// later wake-ups find the queue empty. Captures are moved, never copied.
TEST_F(UiTaskQueueTest, TasksFromAnotherThreadRunInOrderAndOneMessageDrainsAll) {
  SetUiTaskWindow(kWindow, wakeUp);
  std::vector<std::string> order;
  std::thread producer([&order] {
    EXPECT_TRUE(PostToUiThread([&order] {
      order.push_back("1");
      PostToUiThread([&order] { order.push_back("queued by 1"); });
    }));
    EXPECT_TRUE(PostToUiThread(
        [&order, two = std::make_unique<std::string>("2")] { order.push_back(*two); }));
    EXPECT_TRUE(PostToUiThread([&order] { order.push_back("3"); }));
  });
  producer.join();
  EXPECT_EQ(wakeUp.Posts(), 3);
  EXPECT_EQ(wakeUp.LastWindow(), kWindow);
  EXPECT_TRUE(order.empty()) << "nothing runs before the UI thread drains";
  EXPECT_TRUE(RunQueuedTasks(kUiTaskMessage));
  EXPECT_THAT(order, ElementsAre("1", "2", "3", "queued by 1"));
  EXPECT_TRUE(RunQueuedTasks(kUiTaskMessage));
  EXPECT_EQ(order.size(), 4u);
}

// For ThreadSanitizer as well: posting and draining at the same time keep every task, in order.
TEST_F(UiTaskQueueTest, PostingWhileDrainingLosesNothing) {
  SetUiTaskWindow(kWindow, wakeUp);
  constexpr size_t kTasks = 2000;
  std::vector<size_t> order;
  std::thread producer([&order] {
    for (size_t i = 0; i < kTasks; ++i) PostToUiThread([&order, i] { order.push_back(i); });
  });
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (order.size() < kTasks && std::chrono::steady_clock::now() < deadline) {
    RunQueuedTasks(kUiTaskMessage);
  }
  producer.join();
  ASSERT_EQ(order.size(), kTasks);
  for (size_t i = 0; i < kTasks; ++i) ASSERT_EQ(order[i], i);
}

TEST_F(UiTaskQueueTest, OtherMessagesLeaveTheQueueAlone) {
  SetUiTaskWindow(kWindow, wakeUp);
  bool ran = false;
  PostToUiThread([&ran] { ran = true; });
  for (unsigned int message : {0u, 0x0010u, 0x8000u, 0x8050u, 0x8052u, 0xC051u}) {
    EXPECT_FALSE(RunQueuedTasks(message)) << message;
  }
  EXPECT_FALSE(ran);
  EXPECT_TRUE(RunQueuedTasks(0x8051));
  EXPECT_TRUE(ran);
}

TEST_F(UiTaskQueueTest, RefusedWakeUpIsLoggedAndTheTaskStaysQueued) {
  SetUiTaskWindow(kWindow, wakeUp);
  wakeUp.Refuse();
  bool ran = false;
  EXPECT_FALSE(PostToUiThread([&ran] { ran = true; }));
  EXPECT_THAT(CapturedLogLines(), ElementsAre("kolejka: PostMessage odrzucony"));
  EXPECT_TRUE(RunQueuedTasks(kUiTaskMessage));
  EXPECT_TRUE(ran);
}

TEST_F(UiTaskQueueTest, ThrowingTasksAreLoggedAndTheDrainGoesOn) {
  SetUiTaskWindow(kWindow, wakeUp);
  std::vector<int> order;
  PostToUiThread([&order] {
    order.push_back(1);
    throw std::runtime_error("zepsuty czujnik");
  });
  PostToUiThread([] { throw 42; });
  PostToUiThread([&order] { order.push_back(2); });
  EXPECT_TRUE(RunQueuedTasks(kUiTaskMessage));
  EXPECT_THAT(order, ElementsAre(1, 2));
  EXPECT_THAT(CapturedLogLines(), ElementsAre("WYJĄTEK w zadanie platformy: zepsuty czujnik",
                                              "WYJĄTEK w zadanie platformy (nieznany typ)"));
}

}  // namespace
}  // namespace meter_link
