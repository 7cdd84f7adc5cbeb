// The log against real files, under Wine. The log path is computed once per process, so every
// scenario runs in a child process of its own.
#include <windows.h>

#include <gtest/gtest.h>

#include <atomic>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "runner/diagnostics/native_log.h"
#include "runner/win32_unique_handle.h"
#include "tests/diagnostics/self_child.h"

namespace {

using Lines = std::vector<std::string>;

constexpr int kThreads = 4;
constexpr int kBurstLines = 40;
const std::string kStart =
    "start: wej\xc5\x9b"
    "cie";
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

bool PathExists(const std::wstring& path) {
  return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

// A folder whose path ("\\?\" form, past MAX_PATH) is exactly length characters long.
std::wstring MakeFolderOfLength(const std::wstring& root, size_t length) {
  std::wstring path = L"\\\\?\\" + root;
  while (path.size() < length) {
    const size_t left = length - path.size();
    // A component costs its backslash; never leave a single character for the next one.
    size_t size = std::min<size_t>(left - 1, 200);
    if (left - 1 - size == 1) --size;
    path += L"\\" + std::wstring(size, L'p');
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
  const std::wstring folder = TestFolder(L"append");
  const std::string longestWhole = "test: " + std::string(551, 'w');
  const UniqueFileHandle other(CreateFileW(
      (TestFolder(L"append\\Lumerovantix\\logi") + L"\\app.log").c_str(), FILE_APPEND_DATA,
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
  const std::wstring base519 = MakeFolderOfLength(TestFolder(L"base\\a"), 519);
  const std::wstring base520 = MakeFolderOfLength(TestFolder(L"base\\b"), 520);
  ASSERT_EQ(base519.size(), 519u);
  ASSERT_EQ(base520.size(), 520u);
  const std::wstring missing = TestFolder(L"base") + L"\\missing";
  TestFolder(L"base\\later\\Lumerovantix\\logi");
  const Lines logged = {kStart, kLoop};
  const struct {
    const wchar_t* cwd;
    std::wstring base;  // empty: LOCALAPPDATA removed
    Lines steps, inBase, inCwd;
  } cases[] = {{L"cwd519", base519, logged, logged, {}},
               {L"cwd520", base520, logged, {}, logged},
               {L"cwd", L"", {kStart, "@cd ..\\later", kLoop}, {}, {kStart}},
               {L"cwd-missing", missing, logged, {}, {}},
               {L"cwd-null", TestFolder(L"base\\nulls"), {"(null)", "(null)"}, {}, {}}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.cwd);
    const std::wstring cwd = TestFolder(std::wstring(L"base\\") + c.cwd);
    const std::optional<std::wstring> base = c.base.empty() ? std::nullopt : std::optional(c.base);
    EXPECT_EQ(RunSelfChild({c.steps, base, cwd}).exitCode, 0u);
    EXPECT_EQ(LoggedMessages(c.base), Joined(c.inBase));
    EXPECT_EQ(PathExists(c.base + L"\\Lumerovantix"), !c.inBase.empty());
    EXPECT_EQ(LoggedMessages(cwd), Joined(c.inCwd));
    EXPECT_EQ(PathExists(cwd + L"\\Lumerovantix"), !c.inCwd.empty());
  }
  EXPECT_EQ(LoggedMessages(TestFolder(L"base\\later")), Joined({kLoop}));
  EXPECT_FALSE(PathExists(missing));
}

// Windows appends to a FILE_APPEND_DATA handle atomically. Wine 8 emulates it with fstat and
// pwrite at the size it saw, so racing writers there overwrite each other's lines: most lines
// whole, none of them twice.
TEST(NativeLog, ThreadsAndProcessesLoggingAtOnceLeaveWholeLines) {
  const std::wstring folder = TestFolder(L"burst");
  for (const ChildResult& run :
       RunSelfChildren({{{"@burst A"}, folder, L""}, {{"@burst B"}, folder, L""}})) {
    EXPECT_EQ(run.exitCode, 0u);
  }
  std::multiset<std::string> logged;
  std::istringstream messages(LoggedMessages(folder));
  for (std::string line; std::getline(messages, line);) logged.insert(line);
  size_t whole = 0;
  for (const char* tag : {"A", "B"}) {
    for (int t = 0; t < kThreads; ++t) {
      for (int i = 0; i < kBurstLines; ++i) {
        EXPECT_LE(logged.count(BurstMessage(tag, t, i)), 1u) << BurstMessage(tag, t, i);
        whole += logged.count(BurstMessage(tag, t, i));
      }
    }
  }
  EXPECT_GE(whole, 2u * kThreads * kBurstLines * 9 / 10);
  std::printf("%zu of %d lines whole\n", whole, 2 * kThreads * kBurstLines);
}
