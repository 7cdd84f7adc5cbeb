#include "tests/support/captured_log.h"

#include <mutex>

#include "runner/diagnostics/native_log.h"

namespace {

struct CapturedLog {
  std::mutex mutex;
  std::vector<std::string> lines;
};

CapturedLog& Captured() {
  static CapturedLog log;
  return log;
}

}  // namespace

void LogMessage(const char* message) {
  if (message == nullptr) return;
  std::lock_guard<std::mutex> lock(Captured().mutex);
  Captured().lines.emplace_back(message);
}

std::wstring LogFilePath() { return L"(captured in memory)"; }

std::vector<std::string> CapturedLogLines() {
  std::lock_guard<std::mutex> lock(Captured().mutex);
  return Captured().lines;
}

void ClearCapturedLog() {
  std::lock_guard<std::mutex> lock(Captured().mutex);
  Captured().lines.clear();
}
