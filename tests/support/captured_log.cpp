#include "tests/support/captured_log.h"

#include <mutex>

#include "runner/diagnostics/native_log.h"

namespace {

std::mutex& LogMutex() {
  static std::mutex mutex;
  return mutex;
}

std::vector<std::string>& Lines() {
  static std::vector<std::string> lines;
  return lines;
}

}  // namespace

void LogMessage(const char* message) {
  if (message == nullptr) return;
  std::lock_guard<std::mutex> lock(LogMutex());
  Lines().emplace_back(message);
}

std::wstring LogFilePath() { return L"(captured in memory)"; }

std::vector<std::string> CapturedLogLines() {
  std::lock_guard<std::mutex> lock(LogMutex());
  return Lines();
}

void ClearCapturedLog() {
  std::lock_guard<std::mutex> lock(LogMutex());
  Lines().clear();
}
