#include "tests/diagnostics/log_child.h"

#include <windows.h>

#include <atomic>
#include <map>
#include <thread>

#include "runner/diagnostics/native_log.h"
#include "runner/wide_to_utf8.h"

namespace {

int LogNamed(const std::vector<std::wstring>& names) {
  const std::map<std::wstring, const std::string*> messages = {
      {L"start", &log_messages::kStart},
      {L"loop", &log_messages::kLoop},
      {L"stop", &log_messages::kStop},
      {L"longest-whole", &log_messages::kLongestWhole},
      {L"polish-across-limit", &log_messages::kPolishAcrossLimit},
      {L"overlong-ascii", &log_messages::kOverlongAscii}};
  const std::string empty;
  for (const std::wstring& name : names) {
    if (name == L"null") {
      LogMessage(nullptr);
    } else if (name == L"empty") {
      LogMessage(empty.c_str());
    } else {
      const auto found = messages.find(name);
      if (found == messages.end()) return 3;
      LogMessage(found->second->c_str());
    }
  }
  return 0;
}

int Burst(int threadCount, int lines, const std::string& tag) {
  // Everyone waits at the gate so the first calls, which compute the path, really overlap.
  std::atomic<int> ready{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < threadCount; ++t) {
    threads.emplace_back([&, t] {
      ready.fetch_add(1);
      while (ready.load() < threadCount) std::this_thread::yield();
      for (int i = 0; i < lines; ++i) LogMessage(BurstMessage(tag, t, i).c_str());
    });
  }
  for (std::thread& thread : threads) thread.join();
  return 0;
}

int SwitchFolders(const std::wstring& second, const std::wstring& third) {
  LogMessage("a: pierwszy");
  if (!SetCurrentDirectoryW(second.c_str())) return 4;
  LogMessage("b: drugi");
  if (!SetCurrentDirectoryW(third.c_str())) return 4;
  LogMessage("c: trzeci");
  return 0;
}

}  // namespace

std::string BurstMessage(const std::string& tag, int thread, int line) {
  return "w\xc4\x85tek: " + tag + " " + std::to_string(thread) + " " + std::to_string(line);
}

int RunLogChild(const std::vector<std::wstring>& arguments) {
  if (arguments.empty()) return 2;
  const std::wstring& scenario = arguments[0];
  const std::vector<std::wstring> rest(arguments.begin() + 1, arguments.end());
  if (scenario == L"log") return LogNamed(rest);
  if (scenario == L"burst" && rest.size() == 3) {
    return Burst(std::stoi(rest[0]), std::stoi(rest[1]), WideToUtf8(rest[2]));
  }
  if (scenario == L"cwd-switch" && rest.size() == 2) return SwitchFolders(rest[0], rest[1]);
  return 2;
}
