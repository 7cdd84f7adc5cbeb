#pragma once

#include <mutex>

#include "runner/meter/ui_wake_up.h"

namespace meter_link {

// Stands in for PostMessageW: counts wake-ups, remembers the window, can be told to refuse.
class TestWakeUp final : public UiWakeUp {
 public:
  bool Post(void* window) override {
    std::lock_guard<std::mutex> lock(mutex);
    lastWindow = window;
    ++posts;
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
  void Refuse() {
    std::lock_guard<std::mutex> lock(mutex);
    refuse = true;
  }

 private:
  std::mutex mutex;
  int posts = 0;
  void* lastWindow = nullptr;
  bool refuse = false;
};

}  // namespace meter_link
