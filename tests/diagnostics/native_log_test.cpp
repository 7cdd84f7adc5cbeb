// The log against real files, under Wine. The log path is computed once per process, so every
// scenario runs in a child process of its own (this executable started again).
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <regex>
#include <set>
#include <string>
#include <vector>

#include "tests/diagnostics/log_child.h"

namespace {

using Lines = std::vector<std::string>;

const std::string kStart =
    "start: wej\xc5\x9b"
    "cie";
const std::string kLoop = "p\xc4\x99tla: otwieram port";
const std::string kStop = "stop: koniec";
// 557 bytes: the longest message whose line (599 bytes) fits whole.
const std::string kLongestWhole = "test: " + std::string(551, 'w');

struct FindCloser {
  void operator()(HANDLE find) const { FindClose(find); }
};

// path in the "\\?\" form, so that paths past MAX_PATH go too.
void RemoveTree(const std::wstring& path) {
  WIN32_FIND_DATAW entry;
  const HANDLE first = FindFirstFileW((path + L"\\*").c_str(), &entry);
  std::unique_ptr<void, FindCloser> find(first == INVALID_HANDLE_VALUE ? nullptr : first);
  for (bool more = find != nullptr; more; more = FindNextFileW(find.get(), &entry) != FALSE) {
    const std::wstring name = entry.cFileName, child = path + L"\\" + name;
    if (name == L"." || name == L"..") continue;
    if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
      RemoveTree(child);
    } else {
      SetFileAttributesW(child.c_str(), FILE_ATTRIBUTE_NORMAL);
      DeleteFileW(child.c_str());
    }
  }
  find.reset();
  RemoveDirectoryW(path.c_str());
}

bool PathExists(const std::wstring& path) {
  return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

std::wstring LogFileUnder(const std::wstring& base) {
  return base + L"\\Lumerovantix\\logi\\app.log";
}

// The log below base, line by line. A piece not ended by CR LF, or holding another CR or LF,
// reads "<broken>"; the timestamp of a line laid out as "YYYY-MM-DD hh:mm:ss.mmm [INFO]
// miernik: message" reads "<time>" and goes to stamps. Nothing when there is no file.
struct Log {
  Lines lines, stamps;
};

Log ReadLog(const std::wstring& base) {
  const UniqueFileHandle file(CreateFileW(LogFileUnder(base).c_str(), GENERIC_READ,
                                          FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                          nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  std::string text;
  char chunk[4096];
  DWORD count = 0;
  while (file && ReadFile(file.get(), chunk, sizeof chunk, &count, nullptr) && count > 0) {
    text.append(chunk, count);
  }
  static const std::regex layout(R"(\d{4}-\d\d-\d\d \d\d:\d\d:\d\d\.\d{3}( \[INFO\] miernik: .*))");
  Log log;
  for (size_t start = 0; start < text.size();) {
    const size_t end = std::min(text.find("\r\n", start), text.size());
    std::string line = text.substr(start, end - start);
    start = end + 2;
    std::smatch match;
    if (end == text.size() || line.find_first_of("\r\n") != std::string::npos) {
      line = "<broken>";
    } else if (std::regex_match(line, match, layout)) {
      log.stamps.push_back(line.substr(0, 23));
      line = "<time>" + match[1].str();
    }
    log.lines.push_back(line);
  }
  return log;
}

// The lines that logging messages gives, timestamps aside.
Lines Logged(const Lines& messages) {
  Lines lines;
  for (const std::string& message : messages) lines.push_back("<time> [INFO] miernik: " + message);
  return lines;
}

std::string Stamp(const SYSTEMTIME& t) {
  char text[32];
  std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d.%03d", t.wYear, t.wMonth, t.wDay,
                t.wHour, t.wMinute, t.wSecond, t.wMilliseconds);
  return text;
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

// Windows appends a write to a FILE_APPEND_DATA handle atomically. Wine 8 emulates it with
// fstat and pwrite at the size it saw, so racing writers there overwrite each other's lines.
bool RunsUnderWine() {
  const HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
  return ntdll != nullptr && GetProcAddress(ntdll, "wine_get_version") != nullptr;
}

// Each test works in a fresh folder under the temporary folder, removed with everything in it.
class NativeLog : public testing::Test {
 protected:
  void SetUp() override {
    static int counter = 0;
    wchar_t temp[MAX_PATH + 1] = {};
    folder_.assign(temp, GetTempPathW(MAX_PATH + 1, temp));  // ends in a backslash
    folder_ += L"lumero-log-" + std::to_wstring(GetCurrentProcessId()) + L"-" +
               std::to_wstring(counter++) + L"-" + std::to_wstring(GetTickCount64());
    ASSERT_TRUE(CreateDirectoryW(folder_.c_str(), nullptr));
  }
  void TearDown() override { RemoveTree(L"\\\\?\\" + folder_); }
  std::wstring Sub(const std::wstring& name) const {
    CreateDirectoryW((folder_ + L"\\" + name).c_str(), nullptr);
    return folder_ + L"\\" + name;
  }

  std::wstring folder_;
};

}  // namespace

// Two runs append their lines, in local time, after what is there and beside another process
// that holds the file open for appending. The path comes with the first real line, after any
// null ones.
TEST_F(NativeLog, RunsAppendWholeLinesBesideAnotherWriter) {
  Sub(L"Lumerovantix");
  Sub(L"Lumerovantix\\logi");
  const UniqueFileHandle other(CreateFileW(LogFileUnder(folder_).c_str(), FILE_APPEND_DATA,
                                           FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, CREATE_NEW,
                                           FILE_ATTRIBUTE_NORMAL, nullptr));
  ASSERT_TRUE(other);
  DWORD written = 0;
  ASSERT_TRUE(WriteFile(other.get(), "poprzedni\r\n", 11, &written, nullptr));
  SYSTEMTIME before, after;
  GetLocalTime(&before);
  ASSERT_EQ(RunChild({{"(null)", kStart, kLongestWhole}, folder_, L""}), 0);
  ASSERT_EQ(RunChild({{kLoop}, folder_, L""}), 0);
  GetLocalTime(&after);
  ASSERT_TRUE(WriteFile(other.get(), "obcy\r\n", 6, &written, nullptr));

  const Log log = ReadLog(folder_);
  Lines expected = Logged({kStart, kLongestWhole, kLoop});
  expected.insert(expected.begin(), "poprzedni");
  expected.push_back("obcy");
  EXPECT_EQ(log.lines, expected);
  for (const std::string& stamp : log.stamps) {
    EXPECT_LE(Stamp(before), stamp);
    EXPECT_GE(Stamp(after), stamp);
  }
}

TEST_F(NativeLog, MissingLocalAppDataLogsRelativeToTheCurrentFolder) {
  const std::wstring one = Sub(L"one"), two = Sub(L"two"), three = Sub(L"three");
  // Only the first call creates folders; later opens resolve against the folder of their time.
  Sub(L"two\\Lumerovantix");
  Sub(L"two\\Lumerovantix\\logi");
  const Lines steps = {"a: pierwszy", "@cd ..\\two", "b: drugi", "@cd ..\\three", "c: trzeci"};
  ASSERT_EQ(RunChild({steps, std::nullopt, one}), 0);
  EXPECT_EQ(ReadLog(one).lines, Logged({"a: pierwszy"}));
  EXPECT_EQ(ReadLog(two).lines, Logged({"b: drugi"}));
  EXPECT_FALSE(PathExists(three + L"\\Lumerovantix"));
}

// A LOCALAPPDATA of 519 characters is used, one of 520 is ignored for the current folder, a
// missing base folder loses the lines quietly, and null messages create nothing. A new file
// starts with its first line, without a byte-order mark.
TEST_F(NativeLog, BaseFolderIsLocalAppDataUpTo519Characters) {
  const std::wstring base519 = MakeFolderOfLength(Sub(L"a"), 519);
  const std::wstring base520 = MakeFolderOfLength(Sub(L"b"), 520);
  ASSERT_TRUE(base519.size() == 519 && PathExists(base519));
  ASSERT_TRUE(base520.size() == 520 && PathExists(base520));
  const Lines logged = {kStart, kStop};
  const struct {
    const wchar_t* cwd;
    std::wstring base;
    Lines steps;
    bool inBase, inCwd;
  } cases[] = {{L"cwd519", base519, logged, true, false},
               {L"cwd520", base520, logged, false, true},
               {L"cwd-missing", folder_ + L"\\missing", logged, false, false},
               {L"cwd-null", Sub(L"nulls"), {"(null)", "(null)"}, false, false}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.cwd);
    const std::wstring cwd = Sub(c.cwd);
    ASSERT_EQ(RunChild({c.steps, c.base, cwd}), 0);
    EXPECT_EQ(ReadLog(c.base).lines, c.inBase ? Logged(logged) : Lines{});
    EXPECT_EQ(PathExists(c.base + L"\\Lumerovantix"), c.inBase);
    EXPECT_EQ(ReadLog(cwd).lines, c.inCwd ? Logged(logged) : Lines{});
    EXPECT_EQ(PathExists(cwd + L"\\Lumerovantix"), c.inCwd);
  }
  EXPECT_FALSE(PathExists(folder_ + L"\\missing"));
}

TEST_F(NativeLog, ThreadsAndProcessesLoggingAtOnceLeaveWholeLines) {
  ChildProcess a({{"@burst A"}, folder_, L""});
  ChildProcess b({{"@burst B"}, folder_, L""});
  EXPECT_EQ(a.Wait(), 0);
  EXPECT_EQ(b.Wait(), 0);

  const Lines lines = ReadLog(folder_).lines;
  const std::multiset<std::string> logged(lines.begin(), lines.end());
  Lines messages;
  for (const std::string tag : {"A", "B"}) {
    for (int t = 0; t < kBurstThreads; ++t) {
      for (int i = 0; i < kBurstLines; ++i) messages.push_back(BurstMessage(tag, t, i));
    }
  }
  const Lines expected_lines = Logged(messages);
  const std::multiset<std::string> expected(expected_lines.begin(), expected_lines.end());
  if (!RunsUnderWine()) {
    EXPECT_EQ(logged, expected);
    return;
  }
  // Under Wine only what its append emulation keeps: most lines whole, none of them twice.
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
  if (const std::optional<int> code = RunStepsIfChild()) return *code;
  testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
