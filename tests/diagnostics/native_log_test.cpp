// The log against real files, under Wine. The log path is computed once per process, so every
// scenario runs in a child process of its own (this executable started again with kChildFlag).
#include <windows.h>

#include <shellapi.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "tests/diagnostics/child_process.h"
#include "tests/diagnostics/log_child.h"
#include "tests/diagnostics/log_file_lines.h"
#include "tests/diagnostics/test_files.h"
#include "tests/diagnostics/unique_handle.h"

namespace {

using namespace log_messages;

constexpr size_t kLongestLine = 599;

// Every line of the log below base, each checked for the layout; empty when there is no file.
std::vector<ParsedLogLine> ReadLog(const std::wstring& base) {
  const std::optional<std::string> text = ReadWholeFile(LogFileUnder(base));
  if (!text) return {};
  const auto lines = SplitLogLines(*text);
  EXPECT_TRUE(lines) << "a line does not end in CR LF";
  std::vector<ParsedLogLine> parsed;
  for (const std::string& line : lines.value_or(std::vector<std::string>())) {
    const auto one = ParseLogLine(line);
    EXPECT_TRUE(one) << line;
    if (one) parsed.push_back(*one);
  }
  return parsed;
}

std::vector<std::string> Messages(const std::vector<ParsedLogLine>& lines) {
  std::vector<std::string> messages;
  for (const ParsedLogLine& line : lines) messages.push_back(line.message);
  return messages;
}

ULONGLONG Ticks(const SYSTEMTIME& time) {
  FILETIME file = {};
  EXPECT_TRUE(SystemTimeToFileTime(&time, &file));
  return (static_cast<ULONGLONG>(file.dwHighDateTime) << 32) | file.dwLowDateTime;
}

ULONGLONG Ticks(const ParsedLogLine& line) {
  SYSTEMTIME time = {};
  time.wYear = static_cast<WORD>(line.year);
  time.wMonth = static_cast<WORD>(line.month);
  time.wDay = static_cast<WORD>(line.day);
  time.wHour = static_cast<WORD>(line.hour);
  time.wMinute = static_cast<WORD>(line.minute);
  time.wSecond = static_cast<WORD>(line.second);
  time.wMilliseconds = static_cast<WORD>(line.milliseconds);
  return Ticks(time);
}

ChildSetup LogInto(const std::wstring& base, std::vector<std::wstring> arguments) {
  ChildSetup setup;
  setup.arguments = std::move(arguments);
  setup.localAppData = base;
  return setup;
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

TEST(NativeLog, LineCarriesLocalTimeLevelTagAndPolishText) {
  TempFolder folder;
  SYSTEMTIME before;
  GetLocalTime(&before);
  ASSERT_EQ(RunChild(LogInto(folder.Path(), {L"log", L"start", L"loop"})), 0);
  SYSTEMTIME after;
  GetLocalTime(&after);

  const std::vector<ParsedLogLine> lines = ReadLog(folder.Path());
  ASSERT_EQ(Messages(lines), (std::vector<std::string>{kStart, kLoop}));
  for (const ParsedLogLine& line : lines) {
    EXPECT_LE(Ticks(before), Ticks(line));
    EXPECT_LE(Ticks(line), Ticks(after));
  }
  const std::string expectedStart =
      "start: wej\xc5\x9b"
      "cie";
  const std::string text = ReadWholeFile(LogFileUnder(folder.Path())).value_or("");
  EXPECT_EQ(text.substr(23, 17 + expectedStart.size() + 2),
            " [INFO] miernik: " + expectedStart + "\r\n");
  EXPECT_NE(text.compare(0, 3, "\xef\xbb\xbf"), 0) << "no byte-order mark";
}

TEST(NativeLog, NullMessageWritesNothingAndCreatesNoFolder) {
  TempFolder folder;
  ASSERT_EQ(RunChild(LogInto(folder.Path(), {L"log", L"null"})), 0);
  EXPECT_FALSE(PathExists(folder.Path() + L"\\Lumerovantix"));

  // The path is computed by the first real line, after any number of null ones.
  ASSERT_EQ(RunChild(LogInto(folder.Path(), {L"log", L"null", L"stop", L"null"})), 0);
  EXPECT_EQ(Messages(ReadLog(folder.Path())), std::vector<std::string>{kStop});
}

TEST(NativeLog, MissingLocalAppDataLogsRelativeToTheCurrentFolder) {
  TempFolder folder;
  const std::wstring first = folder.MakeSub(L"one");
  const std::wstring second = folder.MakeSub(L"two");
  const std::wstring third = folder.MakeSub(L"three");
  // Only the first call creates folders; later opens resolve against the folder of their time.
  folder.MakeSub(L"two\\Lumerovantix");
  folder.MakeSub(L"two\\Lumerovantix\\logi");

  ChildSetup setup;
  setup.arguments = {L"cwd-switch", second, third};
  setup.currentDirectory = first;
  ASSERT_EQ(RunChild(setup), 0);

  EXPECT_EQ(Messages(ReadLog(first)), std::vector<std::string>{"a: pierwszy"});
  EXPECT_EQ(Messages(ReadLog(second)), std::vector<std::string>{"b: drugi"});
  EXPECT_FALSE(PathExists(third + L"\\Lumerovantix"));
}

TEST(NativeLog, LocalAppDataOf519CharactersIsUsedAnd520Ignored) {
  TempFolder folder;
  const std::wstring base519 = MakeFolderOfLength(folder.MakeSub(L"a"), 519);
  const std::wstring base520 = MakeFolderOfLength(folder.MakeSub(L"b"), 520);
  ASSERT_EQ(base519.size(), 519u);
  ASSERT_EQ(base520.size(), 520u);
  ASSERT_TRUE(PathExists(base519));
  ASSERT_TRUE(PathExists(base520));

  ChildSetup setup = LogInto(base519, {L"log", L"start"});
  setup.currentDirectory = folder.MakeSub(L"cwd519");
  ASSERT_EQ(RunChild(setup), 0);
  EXPECT_EQ(Messages(ReadLog(base519)), std::vector<std::string>{kStart});
  EXPECT_FALSE(PathExists(setup.currentDirectory + L"\\Lumerovantix"));

  setup = LogInto(base520, {L"log", L"loop"});
  setup.currentDirectory = folder.MakeSub(L"cwd520");
  ASSERT_EQ(RunChild(setup), 0);
  EXPECT_EQ(Messages(ReadLog(setup.currentDirectory)), std::vector<std::string>{kLoop});
  EXPECT_FALSE(PathExists(base520 + L"\\Lumerovantix"));
}

TEST(NativeLog, MissingBaseFolderLosesTheLineQuietly) {
  TempFolder folder;
  const std::wstring missing = folder.Path() + L"\\missing";
  ChildSetup setup = LogInto(missing, {L"log", L"start", L"stop"});
  setup.currentDirectory = folder.MakeSub(L"cwd");
  ASSERT_EQ(RunChild(setup), 0);
  EXPECT_FALSE(PathExists(missing));
  EXPECT_FALSE(PathExists(setup.currentDirectory + L"\\Lumerovantix"));
}

TEST(NativeLog, AppendsAcrossRunsAndBesideOtherWriters) {
  TempFolder folder;
  folder.MakeSub(L"Lumerovantix");
  folder.MakeSub(L"Lumerovantix\\logi");
  const std::wstring file = LogFileUnder(folder.Path());
  ASSERT_TRUE(AppendToFile(file, "poprzedni\r\n"));

  ASSERT_EQ(RunChild(LogInto(folder.Path(), {L"log", L"start"})), 0);
  {
    // Another writer holds the file open the whole time the next run logs.
    const UniqueHandle other(CreateFileW(file.c_str(), FILE_APPEND_DATA,
                                         FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                         FILE_ATTRIBUTE_NORMAL, nullptr));
    ASSERT_TRUE(other.IsValid());
    ASSERT_EQ(RunChild(LogInto(folder.Path(), {L"log", L"loop"})), 0);
    DWORD written = 0;
    ASSERT_TRUE(WriteFile(other.Get(), "obcy\r\n", 6, &written, nullptr));
  }

  const std::string text = ReadWholeFile(file).value_or("");
  const auto lines = SplitLogLines(text);
  ASSERT_TRUE(lines);
  ASSERT_EQ(lines->size(), 4u);
  EXPECT_EQ((*lines)[0], "poprzedni");
  EXPECT_EQ(ParseLogLine((*lines)[1]).value_or(ParsedLogLine()).message, kStart);
  EXPECT_EQ(ParseLogLine((*lines)[2]).value_or(ParsedLogLine()).message, kLoop);
  EXPECT_EQ((*lines)[3], "obcy");
}

// Windows appends a write to a FILE_APPEND_DATA handle atomically. Wine 8 emulates it with
// fstat and pwrite at the size it saw, so racing writers there overwrite each other's lines.
bool RunsUnderWine() {
  const HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
  return ntdll != nullptr && GetProcAddress(ntdll, "wine_get_version") != nullptr;
}

// Lines of the log that are whole and well-formed, and how many pieces are not.
struct LogScan {
  std::vector<std::string> messages;
  size_t broken = 0;
};

LogScan ScanLog(const std::string& text) {
  LogScan scan;
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find("\r\n", start);
    const bool ended = end != std::string::npos;
    if (!ended) end = text.size();
    const std::string line = text.substr(start, end - start);
    const auto parsed = ParseLogLine(line);
    if (ended && parsed && line.find_first_of("\r\n") == std::string::npos) {
      scan.messages.push_back(parsed->message);
    } else {
      ++scan.broken;
    }
    start = end + 2;
  }
  return scan;
}

TEST(NativeLog, ThreadsAndProcessesLoggingAtOnceLeaveWholeLines) {
  TempFolder folder;
  constexpr int kThreads = 4;
  constexpr int kLines = 40;
  const std::vector<std::string> tags = {"A", "B"};
  std::vector<std::unique_ptr<ChildProcess>> children;
  for (const std::string& tag : tags) {
    children.push_back(std::make_unique<ChildProcess>(
        LogInto(folder.Path(), {L"burst", std::to_wstring(kThreads), std::to_wstring(kLines),
                                std::wstring(tag.begin(), tag.end())})));
  }
  for (auto& child : children) EXPECT_EQ(child->Wait(), 0);

  std::multiset<std::string> expected;
  for (const std::string& tag : tags) {
    for (int t = 0; t < kThreads; ++t) {
      for (int i = 0; i < kLines; ++i) expected.insert(BurstMessage(tag, t, i));
    }
  }
  const LogScan scan = ScanLog(ReadWholeFile(LogFileUnder(folder.Path())).value_or(""));
  const std::multiset<std::string> logged(scan.messages.begin(), scan.messages.end());
  if (!RunsUnderWine()) {
    EXPECT_EQ(scan.broken, 0u);
    EXPECT_EQ(logged, expected);
    return;
  }
  // Under Wine only what its append emulation keeps: most lines whole, none of them twice.
  // (A line glued onto another parses, but its message is not one of ours.)
  size_t whole = 0;
  for (const std::string& message : logged) {
    if (expected.count(message) == 0) continue;
    EXPECT_EQ(logged.count(message), 1u) << message;
    ++whole;
  }
  EXPECT_GE(whole, expected.size() * 9 / 10);
  std::printf("under Wine: %zu of %zu lines whole\n", whole, expected.size());
}

// Mended: an over-long line used to be cut at 599 bytes without its CR LF, so the next line
// followed on the same text line and a UTF-8 letter could be split.
TEST(NativeLog, OverlongMessageIsShortenedAndTheLineStillEnds) {
  TempFolder folder;
  ASSERT_EQ(RunChild(LogInto(folder.Path(), {L"log", L"polish-across-limit", L"stop",
                                             L"overlong-ascii", L"longest-whole", L"stop"})),
            0);
  const std::string text = ReadWholeFile(LogFileUnder(folder.Path())).value_or("");
  const auto lines = SplitLogLines(text);
  ASSERT_TRUE(lines);
  ASSERT_EQ(lines->size(), 5u);
  for (const std::string& line : *lines) EXPECT_LE(line.size() + 2, kLongestLine);

  const std::vector<std::string> messages = Messages(ReadLog(folder.Path()));
  ASSERT_EQ(messages.size(), 5u);
  EXPECT_EQ(messages[0], kPolishAcrossLimit.substr(0, 556));  // "ę" not split
  EXPECT_EQ((*lines)[0].size() + 2, 598u);
  EXPECT_EQ(messages[1], kStop);
  EXPECT_EQ(messages[2], kOverlongAscii.substr(0, 557));
  EXPECT_EQ((*lines)[2].size() + 2, kLongestLine);
  EXPECT_EQ(messages[3], kLongestWhole);  // 557 bytes: written whole
  EXPECT_EQ((*lines)[3].size() + 2, kLongestLine);
  EXPECT_EQ(messages[4], kStop);
}

namespace {

class LocalArguments {
 public:
  LocalArguments() : arguments_(CommandLineToArgvW(GetCommandLineW(), &count_)) {}
  ~LocalArguments() {
    if (arguments_ != nullptr) LocalFree(arguments_);
  }
  LocalArguments(const LocalArguments&) = delete;
  LocalArguments& operator=(const LocalArguments&) = delete;
  std::vector<std::wstring> Get() const {
    return arguments_ == nullptr ? std::vector<std::wstring>()
                                 : std::vector<std::wstring>(arguments_, arguments_ + count_);
  }

 private:
  int count_ = 0;
  wchar_t** arguments_;
};

}  // namespace

int main(int argc, char** argv) {
  const std::vector<std::wstring> arguments = LocalArguments().Get();
  if (arguments.size() >= 2 && arguments[1] == kChildFlag) {
    return RunLogChild(std::vector<std::wstring>(arguments.begin() + 2, arguments.end()));
  }
  testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
