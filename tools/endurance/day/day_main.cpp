// A day of polling in minutes: the acquisition loop over a scripted meter with a fake clock, the
// main thread playing the UI thread. Usage: endurance_day [POLLS] [SEED]. Prints the figures;
// exits 1 when an event was lost, doubled or wrong or the heap grew, 2 when the run hung.
#include <algorithm>
#include <chrono>
#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <numeric>

#include "runner/meter/miernik.h"
#include "runner/meter/ui_task_queue.h"
#include "tools/endurance/day/counting_log.h"
#include "tools/endurance/day/day_ledger.h"
#include "tools/endurance/day/day_platform.h"
#include "tools/endurance/day/day_sink.h"
#include "tools/endurance/day/heap_meter.h"
#include "tools/endurance/day/ui_hand_off.h"
#include "tools/endurance/day/watchdog.h"

namespace {

using endurance::DayPlatform;

double Mean(const std::vector<size_t>& samples, size_t from, size_t to) {
  return std::accumulate(samples.begin() + static_cast<std::ptrdiff_t>(from),
                         samples.begin() + static_cast<std::ptrdiff_t>(to), 0.0) /
         static_cast<double>(to - from);
}

// Flat: the last tenth's mean at most 1 % above the second tenth's (the first is warm-up).
bool ReportHeap(const DayPlatform& platform, size_t residentAtEnd) {
  const std::vector<size_t> samples = platform.HeapSamples();
  const size_t tenth = samples.size() / 10;
  if (tenth == 0) {
    std::printf("heap in use: too few paced polls to tell\n");
    return false;
  }
  const double warm = Mean(samples, tenth, 2 * tenth);
  const double end = Mean(samples, samples.size() - tenth, samples.size());
  const auto range =
      std::minmax_element(samples.begin() + static_cast<std::ptrdiff_t>(tenth), samples.end());
  std::printf(
      "heap in use: %.0f B after warm-up (mean of the second tenth), %.0f B at the end (mean of "
      "the last tenth), %+.3f %% (limit +1 %%); %zu to %zu B from the second tenth on\n",
      warm, end, (end / warm - 1.0) * 100.0, *range.first, *range.second);
  std::printf("resident set: %.2f MiB at the start, %.2f MiB after warm-up, %.2f MiB at the end\n",
              static_cast<double>(platform.ResidentAtStart()) / 1048576.0,
              static_cast<double>(platform.ResidentAfterWarmUp()) / 1048576.0,
              static_cast<double>(residentAtEnd) / 1048576.0);
  return end <= warm * 1.01;
}

}  // namespace

int main(int argc, char** argv) {
  const int64_t polls = argc > 1 ? std::strtoll(argv[1], nullptr, 10) : 86400;
  const uint64_t seed = argc > 2 ? std::strtoull(argv[2], nullptr, 10) : 1;
  if (polls < 100) {
    std::fprintf(stderr, "usage: endurance_day [POLLS (at least 100)] [SEED]\n");
    return 64;
  }
  endurance::DayLedger ledger;
  endurance::UiHandOff handOff;
  DayPlatform platform(polls, seed, ledger, handOff);
  meter_link::SetUiTaskWindow(&handOff, handOff);

  const auto began = std::chrono::steady_clock::now();
  uint64_t runs = 0;
  {
    const endurance::Watchdog watchdog([&platform] { return platform.FakeMilliseconds(); });
    const auto meter = meter_link::Miernik::Create(nullptr, platform);
    platform.Watch(meter.get());
    meter->ReplaceSink(std::make_unique<endurance::DaySink>(ledger));
    // The interface starts the meter again after every failure, as a person would.
    while (!handOff.DayOver()) {
      if (!meter->IsRunning()) {
        meter->Start();
        ++runs;
      }
      if (!handOff.WaitAndRun()) endurance::ExitHung("waiting for events");
    }
    meter->Stop();
    handOff.RunNow();
  }
  meter_link::ClearUiTaskWindow();
  // Read before the report copies the samples.
  const size_t residentAtEnd = endurance::ResidentBytes();
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - began).count();

  std::printf("day: %" PRId64 " polls, seed %" PRIu64
              ", %.2f h of meter time in %.1f s (%.0f polls/s), %" PRIu64 " runs\n",
              polls, seed, static_cast<double>(platform.FakeMilliseconds()) / 3.6e6, seconds,
              static_cast<double>(polls) / seconds, runs);
  const bool eventsMatch = ledger.Report(stdout);
  const bool flat = ReportHeap(platform, residentAtEnd);
  std::printf("log lines: %" PRIu64 "\n", CountedLogLines());
  std::printf("day: %s\n", eventsMatch && flat ? "passed" : "FAILED");
  return eventsMatch && flat ? 0 : 1;
}
