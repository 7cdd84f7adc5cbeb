#include "runner/meter/ui_task_queue.h"

#include <gmock/gmock.h>

#include <chrono>
#include <stdexcept>

#include "tests/meter/support/meter_fixture.h"

namespace meter_link {
namespace {

using ::testing::ElementsAre;

int windowMarker;
void* const kWindow = &windowMarker;

class UiTaskQueueTest : public ::testing::Test {
 protected:
  UiTaskQueueTest() { ClearCapturedLog(); }
  ~UiTaskQueueTest() override { ClearUiTaskWindow(); }
  TestWakeUp wakeUp;
};

// Without a window a task is refused and destroyed unrun, at once; clearing the window discards
// the pending ones the same way. An empty task is refused silently.
TEST_F(UiTaskQueueTest, WithoutAWindowTasksAreDestroyedUnrun) {
  auto owned = std::make_shared<int>(7);
  bool ran = false;
  EXPECT_FALSE(PostToUiThread([owned, &ran] { ran = true; }));
  EXPECT_EQ(owned.use_count(), 1) << "a refused task must release what it captured";
  SetUiTaskWindow(kWindow, wakeUp);
  EXPECT_TRUE(PostToUiThread([owned, &ran] { ran = true; }));
  EXPECT_EQ(owned.use_count(), 2);
  ClearUiTaskWindow();
  EXPECT_EQ(owned.use_count(), 1);
  EXPECT_TRUE(RunQueuedTasks(kUiTaskMessage));
  EXPECT_FALSE(ran);
  SetUiTaskWindow(kWindow, wakeUp);
  EXPECT_FALSE(PostToUiThread(std::function<void()>()));
  EXPECT_THAT(CapturedLogLines(), ElementsAre("kolejka: brak okna, zadanie odrzucone"));
  EXPECT_EQ(wakeUp.posts, 1);
}

// Only the queue's own message drains; one drain runs every task in order, those queued
// meanwhile included, and captures are moved, never copied. A refused wake-up keeps its task;
// throwing tasks are logged and the drain goes on.
TEST_F(UiTaskQueueTest, OneMessageDrainsAllInOrder) {
  SetUiTaskWindow(kWindow, wakeUp);
  wakeUp.refuse = true;
  std::vector<std::string> order;
  EXPECT_FALSE(PostToUiThread([&order] {
    order.push_back("1");
    PostToUiThread([&order] { order.push_back("queued by 1"); });
    throw std::runtime_error("zepsuty czujnik");
  }));
  PostToUiThread([] { throw 42; });
  PostToUiThread([&order, two = std::make_unique<std::string>("2")] { order.push_back(*two); });
  for (unsigned int message : {0u, 0x0010u, 0x8000u, 0x8050u, 0x8052u, 0xC051u}) {
    EXPECT_FALSE(RunQueuedTasks(message)) << message;
  }
  EXPECT_TRUE(order.empty()) << "nothing runs before the UI thread drains";
  EXPECT_TRUE(RunQueuedTasks(0x8051));
  EXPECT_THAT(order, ElementsAre("1", "2", "queued by 1"));
  EXPECT_TRUE(RunQueuedTasks(kUiTaskMessage)) << "a later wake-up finds the queue empty";
  const std::string refused = "kolejka: PostMessage odrzucony";
  EXPECT_THAT(CapturedLogLines(), ElementsAre(refused, refused, refused, refused,
                                              "WYJĄTEK w zadanie platformy: zepsuty czujnik",
                                              "WYJĄTEK w zadanie platformy (nieznany typ)"));
}

// Also for ThreadSanitizer: one wake-up per task, and posting while the UI thread drains keeps
// every task, in order.
TEST_F(UiTaskQueueTest, PostingFromAnotherThreadWhileDrainingLosesNothing) {
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
  EXPECT_EQ(wakeUp.posts, static_cast<int>(kTasks));
  EXPECT_EQ(wakeUp.lastWindow, kWindow);
  ASSERT_EQ(order.size(), kTasks);
  for (size_t i = 0; i < kTasks; ++i) ASSERT_EQ(order[i], i);
}

}  // namespace
}  // namespace meter_link
