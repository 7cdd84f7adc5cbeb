#include "runner/meter/ui_task_queue.h"

#include <utility>

#include "runner/diagnostics/native_log.h"
#include "runner/never_destroyed.h"

namespace meter_link {

UiTaskQueue& UiTaskQueue::Instance() {
  static NeverDestroyed<UiTaskQueue> queue;
  return queue.get();
}

bool UiTaskQueue::Post(UiTask task) {
  if (!task) return false;
  void* target = nullptr;
  UiWakeUp* poster = nullptr;
  {
    std::lock_guard<std::mutex> lock(mutex);
    if (window == nullptr) {
      LogMessage("kolejka: brak okna, zadanie odrzucone");
    } else {
      tasks.push_back(std::move(task));
      target = window;
      poster = wakeUp;
    }
  }
  // A refused task dies here, outside the lock: it may hold the last reference to its owner.
  if (target == nullptr) return false;
  if (!poster->Post(target)) {
    LogMessage("kolejka: PostMessage odrzucony");
    return false;
  }
  return true;
}

bool UiTaskQueue::RunQueued(unsigned int message) {
  if (message != kUiTaskMessage) return false;
  for (;;) {
    UiTask task;
    {
      std::lock_guard<std::mutex> lock(mutex);
      if (tasks.empty()) return true;
      task = std::move(tasks.front());
      tasks.pop_front();
    }
    RunGuarded("zadanie platformy", [&task] { task(); });
  }
}

void UiTaskQueue::Connect(void* newWindow, UiWakeUp& newWakeUp) {
  std::lock_guard<std::mutex> lock(mutex);
  window = newWindow;
  wakeUp = &newWakeUp;
}

void UiTaskQueue::Disconnect() {
  std::deque<UiTask> discarded;
  {
    std::lock_guard<std::mutex> lock(mutex);
    window = nullptr;
    wakeUp = nullptr;
    discarded.swap(tasks);
  }
  // Destroyed unrun and outside the lock: a task may hold the last reference to a meter whose
  // destructor waits for a thread that is itself posting.
}

bool PostToUiThread(UiTask task) { return UiTaskQueue::Instance().Post(std::move(task)); }

bool RunQueuedTasks(unsigned int message) { return UiTaskQueue::Instance().RunQueued(message); }

void SetUiTaskWindow(void* window, UiWakeUp& wakeUp) {
  UiTaskQueue::Instance().Connect(window, wakeUp);
}

void ClearUiTaskWindow() { UiTaskQueue::Instance().Disconnect(); }

}  // namespace meter_link
