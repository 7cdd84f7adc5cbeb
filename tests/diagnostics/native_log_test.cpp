// The log against real files, under Wine. The log path is computed once per process, so every
// scenario runs in a child process of its own (this executable started again).
#include <windows.h>

#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "runner/diagnostics/native_log.h"
#include "tests/diagnostics/self_child.h"

namespace {

using Lines = std::vector<std::string>;

constexpr int kThreads = 4;
constexpr int kBurstLines = 40;
const std::string kStart =
    "start: wej\xc5\x9b"
    "cie";
const std::string kLoop = "p\xc4\x99tla: otwieram port";
// 557 bytes: the longest message whose line (599 bytes) fits whole.
const std::string kLongestWhole = "test: " + std::string(551, 'w');

std::string BurstMessage(const std::string& tag, int thread, int line) {
  return "w\xc4\x85tek: " + tag + " " + std::to_string(thread) + " " + std::to_string(line);
}

// A child's steps: "(null)" logs a null pointer, "@burst TAG" has kThreads threads start together
// and log kBurstLines lines each, anything else is logged as it is.
int TakeSteps(const Lines& steps) {
  for (const std::string& step : steps) {
    if (step == "(null)") {
      LogMessage(nullptr);
    } else if (step.rfind("@burst ", 0) == 0) {
      // Everyone waits at the gate so that the first calls, which compute the path, overlap.
      std::atomic<int> ready{0};
      std::vector<std::thread> threads;
      for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&, t] {
          ready.fetch_add(1);
          while (ready.load() < kThreads) std::this_thread::yield();
          for (int i = 0; i < kBurstLines; ++i) {
            LogMessage(BurstMessage(step.substr(7), t, i).c_str());
          }
        });
      }
      for (std::thread& thread : threads) thread.join();
    } else {
      LogMessage(step.c_str());
    }
  }
  return 0;
}

std::string Joined(const Lines& messages) {
  std::string joined;
  for (const std::string& message : messages) joined += message + "\n";
  return joined;
}

// The messages of the log below base, each ended by LF. Whatever is not laid out as a whole log
// line stays as it is, and so fails a comparison.
std::string Messages(const std::wstring& base) {
  std::ifstream file(std::filesystem::path(base + L"\\Lumerovantix\\logi\\app.log"),
                     std::ios::binary);
  const std::string text(std::istreambuf_iterator<char>(file), {});
  static const std::regex line(
      R"(\d{4}-\d\d-\d\d \d\d:\d\d:\d\d\.\d{3} \[INFO\] miernik: ([^\r\n]*)\r\n)");
  return std::regex_replace(text, line, "$1\n");
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

// Every test works in a folder of its own below this one, removed at the end.
std::wstring Folder(const std::wstring& name) {
  const std::filesystem::path path = std::filesystem::temp_directory_path() /
                                     ("lumero-log-" + std::to_string(GetCurrentProcessId()));
  std::filesystem::create_directories(path / name);
  return (path / name).wstring();
}

}  // namespace

// Two runs append their lines after what is there and beside another process that holds the
// file open for appending. The path comes with the first real line.
TEST(NativeLog, RunsAppendWholeLinesBesideAnotherWriter) {
  const std::wstring folder = Folder(L"append");
  const UniqueFileHandle other(CreateFileW(
      (Folder(L"append\\Lumerovantix\\logi") + L"\\app.log").c_str(), FILE_APPEND_DATA,
      FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr));
  ASSERT_TRUE(other);
  DWORD written = 0;
  ASSERT_TRUE(WriteFile(other.get(), "poprzedni\r\n", 11, &written, nullptr));
  EXPECT_EQ(RunSelfChild({{"(null)", kStart, kLongestWhole}, folder, L""}).exitCode, 0u);
  EXPECT_EQ(RunSelfChild({{kLoop}, folder, L""}).exitCode, 0u);
  ASSERT_TRUE(WriteFile(other.get(), "obcy\r\n", 6, &written, nullptr));

  EXPECT_EQ(Messages(folder),
            "poprzedni\r\n" + Joined({kStart, kLongestWhole, kLoop}) + "obcy\r\n");
}

// LOCALAPPDATA up to 519 characters is the base folder; one of 520 or none means the current
// folder. A missing base folder loses the lines quietly; null messages create nothing.
TEST(NativeLog, BaseFolderIsLocalAppDataUpTo519CharactersElseTheCurrentFolder) {
  const std::wstring base519 = MakeFolderOfLength(Folder(L"base\\a"), 519);
  const std::wstring base520 = MakeFolderOfLength(Folder(L"base\\b"), 520);
  ASSERT_TRUE(base519.size() == 519 && PathExists(base519));
  ASSERT_TRUE(base520.size() == 520 && PathExists(base520));
  const Lines logged = {kStart, kLoop};
  const struct {
    const wchar_t* cwd;
    std::wstring base;  // empty: LOCALAPPDATA removed
    Lines steps;
    bool inBase, inCwd;
  } cases[] = {{L"cwd519", base519, logged, true, false},
               {L"cwd520", base520, logged, false, true},
               {L"cwd-none", L"", logged, false, true},
               {L"cwd-missing", Folder(L"base") + L"\\missing", logged, false, false},
               {L"cwd-null", Folder(L"base\\nulls"), {"(null)", "(null)"}, false, false}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.cwd);
    const std::wstring cwd = Folder(std::wstring(L"base\\") + c.cwd);
    const std::optional<std::wstring> base = c.base.empty() ? std::nullopt : std::optional(c.base);
    EXPECT_EQ(RunSelfChild({c.steps, base, cwd}).exitCode, 0u);
    EXPECT_EQ(Messages(c.base), c.inBase ? Joined(logged) : "");
    EXPECT_EQ(PathExists(c.base + L"\\Lumerovantix"), c.inBase);
    EXPECT_EQ(Messages(cwd), c.inCwd ? Joined(logged) : "");
    EXPECT_EQ(PathExists(cwd + L"\\Lumerovantix"), c.inCwd);
  }
  EXPECT_FALSE(PathExists(Folder(L"base") + L"\\missing"));
}

TEST(NativeLog, ThreadsAndProcessesLoggingAtOnceLeaveWholeLines) {
  const std::wstring folder = Folder(L"burst");
  SelfChild a({{"@burst A"}, folder, L""});
  SelfChild b({{"@burst B"}, folder, L""});
  EXPECT_EQ(a.Finish().exitCode, 0u);
  EXPECT_EQ(b.Finish().exitCode, 0u);

  std::multiset<std::string> logged, expected;
  std::istringstream messages(Messages(folder));
  for (std::string line; std::getline(messages, line);) logged.insert(line);
  for (const std::string tag : {"A", "B"}) {
    for (int t = 0; t < kThreads; ++t) {
      for (int i = 0; i < kBurstLines; ++i) expected.insert(BurstMessage(tag, t, i));
    }
  }
  // Windows appends to a FILE_APPEND_DATA handle atomically. Wine 8 emulates it with fstat and
  // pwrite at the size it saw, so racing writers there overwrite each other's lines: most lines
  // whole, none of them twice.
  size_t whole = 0;
  for (const std::string& line : logged) {
    if (expected.count(line) == 0) continue;
    EXPECT_EQ(logged.count(line), 1u) << line;
    ++whole;
  }
  EXPECT_GE(whole, expected.size() * 9 / 10);
  std::printf("under Wine: %zu of %zu lines whole\n", whole, expected.size());
}

int main(int argc, char** argv) {
  if (const std::optional<Lines> steps = ChildArguments()) return TakeSteps(*steps);
  testing::InitGoogleTest(&argc, argv);
  const int result = RUN_ALL_TESTS();
  std::error_code ignored;
  std::filesystem::remove_all(L"\\\\?\\" + Folder(L""), ignored);
  return result;
}
