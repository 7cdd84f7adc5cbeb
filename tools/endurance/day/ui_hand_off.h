#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>

#include "runner/meter/ui_wake_up.h"

namespace endurance {

// The main thread plays the UI thread. Each wake-up counts a posted task; the acquisition side
// can wait until everything posted so far has run, which keeps the task queue, and so the heap,
// in the same state at the same point of every poll.
class UiHandOff final : public meter_link::UiWakeUp {
 public:
  static constexpr std::chrono::seconds kPatience{60};

  bool Post(void* window) override;

  // Main thread: waits for posted tasks or the day's end and runs the queue. False when nothing
  // happened for kPatience (a hang).
  bool WaitAndRun();
  // Runs whatever is queued without waiting.
  void RunNow();
  // Acquisition thread: waits until every task posted so far has run; false on a hang.
  bool WaitUntilRun();

  void EndDay();
  bool DayOver();

 private:
  std::mutex mutex;
  std::condition_variable changed;
  uint64_t posted = 0;
  uint64_t ran = 0;
  bool dayOver = false;
};

}  // namespace endurance
