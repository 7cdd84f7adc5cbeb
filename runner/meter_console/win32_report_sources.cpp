#include "runner/meter_console/win32_report_sources.h"

#include <windows.h>

#include <algorithm>
#include <utility>
#include <vector>

#include "runner/meter/meter_ports.h"
#include "runner/meter_console/report_text.h"
#include "runner/meter_console/win32_local_time.h"
#include "runner/meter_console/win32_utf8_to_wide.h"
#include "runner/wide_to_utf8.h"
#include "runner/win32_unique_handle.h"

namespace meter_console {

namespace {

struct FindTraits {
  using Type = HANDLE;
  static Type Invalid() { return INVALID_HANDLE_VALUE; }
  static void Close(Type find) { FindClose(find); }
};
using UniqueFind = UniqueHandle<FindTraits>;

std::string ErrorText(DWORD code) { return WideToUtf8(meter_link::SystemErrorText(code)); }

uint64_t Combined(DWORD high, DWORD low) { return (static_cast<uint64_t>(high) << 32) | low; }

FileRead ReadFileTail(const std::wstring& path, uint64_t maxBytes) {
  FileRead read;
  const UniqueFileHandle file(CreateFileW(path.c_str(), GENERIC_READ,
                                          FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                          nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  BY_HANDLE_FILE_INFORMATION information{};
  if (!file || !GetFileInformationByHandle(file.get(), &information)) {
    read.error = ErrorText(GetLastError());
    return read;
  }
  read.size = Combined(information.nFileSizeHigh, information.nFileSizeLow);
  read.modified = LocalTimeOfFileTime(information.ftLastWriteTime);
  const uint64_t count = read.size < maxBytes ? read.size : maxBytes;
  LARGE_INTEGER start{};
  start.QuadPart = static_cast<LONGLONG>(read.size - count);
  if (!SetFilePointerEx(file.get(), start, nullptr, FILE_BEGIN)) {
    read.error = ErrorText(GetLastError());
    return read;
  }
  read.bytes.resize(static_cast<size_t>(count));
  size_t done = 0;
  while (done < read.bytes.size()) {
    DWORD got = 0;
    const DWORD chunk = static_cast<DWORD>(std::min<size_t>(read.bytes.size() - done, 1u << 20));
    if (!ReadFile(file.get(), &read.bytes[done], chunk, &got, nullptr)) {
      read.error = ErrorText(GetLastError());
      return read;
    }
    if (got == 0) break;  // shortened meanwhile
    done += got;
  }
  read.bytes.resize(done);
  read.ok = true;
  return read;
}

// The DumpFolder value unexpanded; false when the key has none.
bool ReadDumpFolderValue(HKEY key, std::wstring* value) {
  const DWORD flags = RRF_RT_REG_SZ | RRF_RT_REG_EXPAND_SZ | RRF_NOEXPAND;
  DWORD bytes = 0;
  if (RegGetValueW(key, nullptr, L"DumpFolder", flags, nullptr, nullptr, &bytes) != ERROR_SUCCESS)
    return false;
  std::vector<wchar_t> buffer(bytes / sizeof(wchar_t) + 1, L'\0');
  bytes = static_cast<DWORD>(buffer.size() * sizeof(wchar_t));
  if (RegGetValueW(key, nullptr, L"DumpFolder", flags, nullptr, buffer.data(), &bytes) !=
      ERROR_SUCCESS)
    return false;
  *value = buffer.data();
  return true;
}

std::wstring Expanded(const std::wstring& text) {
  const DWORD size = ExpandEnvironmentStringsW(text.c_str(), nullptr, 0);
  if (size == 0) return text;
  std::vector<wchar_t> buffer(size, L'\0');
  if (ExpandEnvironmentStringsW(text.c_str(), buffer.data(), size) == 0) return text;
  return buffer.data();
}

}  // namespace

FileRead Win32ReportSources::ReadLogTail(uint64_t maxBytes) {
  return ReadFileTail(logFile, maxBytes);
}

DumpFolder Win32ReportSources::ListDumpFolder() {
  DumpFolder folder;
  HKEY opened = nullptr;
  folder.keyPresent =
      RegOpenKeyExW(HKEY_LOCAL_MACHINE, kLocalDumpsKey, 0, KEY_READ, &opened) == ERROR_SUCCESS;
  const UniqueRegistryKey key(opened);
  std::wstring value;
  const bool hasValue = folder.keyPresent && ReadDumpFolderValue(key.get(), &value);
  const std::string utf8Value = WideToUtf8(value);
  folder.shownAs = DumpFolderSetting(folder.keyPresent, hasValue ? &utf8Value : nullptr);
  dumpFolder = Expanded(Utf8ToWide(folder.shownAs));

  const DWORD attributes = GetFileAttributesW(dumpFolder.c_str());
  folder.exists =
      attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
  if (!folder.exists) return folder;
  WIN32_FIND_DATAW found{};
  const UniqueFind find(FindFirstFileExW((dumpFolder + L"\\*").c_str(), FindExInfoBasic, &found,
                                         FindExSearchNameMatch, nullptr, 0));
  if (!find) {
    if (GetLastError() != ERROR_FILE_NOT_FOUND) folder.error = ErrorText(GetLastError());
    return folder;
  }
  do {
    if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) continue;
    DumpFile file;
    file.name = WideToUtf8(found.cFileName);
    file.size = Combined(found.nFileSizeHigh, found.nFileSizeLow);
    file.modifiedOrder =
        Combined(found.ftLastWriteTime.dwHighDateTime, found.ftLastWriteTime.dwLowDateTime);
    file.modified = LocalTimeOfFileTime(found.ftLastWriteTime);
    folder.files.push_back(std::move(file));
  } while (FindNextFileW(find.get(), &found));
  return folder;
}

FileRead Win32ReportSources::ReadDumpTail(const std::string& name, uint64_t maxBytes) {
  return ReadFileTail(dumpFolder + L"\\" + Utf8ToWide(name), maxBytes);
}

}  // namespace meter_console
