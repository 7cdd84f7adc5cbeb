// lumero-meter.exe's manifest and version resource, read back from the built tool: the product's
// one version, the same as Lumerovantix.exe's.

#include <gtest/gtest.h>
#include <windows.h>

#include <cstdlib>
#include <cstring>
#include <string>

namespace {

std::wstring BuildPath(const char* variable) {
  const char* path = std::getenv(variable);  // ASCII: a path of the build
  return path == nullptr ? std::wstring() : std::wstring(path, path + std::strlen(path));
}

std::string VersionBlock(const std::wstring& path) {
  std::string info(GetFileVersionInfoSizeW(path.c_str(), nullptr), '\0');
  if (!info.empty() &&
      !GetFileVersionInfoW(path.c_str(), 0, static_cast<DWORD>(info.size()), info.data()))
    info.clear();
  return info;
}

VS_FIXEDFILEINFO FixedVersion(std::string& block) {
  void* value = nullptr;
  UINT size = 0;
  VS_FIXEDFILEINFO fixed{};
  if (VerQueryValueW(block.data(), L"\\", &value, &size) && size >= sizeof fixed)
    std::memcpy(&fixed, value, sizeof fixed);
  return fixed;
}

std::wstring VersionString(std::string& block, const wchar_t* name) {
  void* value = nullptr;
  UINT size = 0;
  const std::wstring key = std::wstring(L"\\StringFileInfo\\040904e4\\") + name;
  if (!VerQueryValueW(block.data(), key.c_str(), &value, &size)) return L"(none)";
  return static_cast<const wchar_t*>(value);
}

TEST(ConsoleToolResources, CarriesTheProgramsVersionAndItsOwnNames) {
  std::string tool = VersionBlock(BuildPath("LUMERO_METER_CONSOLE"));
  std::string program = VersionBlock(BuildPath("LUMERO_PROGRAM"));
  ASSERT_FALSE(tool.empty()) << "lumero-meter.exe has no version resource";
  ASSERT_FALSE(program.empty());

  const VS_FIXEDFILEINFO tool_fixed = FixedVersion(tool);
  const VS_FIXEDFILEINFO program_fixed = FixedVersion(program);
  EXPECT_EQ(tool_fixed.dwFileVersionMS, program_fixed.dwFileVersionMS);
  EXPECT_EQ(tool_fixed.dwFileVersionLS, program_fixed.dwFileVersionLS);
  EXPECT_EQ(tool_fixed.dwProductVersionMS, program_fixed.dwProductVersionMS);
  EXPECT_EQ(tool_fixed.dwProductVersionLS, program_fixed.dwProductVersionLS);
  EXPECT_EQ(tool_fixed.dwFileType, static_cast<DWORD>(VFT_APP));
  for (const wchar_t* name : {L"FileVersion", L"ProductVersion", L"ProductName"})
    EXPECT_EQ(VersionString(tool, name), VersionString(program, name)) << name;
  EXPECT_EQ(VersionString(tool, L"OriginalFilename"), L"lumero-meter.exe");
  EXPECT_EQ(VersionString(tool, L"InternalName"), L"lumero-meter");
}

TEST(ConsoleToolResources, ManifestAsksForInvokerAndWindows10) {
  const std::wstring path = BuildPath("LUMERO_METER_CONSOLE");
  const HMODULE module = LoadLibraryExW(path.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
  ASSERT_NE(module, nullptr);
  const HRSRC found = FindResourceW(module, MAKEINTRESOURCEW(1), RT_MANIFEST);
  std::string manifest;
  if (found != nullptr) {
    const auto* bytes = static_cast<const char*>(LockResource(LoadResource(module, found)));
    manifest.assign(bytes, SizeofResource(module, found));
  }
  FreeLibrary(module);
  for (const char* part :
       {"level=\"asInvoker\"", "<supportedOS Id=\"{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}\"/>"})
    EXPECT_NE(manifest.find(part), std::string::npos) << part;
}

}  // namespace
