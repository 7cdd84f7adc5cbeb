#pragma once

#include <atomic>

#include "runner/meter/ui_wake_up.h"

namespace meter_link {

// Stands in for PostMessageW: counts wake-ups, remembers the window, can be told to refuse.
class TestWakeUp final : public UiWakeUp {
 public:
  bool Post(void* window) override {
    lastWindow = window;
    ++posts;
    return !refuse;
  }
  std::atomic<int> posts{0};
  std::atomic<void*> lastWindow{nullptr};
  std::atomic<bool> refuse{false};
};

}  // namespace meter_link
