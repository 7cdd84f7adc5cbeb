// Benchmark of the meter link under Wine against the meter simulator (not a test):
//  - latency from the last byte of a frame leaving the simulator to its "pomiar" event being
//    handed to the sink on the UI thread, on the host's one wall clock (CLOCK_REALTIME on the
//    simulator's side, GetSystemTimePreciseAsFileTime here);
//  - the host process's CPU time per minute of polling (GetProcessTimes).
// Started by scripts/bench-meter.sh; the optional argument is the number of readings (70).

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "channels/event_sink.h"
#include "runner/meter/miernik.h"
#include "runner/meter/ui_task_queue.h"
#include "runner/meter/win32_meter_platform.h"
#include "runner/meter/win32_ui_wake_up.h"
#include "tests/meter/support/recording_sink.h"
#include "tests/meter/win32/message_window.h"
#include "tests/support/meter_simulator_client.h"

namespace {

using namespace meter_link;

// Microseconds since 1970-01-01 UTC.
int64_t WallMicroseconds() {
  FILETIME now;
  GetSystemTimePreciseAsFileTime(&now);
  const int64_t ticks = (static_cast<int64_t>(now.dwHighDateTime) << 32) | now.dwLowDateTime;
  return (ticks - 116444736000000000LL) / 10;
}

int64_t ProcessCpuMicroseconds() {
  FILETIME created, exited, kernel, user;
  GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernel, &user);
  auto value = [](const FILETIME& t) {
    return (static_cast<int64_t>(t.dwHighDateTime) << 32) | t.dwLowDateTime;
  };
  return (value(kernel) + value(user)) / 10;
}

// Keeps the arrival time of every reading, by its number byte.
class ArrivalSink final : public flutter::EventSink<flutter::EncodableValue> {
 public:
  std::vector<std::pair<int, int64_t>> arrivals;

 protected:
  void SuccessInternal(const flutter::EncodableValue* event) override {
    const int64_t now = WallMicroseconds();
    if (event == nullptr || RecordedEvents::KindOf(*event) != "pomiar") return;
    arrivals.emplace_back(Field<int32_t>(std::get<flutter::EncodableMap>(*event), "nr"), now);
  }
  void ErrorInternal(const std::string&, const std::string&,
                     const flutter::EncodableValue*) override {}
  void EndOfStreamInternal() override {}
};

// "stamps n:us n:us ..." from the simulator: when each frame's last byte was written.
std::map<int, int64_t> ParseStamps(const std::string& reply) {
  std::map<int, int64_t> stamps;
  std::istringstream in(reply);
  std::string word;
  in >> word;
  while (in >> word) {
    const size_t colon = word.find(':');
    if (colon == std::string::npos) continue;
    stamps[std::atoi(word.substr(0, colon).c_str())] = std::atoll(word.substr(colon + 1).c_str());
  }
  return stamps;
}

double Percentile(std::vector<double> values, double fraction) {
  std::sort(values.begin(), values.end());
  const size_t index = std::min(values.size() - 1, static_cast<size_t>(fraction * values.size()));
  return values[index];
}

}  // namespace

int main(int argc, char** argv) {
  const int wanted = argc > 1 ? std::atoi(argv[1]) : 70;
  std::string error;
  auto simulator = MeterSimulatorClient::FromEnvironment(&error);
  if (!simulator) {
    std::fprintf(stderr, "bench: no simulator: %s\n", error.c_str());
    return 2;
  }
  simulator->Command("reset");
  simulator->Command("value 1234 1 0");
  simulator->Command("stamps?");  // forget earlier ones

  MessageWindow window;
  SetUiTaskWindow(window.Handle(), Win32UiWakeUp());
  auto meter = meter_link::Miernik::Create(nullptr, meter_link::Win32MeterPlatform());
  auto sinkOwner = std::make_unique<ArrivalSink>();
  ArrivalSink* sink = sinkOwner.get();
  meter->ReplaceSink(std::move(sinkOwner));

  const int64_t cpuStart = ProcessCpuMicroseconds();
  const int64_t wallStart = WallMicroseconds();
  if (!meter->Start()) {
    std::fprintf(stderr, "bench: the meter did not start\n");
    return 1;
  }
  const DWORD timeoutMs = static_cast<DWORD>(wanted) * 1500 + 10000;
  if (!PumpMessagesUntil([&] { return static_cast<int>(sink->arrivals.size()) >= wanted; },
                         timeoutMs)) {
    std::fprintf(stderr, "bench: only %zu readings arrived\n", sink->arrivals.size());
    return 1;
  }
  const int64_t wallUsed = WallMicroseconds() - wallStart;
  const int64_t cpuUsed = ProcessCpuMicroseconds() - cpuStart;
  meter->Stop();
  PumpMessagesUntil([] { return false; }, 100);

  const std::map<int, int64_t> stamps = ParseStamps(simulator->Command("stamps?"));
  std::vector<double> latenciesMs;
  for (const auto& [number, arrived] : sink->arrivals) {
    const auto stamp = stamps.find(number);
    if (stamp != stamps.end()) latenciesMs.push_back((arrived - stamp->second) / 1000.0);
  }
  if (latenciesMs.empty()) {
    std::fprintf(stderr, "bench: no frame times from the simulator\n");
    return 1;
  }
  const double cpuPercent = 100.0 * static_cast<double>(cpuUsed) / static_cast<double>(wallUsed);
  std::printf("readings: %zu (matched %zu) in %.1f s\n", sink->arrivals.size(), latenciesMs.size(),
              wallUsed / 1e6);
  std::printf(
      "latency, last byte sent -> event at the sink: median %.1f ms, p99 %.1f ms, "
      "max %.1f ms (the line's inter-byte time-out is 50 ms)\n",
      Percentile(latenciesMs, 0.5), Percentile(latenciesMs, 0.99),
      *std::max_element(latenciesMs.begin(), latenciesMs.end()));
  std::printf("host CPU: %.2f s per minute of polling = %.2f %% of one core\n", cpuPercent * 0.6,
              cpuPercent);
  meter.reset();
  ClearUiTaskWindow();
  return 0;
}
