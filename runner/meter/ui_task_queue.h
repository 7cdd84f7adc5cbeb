#pragma once

#include <deque>
#include <mutex>

#include "runner/meter/run_guarded.h"
#include "runner/meter/ui_task.h"
#include "runner/meter/ui_wake_up.h"
#include "runner/never_destroyed.h"

namespace meter_link {

// The private window message that tells the UI thread to drain the queue: WM_APP + 0x51. Posted
// with both parameters 0; it carries no data.
constexpr unsigned int kUiTaskMessage = 0x8051;

// The process-wide first-in-first-out queue through which other threads hand work to the UI
// thread. Its mutex guards the window and the tasks only: it is never held while a task runs, while
// the wake-up message is posted or while a discarded task is destroyed.
class UiTaskQueue {
 public:
  // The one queue of the process; usable at any time, also before a window is set and while the
  // process exits (it is never destroyed).
  static UiTaskQueue& Instance();

  // Any thread. Queues task and wakes the window; false when the task is empty, no window is set
  // (the task is then destroyed unrun) or the wake-up fails (the task stays queued).
  bool Post(UiTask task);

  // UI thread, for every window message. For kUiTaskMessage runs every queued task, including
  // those queued meanwhile, each under RunGuarded, and returns true; any other message: false.
  bool RunQueued(unsigned int message);

  // Aims the queue at window; wakeUp must stay valid until Disconnect.
  void Connect(void* window, UiWakeUp& wakeUp);

  // Forgets the window and destroys every pending task without running it; from then on tasks
  // are refused.
  void Disconnect();

 private:
  friend class NeverDestroyed<UiTaskQueue>;
  UiTaskQueue() = default;

  std::mutex mutex;
  void* window = nullptr;
  UiWakeUp* wakeUp = nullptr;
  std::deque<UiTask> tasks;
};

// The queue's operations as the rest of the system calls them.
bool PostToUiThread(UiTask task);
bool RunQueuedTasks(unsigned int message);
void SetUiTaskWindow(void* window, UiWakeUp& wakeUp);
void ClearUiTaskWindow();

}  // namespace meter_link
