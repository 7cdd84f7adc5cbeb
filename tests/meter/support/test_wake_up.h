#pragma once

#include <atomic>
#include <condition_variable>
#include <mutex>

#include "runner/meter/ui_wake_up.h"

// Stands in for PostMessageW: counts wake-ups, remembers the window, can be told to refuse, and
// lets a test thread wait for the next wake-up.
class TestWakeUp final : public meter_link::UiWakeUp {
 public:
  bool Post(void* window) override {
    std::lock_guard<std::mutex> lock(mutex);
    lastWindow = window;
    ++posts;
    changed.notify_all();
    return !refuse;
  }

  int Posts() {
    std::lock_guard<std::mutex> lock(mutex);
    return posts;
  }

  void* LastWindow() {
    std::lock_guard<std::mutex> lock(mutex);
    return lastWindow;
  }

  void Refuse(bool value) {
    std::lock_guard<std::mutex> lock(mutex);
    refuse = value;
  }

  // Waits until more than seen wake-ups were posted or the timeout passes; returns the count.
  template <typename Duration>
  int WaitBeyond(int seen, Duration timeout) {
    std::unique_lock<std::mutex> lock(mutex);
    changed.wait_for(lock, timeout, [&] { return posts > seen; });
    return posts;
  }

 private:
  std::mutex mutex;
  std::condition_variable changed;
  int posts = 0;
  void* lastWindow = nullptr;
  bool refuse = false;
};
