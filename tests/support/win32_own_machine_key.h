#pragma once

// While an OwnMachineKey lives, HKEY_LOCAL_MACHINE of this process is a volatile key of the
// test's own, holding an empty SOFTWARE\Microsoft\Cryptography: the device channel reads the
// MachineGuid a test stores there, and the machine's own value is never touched, even by a run
// that crashes. The meter's device search reads HKEY_LOCAL_MACHINE too: it finds no cable then.
#include <windows.h>

#include <gtest/gtest.h>

#include "runner/win32_unique_handle.h"

namespace test_support {

constexpr wchar_t kCryptographyKey[] = L"SOFTWARE\\Microsoft\\Cryptography";

class OwnMachineKey {
 public:
  OwnMachineKey() {
    HKEY created = nullptr;
    EXPECT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, kOwnMachine, 0, nullptr, REG_OPTION_VOLATILE,
                              KEY_ALL_ACCESS, nullptr, &created, nullptr),
              ERROR_SUCCESS);
    key.reset(created);
    // The key the value goes into, volatile like its parent.
    EXPECT_EQ(RegCreateKeyExW(key.get(), kCryptographyKey, 0, nullptr, REG_OPTION_VOLATILE,
                              KEY_ALL_ACCESS, nullptr, &created, nullptr),
              ERROR_SUCCESS);
    const UniqueRegistryKey cryptography(created);
    EXPECT_EQ(RegOverridePredefKey(HKEY_LOCAL_MACHINE, key.get()), ERROR_SUCCESS);
  }
  ~OwnMachineKey() {
    RegOverridePredefKey(HKEY_LOCAL_MACHINE, nullptr);
    key.reset();
    RegDeleteTreeW(HKEY_CURRENT_USER, kOwnMachine);
  }
  OwnMachineKey(const OwnMachineKey&) = delete;
  OwnMachineKey& operator=(const OwnMachineKey&) = delete;

  // Stores MachineGuid as given (type, data and its size in bytes); REG_NONE removes it.
  static void StoreGuid(DWORD type, const wchar_t* value, DWORD bytes) {
    const LSTATUS status =
        type == REG_NONE ? RegDeleteKeyValueW(HKEY_LOCAL_MACHINE, kCryptographyKey, L"MachineGuid")
                         : RegSetKeyValueW(HKEY_LOCAL_MACHINE, kCryptographyKey, L"MachineGuid",
                                           type, value, bytes);
    EXPECT_TRUE(status == ERROR_SUCCESS || (type == REG_NONE && status == ERROR_FILE_NOT_FOUND));
  }

 private:
  static constexpr wchar_t kOwnMachine[] = L"Software\\Lumerovantix test machine";
  UniqueRegistryKey key;
};

}  // namespace test_support
