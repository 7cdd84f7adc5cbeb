// Benchmark of the meter link under Wine against the meter simulator (not a test): the latency
// from the last byte of a frame leaving the simulator to its "pomiar" event at the sink on the
// UI thread, on the host's one wall clock (CLOCK_REALTIME there, GetSystemTimePreciseAsFileTime
// here), and the host process's CPU time per minute of polling. Started by
// scripts/bench-meter.sh; the optional argument is the number of readings (70).
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <sstream>

#include "runner/meter/miernik.h"
#include "runner/meter/win32_meter_platform.h"
#include "runner/meter/win32_ui_wake_up.h"
#include "tests/meter/support/recording_sink.h"
#include "tests/meter/win32_message_window.h"
#include "tests/support/meter_simulator_client.h"

namespace meter_link {
namespace {

int64_t Microseconds(const FILETIME& t) {
  return ((static_cast<int64_t>(t.dwHighDateTime) << 32) | t.dwLowDateTime) / 10;
}
int64_t WallMicroseconds() {  // since 1970-01-01 UTC
  FILETIME now;
  GetSystemTimePreciseAsFileTime(&now);
  return Microseconds(now) - 11644473600000000LL;
}
int64_t ProcessCpuMicroseconds() {
  FILETIME created, exited, kernel, user;
  GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernel, &user);
  return Microseconds(kernel) + Microseconds(user);
}

int Fail(const std::string& why) {
  std::fprintf(stderr, "bench: %s\n", why.c_str());
  return 1;
}

int Benchmark(int wanted) {
  std::string error;
  auto simulator = MeterSimulatorClient::FromEnvironment(&error);
  if (!simulator) return Fail("no simulator: " + error);
  for (const char* command : {"reset", "value 1234 1 0", "stamps?"}) simulator->Command(command);
  MessageWindow window;
  SetUiTaskWindow(window.Handle(), Win32UiWakeUp());
  auto meter = Miernik::Create(nullptr, Win32MeterPlatform());
  const auto events = std::make_shared<RecordedEvents>();
  std::vector<std::pair<int, int64_t>> arrivals;  // number byte, when it reached the sink
  events->onAdd = [&arrivals](const flutter::EncodableMap& map) {
    if (RecordedEvents::KindOf(map) == "pomiar") {
      arrivals.emplace_back(Field<int32_t>(map, "nr"), WallMicroseconds());
    }
  };
  meter->ReplaceSink(std::make_unique<RecordingSink>(events));

  const int64_t cpuStart = ProcessCpuMicroseconds(), wallStart = WallMicroseconds();
  if (!meter->Start()) return Fail("the meter did not start");
  const auto enough = [&] { return static_cast<int>(arrivals.size()) >= wanted; };
  if (!PumpMessagesUntil(enough, static_cast<DWORD>(wanted) * 1500 + 10000)) {
    return Fail("only " + std::to_string(arrivals.size()) + " readings arrived");
  }
  const int64_t wallUsed = WallMicroseconds() - wallStart;
  const int64_t cpuUsed = ProcessCpuMicroseconds() - cpuStart;
  meter->Stop();

  // "stamps n:us n:us ...": when the simulator wrote each frame's last byte.
  std::map<int, int64_t> stamps;
  std::istringstream in(simulator->Command("stamps?"));
  for (std::string item; in >> item;) {
    const size_t colon = item.find(':');
    if (colon != std::string::npos) stamps[std::stoi(item)] = std::stoll(item.substr(colon + 1));
  }
  std::vector<double> ms;
  for (const auto& [nr, arrived] : arrivals) {
    if (stamps.count(nr) != 0) ms.push_back(static_cast<double>(arrived - stamps[nr]) / 1000.0);
  }
  if (ms.empty()) return Fail("no frame times from the simulator");
  std::sort(ms.begin(), ms.end());
  const auto at = [&](double fraction) {
    return ms[std::min(ms.size() - 1,
                       static_cast<size_t>(fraction * static_cast<double>(ms.size())))];
  };
  const double cpuPercent = 100.0 * static_cast<double>(cpuUsed) / static_cast<double>(wallUsed);
  std::printf("readings: %zu (matched %zu) in %.1f s\n", arrivals.size(), ms.size(),
              static_cast<double>(wallUsed) / 1e6);
  std::printf(
      "latency, last byte sent -> event at the sink: median %.1f ms, p99 %.1f ms, "
      "max %.1f ms (the line's inter-byte time-out is 50 ms)\n",
      at(0.5), at(0.99), ms.back());
  std::printf("host CPU: %.2f s per minute of polling = %.2f %% of one core\n", cpuPercent * 0.6,
              cpuPercent);
  meter.reset();
  ClearUiTaskWindow();
  return 0;
}

}  // namespace
}  // namespace meter_link

int main(int argc, char** argv) {
  return meter_link::Benchmark(argc > 1 ? std::atoi(argv[1]) : 70);
}
