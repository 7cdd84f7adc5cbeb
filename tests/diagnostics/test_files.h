#pragma once

#include <optional>
#include <string>

// A fresh folder under the temporary folder, removed with its contents at the end.
class TempFolder {
 public:
  TempFolder();
  ~TempFolder();
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;

  // Absolute, without a trailing backslash.
  const std::wstring& Path() const { return path_; }
  // Path + "\" + name, created as a folder.
  std::wstring MakeSub(const std::wstring& name) const;

 private:
  std::wstring path_;
};

bool PathExists(const std::wstring& path);
std::optional<std::string> ReadWholeFile(const std::wstring& path);
bool AppendToFile(const std::wstring& path, const std::string& bytes);
// Removes a folder and everything in it; works for paths longer than MAX_PATH too.
void RemoveTree(const std::wstring& path);
// The log file below a base folder, as the log composes it.
std::wstring LogFileUnder(const std::wstring& base);
