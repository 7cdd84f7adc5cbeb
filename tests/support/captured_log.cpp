#include "tests/support/captured_log.h"

#include <mutex>

#include "runner/diagnostics/native_log.h"

namespace {

// Destroyed at exit, after every test has run; a meter thread that destroyed its own meter is not
// joined, so its last lines are ordered before the destruction by the lock.
struct Captured {
  std::mutex mutex;
  std::vector<std::string> lines;
  ~Captured() {
    std::lock_guard<std::mutex> lock(mutex);
    lines.clear();
  }
};
Captured captured;

}  // namespace

void LogMessage(const char* message) {
  if (message == nullptr) return;
  std::lock_guard<std::mutex> lock(captured.mutex);
  captured.lines.emplace_back(message);
}

std::wstring LogFilePath() { return L"(captured in memory)"; }

std::vector<std::string> CapturedLogLines() {
  std::lock_guard<std::mutex> lock(captured.mutex);
  return captured.lines;
}

void ClearCapturedLog() {
  std::lock_guard<std::mutex> lock(captured.mutex);
  captured.lines.clear();
}
