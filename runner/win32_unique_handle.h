#pragma once

#include <windows.h>

#include <utility>

// Sole owner of one Win32 handle. Traits give the handle type, the value that means "none" (part
// of the type, since Win32 functions disagree on it) and how to close one:
//   struct Traits { using Type = ...; static Type Invalid(); static void Close(Type); };
// Move-only; closing keeps GetLastError, so an owner may go out of scope between a failed call
// and the reading of its error code.
template <typename Traits>
class UniqueHandle {
 public:
  using Type = typename Traits::Type;

  UniqueHandle() = default;
  explicit UniqueHandle(Type handle) : handle_(handle) {}
  ~UniqueHandle() { reset(); }

  UniqueHandle(UniqueHandle&& other) noexcept : handle_(other.release()) {}
  UniqueHandle& operator=(UniqueHandle&& other) noexcept {
    if (this != &other) reset(other.release());
    return *this;
  }
  UniqueHandle(const UniqueHandle&) = delete;
  UniqueHandle& operator=(const UniqueHandle&) = delete;

  Type get() const { return handle_; }
  explicit operator bool() const { return handle_ != Traits::Invalid(); }

  // Closes the handle held (if any) and takes handle in its place.
  void reset(Type handle = Traits::Invalid()) {
    const Type old = std::exchange(handle_, handle);
    if (old == Traits::Invalid()) return;
    const DWORD error = GetLastError();
    Traits::Close(old);
    SetLastError(error);
  }

  // Gives the handle up without closing it.
  Type release() { return std::exchange(handle_, Traits::Invalid()); }

 private:
  Type handle_ = Traits::Invalid();
};

namespace win32_handle_traits {

// CreateFileW reports failure as INVALID_HANDLE_VALUE.
struct File {
  using Type = HANDLE;
  static Type Invalid() { return INVALID_HANDLE_VALUE; }
  static void Close(Type handle) { CloseHandle(handle); }
};

// Processes, threads, events and the like report failure as NULL.
struct Kernel {
  using Type = HANDLE;
  static Type Invalid() { return nullptr; }
  static void Close(Type handle) { CloseHandle(handle); }
};

// RegOpenKeyExW leaves the key NULL when it fails.
struct RegistryKey {
  using Type = HKEY;
  static Type Invalid() { return nullptr; }
  static void Close(Type key) { RegCloseKey(key); }
};

// SetupDiOpenDevRegKey reports failure as INVALID_HANDLE_VALUE.
struct DeviceRegistryKey {
  using Type = HKEY;
  static Type Invalid() { return reinterpret_cast<HKEY>(INVALID_HANDLE_VALUE); }
  static void Close(Type key) { RegCloseKey(key); }
};

// Buffers the system allocated with LocalAlloc (FormatMessageW's, for instance).
struct LocalMemory {
  using Type = HLOCAL;
  static Type Invalid() { return nullptr; }
  static void Close(Type memory) { LocalFree(memory); }
};

}  // namespace win32_handle_traits

using UniqueFileHandle = UniqueHandle<win32_handle_traits::File>;
using UniqueKernelHandle = UniqueHandle<win32_handle_traits::Kernel>;
using UniqueRegistryKey = UniqueHandle<win32_handle_traits::RegistryKey>;
using UniqueDeviceRegistryKey = UniqueHandle<win32_handle_traits::DeviceRegistryKey>;
using UniqueLocalMemory = UniqueHandle<win32_handle_traits::LocalMemory>;
