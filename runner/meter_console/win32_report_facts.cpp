#include "runner/meter_console/win32_report_facts.h"

#include <windows.h>

#include <cstdio>
#include <map>
#include <vector>

#include "runner/meter/meter_ports.h"
#include "runner/meter_console/report_text.h"
#include "runner/meter_console/win32_cable_drivers.h"
#include "runner/meter_console/win32_local_time.h"
#include "runner/meter_console/win32_process_list.h"
#include "runner/wide_to_utf8.h"
#include "runner/win32_unique_handle.h"

namespace meter_console {

namespace {

// What ships in the program's folder and has a version worth knowing.
const wchar_t* const kVersionedFiles[] = {
    L"lumero-meter.exe",
    L"Lumerovantix.exe",
    L"flutter_windows.dll",
    L"file_selector_windows_plugin.dll",
    L"permission_handler_windows_plugin.dll",
    L"record_windows_plugin.dll",
    L"speech_to_text_windows_plugin.dll",
    L"url_launcher_windows_plugin.dll",
};

// The registry's own record: unlike GetVersionEx, no manifest shifts it.
constexpr wchar_t kCurrentVersionKey[] = L"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion";

std::wstring FolderOf(const std::wstring& path) {
  const size_t slash = path.find_last_of(L"\\/");
  return slash == std::wstring::npos ? L"." : path.substr(0, slash);
}

std::wstring OwnFolder() {
  std::vector<wchar_t> path(MAX_PATH);
  for (;;) {
    const DWORD length = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
    if (length == 0) return L".";
    if (length < path.size()) return FolderOf(std::wstring(path.data(), length));
    path.resize(path.size() * 2);
  }
}

// FileVersion of the version resource's first language; its numbers when it has no text.
std::string FileVersionOf(const std::wstring& path) {
  DWORD ignored = 0;
  const DWORD size = GetFileVersionInfoSizeW(path.c_str(), &ignored);
  if (size == 0) return {};
  std::vector<char> block(size);
  if (!GetFileVersionInfoW(path.c_str(), 0, size, block.data())) return {};
  struct Translation {
    WORD language;
    WORD codePage;
  };
  Translation* translation = nullptr;
  UINT length = 0;
  if (VerQueryValueW(block.data(), L"\\VarFileInfo\\Translation",
                     reinterpret_cast<void**>(&translation), &length) &&
      length >= sizeof(Translation)) {
    wchar_t query[64];
    std::swprintf(query, 64, L"\\StringFileInfo\\%04x%04x\\FileVersion", translation->language,
                  translation->codePage);
    wchar_t* text = nullptr;
    if (VerQueryValueW(block.data(), query, reinterpret_cast<void**>(&text), &length) &&
        length > 1 && text != nullptr)
      return WideToUtf8(text);
  }
  VS_FIXEDFILEINFO* fixed = nullptr;
  if (!VerQueryValueW(block.data(), L"\\", reinterpret_cast<void**>(&fixed), &length) ||
      length < sizeof(VS_FIXEDFILEINFO))
    return {};
  return std::to_string(HIWORD(fixed->dwFileVersionMS)) + "." +
         std::to_string(LOWORD(fixed->dwFileVersionMS)) + "." +
         std::to_string(HIWORD(fixed->dwFileVersionLS)) + "." +
         std::to_string(LOWORD(fixed->dwFileVersionLS));
}

std::string RegistryText(HKEY key, const wchar_t* name) {
  wchar_t text[256] = {};
  DWORD bytes = sizeof text - sizeof(wchar_t);
  if (RegGetValueW(key, nullptr, name, RRF_RT_REG_SZ, nullptr, text, &bytes) != ERROR_SUCCESS)
    return {};
  return WideToUtf8(text);
}

std::string WindowsVersion() {
  HKEY opened = nullptr;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kCurrentVersionKey, 0, KEY_READ, &opened) != ERROR_SUCCESS)
    return {};
  const UniqueRegistryKey key(opened);
  std::string release = RegistryText(key.get(), L"DisplayVersion");
  if (release.empty()) release = RegistryText(key.get(), L"ReleaseId");  // before 20H2
  DWORD revision = 0;
  DWORD bytes = sizeof revision;
  const bool hasRevision = RegGetValueW(key.get(), nullptr, L"UBR", RRF_RT_REG_DWORD, nullptr,
                                        &revision, &bytes) == ERROR_SUCCESS;
  return WindowsVersionText(RegistryText(key.get(), L"ProductName"), release,
                            RegistryText(key.get(), L"CurrentBuildNumber"),
                            hasRevision ? std::to_string(revision) : std::string());
}

std::string ComputerName() {
  wchar_t name[MAX_COMPUTERNAME_LENGTH + 1] = {};
  DWORD length = MAX_COMPUTERNAME_LENGTH + 1;
  return GetComputerNameW(name, &length) ? WideToUtf8(std::wstring(name, length)) : std::string();
}

void AddFreeSpace(const std::wstring& logPath, ReportFacts& facts) {
  const std::wstring folder = FolderOf(logPath);
  wchar_t volume[MAX_PATH] = {};
  if (GetVolumePathNameW(folder.c_str(), volume, MAX_PATH)) facts.logDrive = WideToUtf8(volume);
  ULARGE_INTEGER available{};
  facts.freeSpaceKnown = GetDiskFreeSpaceExW(folder.c_str(), &available, nullptr, nullptr) != 0;
  facts.freeBytes = available.QuadPart;
}

std::vector<CablePort> Cables() {
  const std::map<std::wstring, std::wstring> drivers = PortDriverVersions();
  std::vector<CablePort> cables;
  for (const meter_link::MeterPort& port : meter_link::FindMeterPorts()) {
    const auto driver = drivers.find(port.name);
    cables.push_back({WideToUtf8(port.name), WideToUtf8(port.path),
                      driver != drivers.end() ? WideToUtf8(driver->second) : std::string()});
  }
  return cables;
}

}  // namespace

ReportFacts GatherReportFacts(const std::wstring& logPath) {
  ReportFacts facts;
  SYSTEMTIME utc{};
  GetSystemTime(&utc);
  SYSTEMTIME local{};
  if (!SystemTimeToTzSpecificLocalTime(nullptr, &utc, &local)) local = utc;
  facts.utcTime = FromSystemTime(utc);
  facts.localTime = FromSystemTime(local);
  facts.computerName = ComputerName();
  facts.windows = WindowsVersion();
  const std::wstring folder = OwnFolder();
  for (const wchar_t* file : kVersionedFiles) {
    const std::wstring path = folder + L"\\" + file;
    const DWORD attributes = GetFileAttributesW(path.c_str());
    facts.versions.push_back(
        {WideToUtf8(file), attributes != INVALID_FILE_ATTRIBUTES, FileVersionOf(path)});
  }
  AddFreeSpace(logPath, facts);
  facts.ports = Cables();
  facts.programRunning = IsProcessRunning(L"Lumerovantix.exe");
  return facts;
}

}  // namespace meter_console
