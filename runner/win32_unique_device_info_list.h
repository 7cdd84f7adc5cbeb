#pragma once

// Apart from the other owners: only the code that enumerates devices pulls in setupapi.h.
#include <windows.h>

#include <setupapi.h>

#include "runner/win32_unique_handle.h"

namespace win32_handle_traits {

// SetupDiGetClassDevsW reports failure as INVALID_HANDLE_VALUE.
struct DeviceInfoList {
  using Type = HDEVINFO;
  static Type Invalid() { return INVALID_HANDLE_VALUE; }
  static void Close(Type list) { SetupDiDestroyDeviceInfoList(list); }
};

}  // namespace win32_handle_traits

using UniqueDeviceInfoList = UniqueHandle<win32_handle_traits::DeviceInfoList>;
