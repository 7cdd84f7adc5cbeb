#include "tools/endurance/day/watchdog.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>

#include "tools/endurance/day/ui_hand_off.h"

namespace endurance {

void ExitHung(const char* where) {
  std::fprintf(stderr, "day: hung %s\n", where);
  std::fflush(stderr);
  std::_Exit(2);
}

Watchdog::Watchdog(std::function<int64_t()> fakeMilliseconds) {
  thread = std::thread([this, fakeMilliseconds = std::move(fakeMilliseconds)] {
    int64_t seen = fakeMilliseconds();
    auto lastChange = std::chrono::steady_clock::now();
    while (!done.load()) {
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
      const int64_t now = fakeMilliseconds();
      if (now != seen) {
        seen = now;
        lastChange = std::chrono::steady_clock::now();
      } else if (std::chrono::steady_clock::now() - lastChange > UiHandOff::kPatience) {
        ExitHung("with the meter's clock standing still");
      }
    }
  });
}

Watchdog::~Watchdog() {
  done.store(true);
  thread.join();
}

}  // namespace endurance
