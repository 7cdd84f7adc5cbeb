// The resources compiled into Lumerovantix.exe, read back from the built program.

#include <gtest/gtest.h>
#include <windows.h>

#include <cstdlib>
#include <cstring>
#include <set>
#include <string>
#include <utility>

namespace {

class ProgramResourcesTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_NE(module, nullptr) << "cannot load LUMERO_PROGRAM"; }
  void TearDown() override {
    if (module != nullptr) FreeLibrary(module);
  }
  std::string Resource(const wchar_t* name, const wchar_t* type) {
    const HRSRC found = FindResourceW(module, name, type);
    if (found == nullptr) return {};
    const auto* bytes = static_cast<const char*>(LockResource(LoadResource(module, found)));
    return std::string(bytes, SizeofResource(module, found));
  }

  const char* program = std::getenv("LUMERO_PROGRAM");  // ASCII: a path of the build
  std::wstring path{program, program + std::strlen(program)};
  HMODULE module = LoadLibraryExW(path.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
};

TEST_F(ProgramResourcesTest, IconGroup101HoldsSevenSizesOf32Bits) {
  EXPECT_NE(LoadIconW(module, MAKEINTRESOURCEW(101)), nullptr);
  const std::string group = Resource(MAKEINTRESOURCEW(101), RT_GROUP_ICON);
  ASSERT_GE(group.size(), 6u);
  const WORD count = *reinterpret_cast<const WORD*>(group.data() + 4);
  ASSERT_EQ(group.size(), 6 + count * 14u);
  std::set<std::pair<int, int>> images;  // side, bits per pixel
  for (const char* entry = group.data() + 6; entry < group.data() + group.size(); entry += 14) {
    WORD bits = 0, id = 0;  // entry: width, height, colours, reserved, planes, bits, bytes, id
    DWORD bytes = 0;
    std::memcpy(&bits, entry + 6, 2), std::memcpy(&bytes, entry + 8, 4),
        std::memcpy(&id, entry + 12, 2);
    images.insert({entry[0] == 0 ? 256 : static_cast<BYTE>(entry[0]), bits});
    EXPECT_EQ(Resource(MAKEINTRESOURCEW(id), RT_ICON).size(), bytes);
  }
  EXPECT_EQ(images, (std::set<std::pair<int, int>>{
                        {16, 32}, {24, 32}, {32, 32}, {48, 32}, {64, 32}, {128, 32}, {256, 32}}));
}

TEST_F(ProgramResourcesTest, ManifestAsksForInvokerPerMonitorV2AndWindows10) {
  const std::string manifest = Resource(MAKEINTRESOURCEW(1), RT_MANIFEST);
  for (const char* part : {"level=\"asInvoker\"", ">PerMonitorV2</dpiAwareness>",
                           "<supportedOS Id=\"{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}\"/>"}) {
    EXPECT_NE(manifest.find(part), std::string::npos) << part;
  }
}

TEST_F(ProgramResourcesTest, VersionResourceHasTheNumbersAndStrings) {
  std::string info(GetFileVersionInfoSizeW(path.c_str(), nullptr), '\0');
  ASSERT_FALSE(info.empty());
  ASSERT_TRUE(GetFileVersionInfoW(path.c_str(), 0, static_cast<DWORD>(info.size()), info.data()));
  void* value = nullptr;
  UINT size = 0;
  ASSERT_TRUE(VerQueryValueW(info.data(), L"\\", &value, &size));
  const auto* fixed = static_cast<const VS_FIXEDFILEINFO*>(value);
  for (const DWORD high : {fixed->dwFileVersionMS, fixed->dwProductVersionMS})
    EXPECT_EQ(high, MAKELONG(11, 2026));
  for (const DWORD low : {fixed->dwFileVersionLS, fixed->dwProductVersionLS})
    EXPECT_EQ(low, MAKELONG(0, 31));
  // The string block's name carries the language and code page.
  const std::pair<const wchar_t*, const wchar_t*> strings[] = {
      {L"FileDescription", L"Lumerovantix - plany i dokumentacja budowy"},
      {L"InternalName", L"Lumerovantix"},
      {L"ProductName", L"Lumerovantix"},
      {L"OriginalFilename", L"Lumerovantix.exe"},
      {L"FileVersion", L"2026.11.031"},
      {L"ProductVersion", L"2026.11.031"}};
  for (const auto& [name, expected] : strings) {
    const std::wstring key = std::wstring(L"\\StringFileInfo\\040904e4\\") + name;
    ASSERT_TRUE(VerQueryValueW(info.data(), key.c_str(), &value, &size)) << name;
    EXPECT_STREQ(static_cast<const wchar_t*>(value), expected) << name;
  }
}

}  // namespace
