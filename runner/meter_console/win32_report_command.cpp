#include "runner/meter_console/win32_report_command.h"

#include <windows.h>

#include <initguid.h>  // FOLDERID_Desktop defined here, no extra library

#include <knownfolders.h>
#include <shlobj.h>

#include <vector>

#include "runner/diagnostics/native_log.h"
#include "runner/meter/meter_ports.h"
#include "runner/meter_console/console_exit_codes.h"
#include "runner/meter_console/report_archive.h"
#include "runner/meter_console/report_text.h"
#include "runner/meter_console/win32_report_facts.h"
#include "runner/meter_console/win32_report_sources.h"
#include "runner/meter_console/win32_utf8_to_wide.h"
#include "runner/wide_to_utf8.h"
#include "runner/win32_unique_handle.h"

namespace meter_console {

namespace {

struct TaskMemoryTraits {
  using Type = wchar_t*;
  static Type Invalid() { return nullptr; }
  static void Close(Type memory) { CoTaskMemFree(memory); }
};

// The archive's bytes into its file; the first failure's error code is kept for the message.
class FileSink final : public ByteSink {
 public:
  explicit FileSink(HANDLE target) : file(target) {}
  bool Write(const char* data, size_t size) override {
    while (size > 0) {
      DWORD written = 0;
      const DWORD chunk = static_cast<DWORD>(size < (1u << 20) ? size : (1u << 20));
      if (!WriteFile(file, data, chunk, &written, nullptr) || written == 0) {
        error = GetLastError();
        return false;
      }
      data += written;
      size -= written;
    }
    return true;
  }
  DWORD error = 0;

 private:
  const HANDLE file;
};

// The user's Desktop as the shell knows it, redirected or not; empty when it cannot say.
std::wstring DesktopFolder() {
  wchar_t* path = nullptr;
  const HRESULT result = SHGetKnownFolderPath(FOLDERID_Desktop, 0, nullptr, &path);
  const UniqueHandle<TaskMemoryTraits> owner(path);
  return SUCCEEDED(result) && path != nullptr ? std::wstring(path) : std::wstring();
}

std::wstring FullPath(const std::wstring& path) {
  const DWORD size = GetFullPathNameW(path.c_str(), 0, nullptr, nullptr);
  if (size == 0) return path;
  std::vector<wchar_t> buffer(size, L'\0');
  return GetFullPathNameW(path.c_str(), size, buffer.data(), nullptr) != 0 ? buffer.data() : path;
}

std::string ErrorText(DWORD code) { return WideToUtf8(meter_link::SystemErrorText(code)); }

// The target folder, or the reason it cannot take the archive.
bool TargetFolder(const ConsoleCommand& command, std::wstring* folder, std::string* error) {
  if (command.reportFolder.empty()) {
    *folder = DesktopFolder();
    if (folder->empty()) {
      *error = "nie mogę ustalić folderu Pulpitu; podaj folder: --to FOLDER";
      return false;
    }
  } else {
    *folder = FullPath(Utf8ToWide(command.reportFolder));
  }
  const DWORD attributes = GetFileAttributesW(folder->c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) {
    const DWORD code = GetLastError();
    *error = code == ERROR_FILE_NOT_FOUND || code == ERROR_PATH_NOT_FOUND
                 ? "folder docelowy nie istnieje: " + WideToUtf8(*folder)
                 : "folder docelowy " + WideToUtf8(*folder) + ": " + ErrorText(code);
    return false;
  }
  if ((attributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
    *error = "to nie jest folder: " + WideToUtf8(*folder);
    return false;
  }
  if (folder->back() != L'\\' && folder->back() != L'/') *folder += L'\\';
  return true;
}

// Writes the archive to temporary, then gives it its final name; 0 or the error code.
DWORD WriteArchive(const std::wstring& temporary, const std::wstring& final,
                   const ReportFacts& facts) {
  {
    const UniqueFileHandle file(CreateFileW(temporary.c_str(), GENERIC_WRITE, 0, nullptr,
                                            CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return GetLastError();
    FileSink sink(file.get());
    ZipWriter zip(sink);
    Win32ReportSources sources(LogFilePath());
    const bool written = WriteReportArchive(facts, sources, zip);
    if (!written || !FlushFileBuffers(file.get())) {
      const DWORD error = !written && sink.error != 0 ? sink.error : GetLastError();
      return error != 0 ? error : ERROR_WRITE_FAULT;
    }
  }
  if (!MoveFileExW(temporary.c_str(), final.c_str(),
                   MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
    return GetLastError();
  return 0;
}

}  // namespace

ReportOutcome RunReportCommand(const ConsoleCommand& command, ConsoleOutput& output) {
  std::wstring folder;
  std::string error;
  if (!TargetFolder(command, &folder, &error)) {
    output.Err("lumero-meter: " + error);
    return {kExitError, ""};
  }
  const ReportFacts facts = GatherReportFacts(LogFilePath());
  const std::wstring final =
      folder + Utf8ToWide(ReportArchiveName(facts.computerName, facts.localTime));
  const std::wstring temporary = final + L".part";
  const DWORD failure = WriteArchive(temporary, final, facts);
  if (failure != 0) {
    DeleteFileW(temporary.c_str());
    output.Err("lumero-meter: nie mogę zapisać archiwum " + WideToUtf8(final) + ": " +
               ErrorText(failure));
    return {kExitError, ""};
  }
  output.Out(WideToUtf8(final));
  return {kExitOk, WideToUtf8(final)};
}

}  // namespace meter_console
