#pragma once

#include <windows.h>

#include <setupapi.h>

#include "runner/scoped_handle.h"

namespace meter_link {

using ::ScopedHandle;

// Sole owner of a SetupAPI device list.
class ScopedDeviceInfoList {
 public:
  explicit ScopedDeviceInfoList(HDEVINFO list) : list_(list) {}
  ~ScopedDeviceInfoList() {
    if (list_ != INVALID_HANDLE_VALUE) SetupDiDestroyDeviceInfoList(list_);
  }
  ScopedDeviceInfoList(const ScopedDeviceInfoList&) = delete;
  ScopedDeviceInfoList& operator=(const ScopedDeviceInfoList&) = delete;

  HDEVINFO Get() const { return list_; }

 private:
  HDEVINFO list_;
};

// Sole owner of an open registry key; SetupDiOpenDevRegKey reports failure as
// INVALID_HANDLE_VALUE.
class ScopedRegistryKey {
 public:
  explicit ScopedRegistryKey(HKEY key) : key_(key) {}
  ~ScopedRegistryKey() { Close(); }
  ScopedRegistryKey(const ScopedRegistryKey&) = delete;
  ScopedRegistryKey& operator=(const ScopedRegistryKey&) = delete;

  HKEY Get() const { return key_; }
  bool IsOpen() const {
    return key_ != nullptr && key_ != reinterpret_cast<HKEY>(INVALID_HANDLE_VALUE);
  }
  void Close() {
    if (IsOpen()) RegCloseKey(key_);
    key_ = nullptr;
  }

 private:
  HKEY key_;
};

// Sole owner of a buffer that the system allocated with LocalAlloc.
class ScopedLocalMemory {
 public:
  explicit ScopedLocalMemory(void* memory) : memory_(memory) {}
  ~ScopedLocalMemory() {
    if (memory_ != nullptr) LocalFree(memory_);
  }
  ScopedLocalMemory(const ScopedLocalMemory&) = delete;
  ScopedLocalMemory& operator=(const ScopedLocalMemory&) = delete;

 private:
  void* memory_;
};

}  // namespace meter_link
