// The log against real files, under Wine. The log path is computed once per process, so every
// scenario runs in a child process of its own.
#include <windows.h>

#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "runner/diagnostics/native_log.h"
#include "runner/win32_unique_handle.h"
#include "tests/diagnostics/win32_self_child.h"
#include "tests/support/win32_scratch.h"
#include "tests/support/win32_time_zone.h"

namespace {

using Lines = std::vector<std::string>;

constexpr int kThreads = 4;
constexpr int kBurstLines = 40;
const std::string kStart = "start: wej\u015bcie";
const std::string kLoop = "p\xc4\x99tla: otwieram port";

std::string BurstMessage(const std::string& tag, int thread, int line) {
  return "w\xc4\x85tek: " + tag + " " + std::to_string(thread) + " " + std::to_string(line);
}

void Burst(const std::string& tag) {
  // Everyone waits at the gate so that the first calls, which compute the path, overlap.
  std::atomic<int> ready{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      ready.fetch_add(1);
      while (ready.load() < kThreads) std::this_thread::yield();
      for (int i = 0; i < kBurstLines; ++i) LogMessage(BurstMessage(tag, t, i).c_str());
    });
  }
  for (std::thread& thread : threads) thread.join();
}

// A folder whose path ("\\?\" form, past MAX_PATH) is exactly length characters long.
std::wstring MakeFolderOfLength(const std::wstring& root, size_t length) {
  std::wstring path = L"\\\\?\\" + root;
  while (path.size() < length) {
    const size_t left = length - path.size();  // the last component takes up to 200
    path += L"\\" + std::wstring(left > 201 ? 100 : left - 1, L'p');
    CreateDirectoryW(path.c_str(), nullptr);
  }
  return path;
}

}  // namespace

// A child's steps: "(null)" logs a null pointer, "@cd DIR" changes the current folder, "@burst
// TAG" has kThreads threads start together and log kBurstLines lines each; others are logged.
int RunChild(const Lines& steps) {
  for (const std::string& step : steps) {
    if (step.rfind("@burst ", 0) == 0) {
      Burst(step.substr(7));
    } else if (step.rfind("@cd ", 0) == 0) {
      SetCurrentDirectoryA(step.substr(4).c_str());
    } else {
      LogMessage(step == "(null)" ? nullptr : step.c_str());
    }
  }
  return 0;
}

// Two runs append their lines after what is there and beside another process that holds the
// file open for appending. The path comes with the first real line; a line of 599 bytes is whole.
TEST(NativeLog, RunsAppendWholeLinesBesideAnotherWriter) {
  const std::wstring folder = TestFolder("append");
  const std::string longestWhole = "test: " + std::string(551, 'w');
  const UniqueFileHandle other(CreateFileW(
      (TestFolder("append\\Lumerovantix\\logi") + L"\\app.log").c_str(), FILE_APPEND_DATA,
      FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr));
  DWORD written = 0;
  ASSERT_TRUE(WriteFile(other.get(), "poprzedni\r\n", 11, &written, nullptr));
  EXPECT_EQ(RunSelfChild({{"(null)", kStart, longestWhole}, folder, L""}).exitCode, 0u);
  EXPECT_EQ(RunSelfChild({{kLoop}, folder, L""}).exitCode, 0u);
  ASSERT_TRUE(WriteFile(other.get(), "obcy\r\n", 6, &written, nullptr));
  EXPECT_EQ(LoggedMessages(folder),
            "poprzedni\r\n" + Joined({kStart, longestWhole, kLoop}) + "obcy\r\n");
}

// LOCALAPPDATA up to 519 characters is the base folder; one of 520 or none means the current
// folder, and then only the first line creates folders: each open resolves against the current
// folder of its time. A missing base folder loses the lines quietly; null messages create nothing.
TEST(NativeLog, BaseFolderIsLocalAppDataUpTo519CharactersElseTheCurrentFolder) {
  const std::wstring base519 = MakeFolderOfLength(TestFolder("base\\a"), 519);
  const std::wstring base520 = MakeFolderOfLength(TestFolder("base\\b"), 520);
  ASSERT_TRUE(base519.size() == 519 && base520.size() == 520);
  const std::wstring missing = TestFolder("base") + L"\\missing";
  TestFolder("base\\later\\Lumerovantix\\logi");
  const Lines logged = {kStart, kLoop};
  const struct {
    const char* cwd;
    std::wstring base;  // empty: LOCALAPPDATA removed
    Lines steps, inBase, inCwd;
  } cases[] = {{"cwd519", base519, logged, logged, {}},
               {"cwd520", base520, logged, {}, logged},
               {"cwd", L"", {kStart, "@cd ..\\later", kLoop}, {}, {kStart}},
               {"cwd-missing", missing, logged, {}, {}},
               {"cwd-null", TestFolder("base\\nulls"), {"(null)", "(null)"}, {}, {}}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.cwd);
    const std::wstring cwd = TestFolder(std::string("base\\") + c.cwd);
    const std::optional<std::wstring> base = c.base.empty() ? std::nullopt : std::optional(c.base);
    EXPECT_EQ(RunSelfChild({c.steps, base, cwd}).exitCode, 0u);
    EXPECT_EQ(LoggedMessages(c.base), Joined(c.inBase));
    EXPECT_EQ(std::filesystem::exists(c.base + L"\\Lumerovantix"), !c.inBase.empty());
    EXPECT_EQ(LoggedMessages(cwd), Joined(c.inCwd));
    EXPECT_EQ(std::filesystem::exists(cwd + L"\\Lumerovantix"), !c.inCwd.empty());
  }
  EXPECT_EQ(LoggedMessages(TestFolder("base\\later")), Joined({kLoop}));
}

// Windows appends to a FILE_APPEND_DATA handle atomically. Wine 8 emulates it with fstat and
// pwrite at the size it saw, so racing writers there overwrite each other's lines: most lines
// whole, none of them twice. On Windows every line must be whole.
TEST(NativeLog, ThreadsAndProcessesLoggingAtOnceLeaveWholeLines) {
  const std::wstring folder = TestFolder("burst");
  for (const ChildResult& run :
       RunSelfChildren({{{"@burst A"}, folder, L""}, {{"@burst B"}, folder, L""}})) {
    EXPECT_EQ(run.exitCode, 0u);
  }
  std::multiset<std::string> logged;
  std::istringstream messages(LoggedMessages(folder));
  for (std::string line; std::getline(messages, line);) logged.insert(line);
  size_t whole = 0;
  for (const char* tag : {"A", "B"}) {
    for (int n = 0; n < kThreads * kBurstLines; ++n) {
      const std::string message = BurstMessage(tag, n / kBurstLines, n % kBurstLines);
      EXPECT_LE(logged.count(message), 1u) << message;
      whole += logged.count(message);
    }
  }
  const bool underWine =
      GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "wine_get_version") != nullptr;
  const size_t all = 2u * kThreads * kBurstLines;
  EXPECT_GE(whole, underWine ? all * 9 / 10 : all);
}

// Lines carry local time. Under Wine this run is three hours ahead of UTC
// (LUMERO_ZONE_AHEAD_OF_UTC); the independent clock is the C runtime's, which reads the time in
// UTC and applies the zone by its own rules.
TEST(NativeLog, LinesCarryLocalTime) {
  if (!test_support::LocalTimeDiffersFromUtc()) GTEST_SKIP() << "local time is UTC here";
  const std::wstring folder = TestFolder("zone");
  const std::time_t before = std::time(nullptr);
  EXPECT_EQ(RunSelfChild({{kStart}, folder, L""}).exitCode, 0u);
  const std::time_t after = std::time(nullptr);
  const std::string line = test_support::FileText(folder + L"\\Lumerovantix\\logi\\app.log");
  std::tm stamp = {};
  ASSERT_EQ(std::sscanf(line.c_str(), "%4d-%2d-%2d %2d:%2d:%2d.", &stamp.tm_year, &stamp.tm_mon,
                        &stamp.tm_mday, &stamp.tm_hour, &stamp.tm_min, &stamp.tm_sec),
            6)
      << line;
  stamp.tm_year -= 1900;
  stamp.tm_mon -= 1;
  stamp.tm_isdst = -1;
  // Whole seconds on both sides, and a minute's leeway for a slow machine; a zone is hours.
  const std::time_t logged = std::mktime(&stamp);
  EXPECT_GE(logged, before - 60) << line;
  EXPECT_LE(logged, after + 60) << line;
}
