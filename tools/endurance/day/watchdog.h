#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <thread>

namespace endurance {

// Prints what hung and ends the process with status 2, without waiting for any thread.
[[noreturn]] void ExitHung(const char* where);

// Ends the process through ExitHung when the fake clock stands still for UiHandOff::kPatience of
// real time: a loop that spins, or blocks outside the platform's own bounded waits.
class Watchdog {
 public:
  explicit Watchdog(std::function<int64_t()> fakeMilliseconds);
  ~Watchdog();
  Watchdog(const Watchdog&) = delete;
  Watchdog& operator=(const Watchdog&) = delete;

 private:
  std::atomic<bool> done{false};
  std::thread thread;
};

}  // namespace endurance
