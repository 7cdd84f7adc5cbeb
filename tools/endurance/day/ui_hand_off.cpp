#include "tools/endurance/day/ui_hand_off.h"

#include "runner/meter/ui_task_queue.h"

namespace endurance {

bool UiHandOff::Post(void*) {
  std::lock_guard<std::mutex> lock(mutex);
  ++posted;
  changed.notify_all();
  return true;
}

bool UiHandOff::WaitAndRun() {
  {
    std::unique_lock<std::mutex> lock(mutex);
    if (!changed.wait_for(lock, kPatience, [this] { return posted != ran || dayOver; })) {
      return false;
    }
  }
  RunNow();
  return true;
}

void UiHandOff::RunNow() {
  uint64_t snapshot = 0;
  {
    std::lock_guard<std::mutex> lock(mutex);
    snapshot = posted;
  }
  // Every task whose wake-up was counted in the snapshot is in the queue by now.
  meter_link::RunQueuedTasks(meter_link::kUiTaskMessage);
  std::lock_guard<std::mutex> lock(mutex);
  ran = snapshot;
  changed.notify_all();
}

bool UiHandOff::WaitUntilRun() {
  std::unique_lock<std::mutex> lock(mutex);
  const uint64_t target = posted;
  return changed.wait_for(lock, kPatience, [this, target] { return ran >= target; });
}

void UiHandOff::EndDay() {
  std::lock_guard<std::mutex> lock(mutex);
  dayOver = true;
  changed.notify_all();
}

bool UiHandOff::DayOver() {
  std::lock_guard<std::mutex> lock(mutex);
  return dayOver;
}

}  // namespace endurance
