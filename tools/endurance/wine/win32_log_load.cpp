// The diagnostics log under load under Wine: 8 threads write 10,000 lines each through LogMessage
// while the meter polls the simulator and logs beside them, into a log folder of the run's own.
// Reports how many of the load's lines are whole, lost or glued; fails on a line found twice and on
// anything else broken (see LogPieces). Started by scripts/endurance/log-load.sh; the optional
// argument is the number of lines per thread (10000).
#include <windows.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "runner/diagnostics/native_log.h"
#include "runner/meter/miernik.h"
#include "runner/meter/win32_meter_platform.h"
#include "runner/meter/win32_ui_wake_up.h"
#include "tests/meter/support/recording_sink.h"
#include "tests/meter/win32_message_window.h"
#include "tests/support/meter_simulator_client.h"
#include "tools/endurance/wine/log_pieces.h"
#include "tools/endurance/wine/process_figures.h"
#include "tools/endurance/wine/run_setup.h"

namespace meter_link {
namespace {

constexpr int kThreads = 8;

int Run(int linesPerThread) {
  const std::wstring folder = endurance::UseOwnLogFolder(L"lumero-endurance-log");
  const auto simulator = endurance::ResetSimulator("log-load");
  if (!simulator) {
    return 1;
  }
  MessageWindow window;
  SetUiTaskWindow(window.Handle(), Win32UiWakeUp());
  const auto meter = Miernik::Create(nullptr, Win32MeterPlatform());
  const auto events = std::make_shared<RecordedEvents>();
  meter->ReplaceSink(std::make_unique<RecordingSink>(events));
  if (!meter->Start() ||
      !PumpMessagesUntil([&] { return !events->OfKind("pomiar").empty(); }, 5000)) {
    std::printf("log-load: the meter gave no reading\nlog-load: FAILED\n");
    return 1;
  }

  // The writers start together; the window thread keeps delivering the meter's events meanwhile.
  std::atomic<bool> go{false};
  std::atomic<int> finished{0};
  std::vector<std::thread> writers;
  for (int thread = 0; thread < kThreads; ++thread) {
    writers.emplace_back([&, thread] {
      while (!go.load()) Sleep(0);
      for (int line = 0; line < linesPerThread; ++line)
        LogMessage(endurance::LoadMessage(thread, line).c_str());
      ++finished;
    });
  }
  const ULONGLONG start = GetTickCount64();
  go.store(true);
  PumpMessagesUntil([&] { return finished.load() == kThreads; }, INFINITE);
  const double seconds = static_cast<double>(GetTickCount64() - start) / 1000.0;
  for (std::thread& writer : writers) writer.join();
  meter->Stop();
  PumpMessagesUntil([] { return false; }, 300);
  meter->ReplaceSink(nullptr);
  ClearUiTaskWindow();

  std::ifstream file(std::filesystem::path(LogFilePath()), std::ios::binary);
  const std::string text{std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
  endurance::LogPieces pieces(kThreads, linesPerThread);
  pieces.Read(text);
  const size_t written = static_cast<size_t>(kThreads) * linesPerThread;
  const size_t whole = pieces.Whole();
  std::printf("lines written: %zu by %d threads in %.1f s (%.0f lines/s), %zu bytes of log\n",
              written, kThreads, seconds, static_cast<double>(written) / seconds, text.size());
  std::printf(
      "whole %zu, lost %zu (%.3f %%), glued %zu, fragments %zu; meter lines %zu, "
      "readings %zu\n",
      whole, written - whole,
      100.0 * static_cast<double>(written - whole) / static_cast<double>(written), pieces.glued,
      pieces.fragments, pieces.meterLines, events->OfKind("pomiar").size());
  std::printf("doubled %zu, broken %zu\n", pieces.Doubled(), pieces.brokenCount);
  for (const std::string& piece : pieces.broken) std::printf("  broken: %s\n", piece.c_str());
  const bool passed = pieces.Doubled() == 0 && pieces.brokenCount == 0 && pieces.meterLines > 0;
  if (passed) {
    file.close();
    std::filesystem::remove_all(folder);  // megabytes per run; a failed run's log stays
  } else {
    std::printf("log: %ls\n", LogFilePath().c_str());
  }
  std::printf("log-load: %s\n", passed ? "passed" : "FAILED");
  return passed ? 0 : 1;
}

}  // namespace
}  // namespace meter_link

int main(int argc, char** argv) { return meter_link::Run(argc > 1 ? std::atoi(argv[1]) : 10000); }
