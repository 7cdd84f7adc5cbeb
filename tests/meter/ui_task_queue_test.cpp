#include "runner/meter/ui_task_queue.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <memory>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "tests/meter/support/test_wake_up.h"
#include "tests/support/captured_log.h"

namespace {

using namespace meter_link;

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
  EXPECT_THAT(CapturedLogLines(), ElementsAre("kolejka: brak okna, zadanie odrzucone"));
  EXPECT_EQ(wakeUp.Posts(), 0);

  SetUiTaskWindow(kWindow, wakeUp);
  EXPECT_TRUE(RunQueuedTasks(kUiTaskMessage));
  EXPECT_TRUE(PostToUiThread([owned, &ran] { ran = true; }));
  EXPECT_EQ(owned.use_count(), 2);
  ClearUiTaskWindow();
  EXPECT_EQ(owned.use_count(), 1);
  EXPECT_TRUE(RunQueuedTasks(kUiTaskMessage));
  EXPECT_FALSE(ran);
  EXPECT_FALSE(PostToUiThread([&ran] { ran = true; }));
  EXPECT_EQ(CapturedLogLines().size(), 2u);

  SetUiTaskWindow(kWindow, wakeUp);
  EXPECT_FALSE(PostToUiThread(UiTask())) << "an empty task is refused silently";
  EXPECT_FALSE(PostToUiThread(std::function<void()>()));
  EXPECT_EQ(CapturedLogLines().size(), 2u);
  EXPECT_EQ(wakeUp.Posts(), 1);
}

TEST_F(UiTaskQueueTest, TasksFromAnotherThreadRunInOrderAndOneMessageDrainsAll) {
  SetUiTaskWindow(kWindow, wakeUp);
  std::vector<int> order;
  std::thread producer([&order] {
    for (int i = 1; i <= 3; ++i) EXPECT_TRUE(PostToUiThread([&order, i] { order.push_back(i); }));
  });
  producer.join();
  EXPECT_EQ(wakeUp.Posts(), 3) << "one wake-up message per task";
  EXPECT_EQ(wakeUp.LastWindow(), kWindow);
  EXPECT_TRUE(order.empty()) << "nothing runs before the UI thread drains";

  EXPECT_TRUE(RunQueuedTasks(kUiTaskMessage));
  EXPECT_THAT(order, ElementsAre(1, 2, 3));
  EXPECT_TRUE(RunQueuedTasks(kUiTaskMessage));
  EXPECT_TRUE(RunQueuedTasks(kUiTaskMessage));
  EXPECT_THAT(order, ElementsAre(1, 2, 3));
}

TEST_F(UiTaskQueueTest, TaskQueuedDuringTheDrainRunsInTheSameDrain) {
  SetUiTaskWindow(kWindow, wakeUp);
  std::vector<std::string> order;
  PostToUiThread([&order] {
    order.push_back("first");
    PostToUiThread([&order] { order.push_back("queued by first"); });
  });
  PostToUiThread([&order] { order.push_back("second"); });
  EXPECT_TRUE(RunQueuedTasks(kUiTaskMessage));
  EXPECT_THAT(order, ElementsAre("first", "second", "queued by first"));
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
  wakeUp.Refuse(true);
  bool ran = false;
  EXPECT_FALSE(PostToUiThread([&ran] { ran = true; }));
  EXPECT_THAT(CapturedLogLines(), ElementsAre("kolejka: PostMessage odrzucony"));
  EXPECT_TRUE(RunQueuedTasks(kUiTaskMessage));
  EXPECT_TRUE(ran);
}

TEST_F(UiTaskQueueTest, ThrowingTasksAreLoggedAndTheDrainGoesOn) {
  SetUiTaskWindow(kWindow, wakeUp);
  std::vector<int> order;
  PostToUiThread([] { throw std::runtime_error("zepsuty czujnik"); });
  PostToUiThread([&order] { order.push_back(1); });
  PostToUiThread([] { throw 42; });
  PostToUiThread([&order] { order.push_back(2); });
  EXPECT_TRUE(RunQueuedTasks(kUiTaskMessage));
  EXPECT_THAT(order, ElementsAre(1, 2));
  EXPECT_THAT(CapturedLogLines(), ElementsAre("WYJĄTEK w zadanie platformy: zepsuty czujnik",
                                              "WYJĄTEK w zadanie platformy (nieznany typ)"));
}

TEST_F(UiTaskQueueTest, RunGuardedKeepsWhatTheActionCompleted) {
  int steps = 0;
  RunGuarded("stan", [&steps] {
    ++steps;
    throw std::logic_error("x");
  });
  RunGuarded("start", [&steps] { ++steps; });
  EXPECT_EQ(steps, 2);
  EXPECT_THAT(CapturedLogLines(), ElementsAre("WYJĄTEK w stan: x"));
}

TEST_F(UiTaskQueueTest, MoveOnlyCapturesTravelThroughTheQueue) {
  SetUiTaskWindow(kWindow, wakeUp);
  auto value = std::make_unique<int>(5);
  int seen = 0;
  EXPECT_TRUE(PostToUiThread([value = std::move(value), &seen] { seen = *value; }));
  RunQueuedTasks(kUiTaskMessage);
  EXPECT_EQ(seen, 5);
}

}  // namespace
