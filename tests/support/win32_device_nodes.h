#pragma once

// Device nodes in the prefix's registry, which Wine lists as present devices: every instance key
// with a ClassGUID. Tests that write them hold the meter-devices resource lock.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

const std::wstring kCableKey = L"System\\CurrentControlSet\\Enum\\USB\\VID_10C4&PID_EA60";
constexpr wchar_t kCableId[] = L"USB\\VID_10C4&PID_EA60&REV_0100";

// A device node of the ports class with one hardware id; unless portName is null a "Device
// Parameters" key, with "PortName" unless portName is "-".
inline void AddDevice(const std::wstring& key, const wchar_t* hardwareId, const wchar_t* portName) {
  const auto set = [](const std::wstring& at, const wchar_t* name, DWORD type, std::wstring text) {
    const DWORD bytes = static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t));
    ASSERT_EQ(RegSetKeyValueW(HKEY_LOCAL_MACHINE, at.c_str(), name, type, text.c_str(), bytes), 0);
  };
  set(key, L"HardwareID", REG_MULTI_SZ, std::wstring(hardwareId) + L'\0');
  set(key, L"ClassGUID", REG_SZ, L"{4d36e978-e325-11ce-bfc1-08002be10318}");
  if (portName != nullptr)
    set(key + L"\\Device Parameters", *portName == L'-' ? L"Other" : L"PortName", REG_SZ, portName);
}
