// The task queue's Win32 wake-up: PostMessageW to the queue's window, whose procedure drains the
// queue; a refused PostMessageW is logged and its task waits for the next drain.
#include <gtest/gtest.h>

#include "runner/meter/ui_task_queue.h"
#include "runner/meter/win32_ui_wake_up.h"
#include "tests/meter/win32_message_window.h"
#include "tests/support/captured_log.h"

namespace meter_link {
namespace {

TEST(Win32UiTaskQueue, RefusedPostMessageKeepsTheTaskForTheNextDrain) {
  ClearCapturedLog();
  MessageWindow first, second;
  ASSERT_NE(first.Handle(), nullptr);
  SetUiTaskWindow(first.Handle(), Win32UiWakeUp());
  first.Destroy();  // PostMessageW to a destroyed window fails
  bool ran = false;
  EXPECT_FALSE(PostToUiThread([&ran] { ran = true; }));
  EXPECT_EQ(CapturedLogLines(), std::vector<std::string>{"kolejka: PostMessage odrzucony"});
  SetUiTaskWindow(second.Handle(), Win32UiWakeUp());
  EXPECT_TRUE(PostToUiThread([] {}));
  EXPECT_TRUE(PumpMessagesUntil([&ran] { return ran; }));
  ClearUiTaskWindow();
}

}  // namespace
}  // namespace meter_link
