#pragma once

// Shared by the tests of the native channel services (Windows, stand-in engine, real log file).

#include <windows.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "channels/standard_method_codec.h"

using Bytes = std::vector<uint8_t>;
using Lines = std::vector<std::string>;

// A new empty folder below the temporary folder.
inline std::filesystem::path FreshFolder() {
  wchar_t base[MAX_PATH + 1] = {};
  wchar_t name[MAX_PATH + 1] = {};
  GetTempPathW(MAX_PATH + 1, base);
  GetTempFileNameW(base, L"svc", 0, name);
  DeleteFileW(name);
  CreateDirectoryW(name, nullptr);
  return name;
}

inline std::string ReadWhole(const std::filesystem::path& path) {
  std::ifstream file(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
}

// A method call without arguments, as the interface sends it.
inline Bytes Call(const std::string& method) {
  return *flutter::StandardMethodCodec::GetInstance().EncodeMethodCall(
      flutter::MethodCall<flutter::EncodableValue>(method, nullptr));
}
