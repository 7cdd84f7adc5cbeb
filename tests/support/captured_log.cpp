#include "tests/support/captured_log.h"

#include <mutex>

#include "runner/diagnostics/native_log.h"

namespace {

std::mutex mutex;
std::vector<std::string> lines;  // destroyed at exit after every test has run

}  // namespace

void LogMessage(const char* message) {
  if (message == nullptr) return;
  std::lock_guard<std::mutex> lock(mutex);
  lines.emplace_back(message);
}

std::wstring LogFilePath() { return L"(captured in memory)"; }

std::vector<std::string> CapturedLogLines() {
  std::lock_guard<std::mutex> lock(mutex);
  return lines;
}

void ClearCapturedLog() {
  std::lock_guard<std::mutex> lock(mutex);
  lines.clear();
}
