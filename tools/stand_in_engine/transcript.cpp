#include "tools/stand_in_engine/transcript.h"

#include <chrono>
#include <cstdio>
#include <memory>
#include <mutex>
#include <optional>

#include "tools/stand_in_engine/environment.h"
#include "tools/stand_in_engine/wire_text.h"

namespace stand_in {
namespace {

const std::chrono::steady_clock::time_point kLoaded = std::chrono::steady_clock::now();

struct FileCloser {
  void operator()(FILE* file) const { std::fclose(file); }
};

void AppendLine(const std::string& channel, const std::string& direction, size_t size,
                const std::string& hex, const std::string& summary) {
  static std::mutex fileMutex;
  std::optional<std::wstring> path = EnvironmentText(L"LUMERO_STANDIN_TRANSCRIPT");
  if (!path || path->empty()) {
    return;
  }
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - kLoaded).count();
  char time[32];
  std::snprintf(time, sizeof time, "%.3f", seconds);
  const std::string line = std::string(time) + " " + (channel.empty() ? "-" : channel) + " " +
                           direction + " " + std::to_string(size) + " " +
                           (hex.empty() ? "-" : hex) + " | " + summary + "\n";
  // Opened for every line, so a crash loses nothing and tests can read it at any time.
  std::lock_guard<std::mutex> lock(fileMutex);
  std::unique_ptr<FILE, FileCloser> file(_wfopen(path->c_str(), L"ab"));
  if (file) {
    std::fwrite(line.data(), 1, line.size(), file.get());
  }
}

}  // namespace

void WriteTranscriptMessage(const std::string& channel, const std::string& direction,
                            const uint8_t* bytes, size_t size, bool preferMethodCall) {
  AppendLine(channel, direction, size, HexBytes(bytes, size),
             SummarizeMessage(bytes, size, preferMethodCall));
}

void WriteTranscriptEvent(const std::string& event, const std::string& text) {
  AppendLine("-", event, 0, "", text);
}

}  // namespace stand_in
