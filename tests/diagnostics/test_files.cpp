#include "tests/diagnostics/test_files.h"

#include <windows.h>

#include <atomic>

#include "tests/diagnostics/unique_handle.h"

namespace {

constexpr wchar_t kLongPathPrefix[] = L"\\\\?\\";

class FindHandle {
 public:
  explicit FindHandle(HANDLE handle) : handle_(handle) {}
  ~FindHandle() {
    if (handle_ != INVALID_HANDLE_VALUE) FindClose(handle_);
  }
  FindHandle(const FindHandle&) = delete;
  FindHandle& operator=(const FindHandle&) = delete;
  bool IsValid() const { return handle_ != INVALID_HANDLE_VALUE; }
  HANDLE Get() const { return handle_; }

 private:
  HANDLE handle_;
};

std::wstring LongForm(const std::wstring& path) {
  return path.compare(0, 4, kLongPathPrefix) == 0 ? path : kLongPathPrefix + path;
}

void RemoveTreeLong(const std::wstring& path) {
  WIN32_FIND_DATAW entry;
  {
    const FindHandle find(FindFirstFileW((path + L"\\*").c_str(), &entry));
    if (find.IsValid()) {
      do {
        const std::wstring name = entry.cFileName;
        if (name == L"." || name == L"..") continue;
        const std::wstring child = path + L"\\" + name;
        if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
          RemoveTreeLong(child);
        } else {
          SetFileAttributesW(child.c_str(), FILE_ATTRIBUTE_NORMAL);
          DeleteFileW(child.c_str());
        }
      } while (FindNextFileW(find.Get(), &entry));
    }
  }
  RemoveDirectoryW(path.c_str());
}

}  // namespace

TempFolder::TempFolder() {
  static std::atomic<unsigned> counter{0};
  wchar_t temp[MAX_PATH + 1] = {};
  const DWORD length = GetTempPathW(MAX_PATH + 1, temp);
  std::wstring base(temp, length);
  if (!base.empty() && base.back() == L'\\') base.pop_back();
  path_ = base + L"\\lumero-log-" + std::to_wstring(GetCurrentProcessId()) + L"-" +
          std::to_wstring(counter++) + L"-" + std::to_wstring(GetTickCount64());
  CreateDirectoryW(path_.c_str(), nullptr);
}

TempFolder::~TempFolder() { RemoveTree(path_); }

std::wstring TempFolder::MakeSub(const std::wstring& name) const {
  const std::wstring sub = path_ + L"\\" + name;
  CreateDirectoryW(sub.c_str(), nullptr);
  return sub;
}

bool PathExists(const std::wstring& path) {
  return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

std::optional<std::string> ReadWholeFile(const std::wstring& path) {
  const UniqueHandle file(CreateFileW(path.c_str(), GENERIC_READ,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                      nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file.IsValid()) return std::nullopt;
  std::string bytes;
  char chunk[4096];
  DWORD count = 0;
  while (ReadFile(file.Get(), chunk, sizeof chunk, &count, nullptr) && count > 0) {
    bytes.append(chunk, count);
  }
  return bytes;
}

bool AppendToFile(const std::wstring& path, const std::string& bytes) {
  const UniqueHandle file(CreateFileW(path.c_str(), FILE_APPEND_DATA,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                                      FILE_ATTRIBUTE_NORMAL, nullptr));
  DWORD written = 0;
  return file.IsValid() &&
         WriteFile(file.Get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
         written == bytes.size();
}

void RemoveTree(const std::wstring& path) {
  if (!path.empty()) RemoveTreeLong(LongForm(path));
}

std::wstring LogFileUnder(const std::wstring& base) {
  return base + L"\\Lumerovantix\\logi\\app.log";
}
