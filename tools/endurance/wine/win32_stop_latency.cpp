// Stop latency of the meter link under Wine against the simulator: starts the meter, stops it at a
// random moment of its poll cycle and times Stop. A quarter of the runs poll a silent meter, so
// stops also land in reads that wait out their whole time-out. Reports the median, the 99th
// percentile and the maximum; fails when a Stop takes over 2 s (a hang ends the run after 10 s).
// Started by scripts/endurance/stop-latency.sh; the optional argument is the number of stops (200).
#include <windows.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "runner/meter/miernik.h"
#include "runner/meter/win32_meter_platform.h"
#include "runner/meter/win32_ui_wake_up.h"
#include "tests/meter/support/recording_sink.h"
#include "tests/meter/win32_message_window.h"
#include "tests/support/meter_simulator_client.h"
#include "tools/endurance/wine/process_figures.h"
#include "tools/endurance/wine/run_setup.h"

namespace meter_link {
namespace {

constexpr double kFailMs = 2000;
constexpr ULONGLONG kHungMs = 10000;

double Milliseconds(const LARGE_INTEGER& from, const LARGE_INTEGER& to) {
  static const LONGLONG frequency = [] {
    LARGE_INTEGER f;
    QueryPerformanceFrequency(&f);
    return f.QuadPart;
  }();
  return 1000.0 * static_cast<double>(to.QuadPart - from.QuadPart) / static_cast<double>(frequency);
}

// Ends the process when one Stop has run for kHungMs: a hang must not hold the run forever.
class HangWatch {
 public:
  HangWatch()
      : watcher([this] {
          while (!done.load()) {
            const ULONGLONG since = stopSince.load();
            if (since != 0 && GetTickCount64() - since > kHungMs) {
              std::printf("stop-latency: a Stop hung for %llu s\nstop-latency: FAILED\n",
                          kHungMs / 1000);
              std::fflush(stdout);
              TerminateProcess(GetCurrentProcess(), 3);
            }
            Sleep(100);
          }
        }) {}
  ~HangWatch() {
    done.store(true);
    watcher.join();
  }
  void Begin() { stopSince.store(GetTickCount64()); }
  void End() { stopSince.store(0); }

 private:
  std::atomic<bool> done{false};
  std::atomic<ULONGLONG> stopSince{0};
  std::thread watcher;
};

void PrintFigures(const char* what, const std::vector<double>& ms) {
  if (ms.empty()) return;
  std::printf("%s (%zu stops): median %.1f ms, p99 %.1f ms, max %.1f ms\n", what, ms.size(),
              endurance::Percentile(ms, 0.5), endurance::Percentile(ms, 0.99),
              endurance::Percentile(ms, 1.0));
}

int Run(int stops) {
  endurance::UseOwnLogFolder(L"lumero-endurance-stop");
  const auto simulator = endurance::ResetSimulator("stop-latency");
  if (!simulator) {
    return 1;
  }
  MessageWindow window;
  SetUiTaskWindow(window.Handle(), Win32UiWakeUp());
  const auto meter = Miernik::Create(nullptr, Win32MeterPlatform());
  const auto events = std::make_shared<RecordedEvents>();
  meter->ReplaceSink(std::make_unique<RecordingSink>(events));

  std::mt19937 random(GetTickCount());
  // Two poll periods from Start: the port's opening, then every phase of a poll twice.
  std::uniform_int_distribution<DWORD> moment(0, 1999);
  std::vector<double> all, answering, silent;
  HangWatch watch;
  for (int stop = 0; stop < stops; ++stop) {
    const bool quiet = stop % 4 == 3;
    if (simulator->Command(quiet ? "mode silent" : "mode normal") != "ok" || !meter->Start()) {
      std::printf("stop-latency: stop %d: the meter did not start\nstop-latency: FAILED\n",
                  stop + 1);
      return 1;
    }
    PumpMessagesUntil([] { return false; }, moment(random));
    LARGE_INTEGER before, after;
    watch.Begin();
    QueryPerformanceCounter(&before);
    meter->Stop();
    QueryPerformanceCounter(&after);
    watch.End();
    const double ms = Milliseconds(before, after);
    all.push_back(ms);
    (quiet ? silent : answering).push_back(ms);
    if (meter->IsRunning()) {
      std::printf("stop-latency: stop %d: still running after Stop\nstop-latency: FAILED\n",
                  stop + 1);
      return 1;
    }
  }
  PumpMessagesUntil([] { return false; }, 300);
  meter->ReplaceSink(nullptr);
  ClearUiTaskWindow();

  const size_t over = static_cast<size_t>(
      std::count_if(all.begin(), all.end(), [](double ms) { return ms > kFailMs; }));
  std::printf("readings during the run: %zu\n", events->OfKind("pomiar").size());
  PrintFigures("meter answering", answering);
  PrintFigures("meter silent", silent);
  PrintFigures("all", all);
  const double p99 = endurance::Percentile(all, 0.99);
  std::printf("goal p99 <= 250 ms: %s (reported only); stops over 2 s: %zu\n",
              p99 <= 250 ? "met" : "MISSED", over);
  std::printf("stop-latency: %s\n", over == 0 ? "passed" : "FAILED");
  return over == 0 ? 0 : 1;
}

}  // namespace
}  // namespace meter_link

int main(int argc, char** argv) { return meter_link::Run(argc > 1 ? std::atoi(argv[1]) : 200); }
