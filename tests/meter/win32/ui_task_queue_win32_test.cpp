// The task queue against a real window and a real message loop.

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <windows.h>

#include <thread>
#include <vector>

#include "runner/meter/ui_task_queue.h"
#include "runner/meter/win32_ui_wake_up.h"
#include "tests/meter/win32/message_window.h"
#include "tests/support/captured_log.h"

namespace {

using ::testing::ElementsAre;

class UiTaskQueueWin32Test : public ::testing::Test {
 protected:
  void SetUp() override {
    ClearUiTaskWindow();
    ClearCapturedLog();
    ASSERT_NE(window.Handle(), nullptr);
  }
  void TearDown() override { ClearUiTaskWindow(); }

  void Aim() { SetUiTaskWindow(window.Handle(), Win32UiWakeUp()); }

  MessageWindow window;
};

TEST_F(UiTaskQueueWin32Test, TasksFromAnotherThreadRunOnTheWindowThreadInOrder) {
  Aim();
  std::vector<int> order;
  std::vector<DWORD> threads;
  std::vector<int> ranPerWakeUp;
  window.afterWakeUp = [&] { ranPerWakeUp.push_back(static_cast<int>(order.size())); };
  std::thread producer([&] {
    for (int i = 1; i <= 3; ++i) {
      EXPECT_TRUE(PostToUiThread([&, i] {
        order.push_back(i);
        threads.push_back(GetCurrentThreadId());
      }));
    }
  });
  producer.join();
  ASSERT_TRUE(PumpMessagesUntil([&] { return window.WakeUpsHandled() == 3; }));
  EXPECT_THAT(order, ElementsAre(1, 2, 3));
  EXPECT_THAT(threads, ::testing::Each(GetCurrentThreadId()));
  // The first message ran all three; the two later ones found the queue empty.
  EXPECT_THAT(ranPerWakeUp, ElementsAre(3, 3, 3));
  EXPECT_TRUE(CapturedLogLines().empty());
}

TEST_F(UiTaskQueueWin32Test, OtherMessagesLeaveTheQueueAlone) {
  Aim();
  bool ran = false;
  std::vector<UINT> others;
  window.onOtherMessage = [&](UINT message) { others.push_back(message); };
  ASSERT_TRUE(PostToUiThread([&ran] { ran = true; }));
  // Sent messages reach the window procedure at once, ahead of the posted wake-up.
  SendMessageW(window.Handle(), WM_APP + 0x50, 0, 0);
  SendMessageW(window.Handle(), WM_APP + 0x52, 0, 0);
  EXPECT_FALSE(ran);
  EXPECT_THAT(others, ElementsAre(WM_APP + 0x50, WM_APP + 0x52));
  ASSERT_TRUE(PumpMessagesUntil([&] { return ran; }));
  EXPECT_EQ(window.WakeUpsHandled(), 1);
}

TEST_F(UiTaskQueueWin32Test, RefusedPostMessageKeepsTheTaskForTheNextDrain) {
  Aim();
  window.Destroy();  // PostMessageW to a destroyed window fails
  bool ran = false;
  EXPECT_FALSE(PostToUiThread([&ran] { ran = true; }));
  EXPECT_THAT(CapturedLogLines(), ElementsAre("kolejka: PostMessage odrzucony"));

  MessageWindow second;
  SetUiTaskWindow(second.Handle(), Win32UiWakeUp());
  EXPECT_TRUE(PostToUiThread([] {}));
  ASSERT_TRUE(PumpMessagesUntil([&] { return ran; }));
}

}  // namespace
