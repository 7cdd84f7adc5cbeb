// The Win32 handle owner under Wine: ownership moves and closes once, closing keeps the caller's
// error code, and every alias reads its own API's failure result as "no handle".
#include "runner/win32_unique_handle.h"

#include <gtest/gtest.h>

#include <type_traits>
#include <utility>
#include <vector>

#include "runner/win32_unique_device_info_list.h"

namespace {

// Records what it closes and, as a failing CloseHandle would, overwrites the last error.
struct RecordingTraits {
  using Type = int;
  static int Invalid() { return -1; }
  static void Close(int value) {
    closed.push_back(value);
    SetLastError(ERROR_INVALID_HANDLE);
  }
  static inline std::vector<int> closed;
};
using RecordingHandle = UniqueHandle<RecordingTraits>;

static_assert(!std::is_copy_constructible_v<RecordingHandle>, "one owner per handle");
static_assert(std::is_nothrow_move_assignable_v<RecordingHandle>, "owners move");

TEST(UniqueHandle, MovesOwnershipAndClosesEveryHandleOnceKeepingTheLastError) {
  RecordingTraits::closed.clear();
  {
    RecordingHandle first(1);
    RecordingHandle second(std::move(first));
    EXPECT_FALSE(first);
    EXPECT_EQ(second.get(), 1);
    RecordingHandle third(2);
    third = std::move(second);  // closes 2
    EXPECT_FALSE(second);
    EXPECT_EQ(third.get(), 1);
    RecordingHandle fourth(3);
    EXPECT_EQ(fourth.release(), 3);  // given up, never closed
    EXPECT_FALSE(fourth);
    fourth.reset(4);
    SetLastError(ERROR_FILE_NOT_FOUND);
    fourth.reset(5);  // closes 4, keeping the caller's last error
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
  }  // closes 5, then 1
  EXPECT_EQ(RecordingTraits::closed, (std::vector<int>{2, 4, 5, 1}));
}

TEST(UniqueHandle, EachAliasTakesItsApisFailureResultForNoHandle) {
  HKEY key = nullptr;
  ASSERT_NE(
      RegOpenKeyExW(HKEY_CURRENT_USER, L"Software\\Lumerovantix\\NoSuchKey", 0, KEY_READ, &key),
      ERROR_SUCCESS);
  EXPECT_FALSE(UniqueRegistryKey(key));
  SP_DEVINFO_DATA device{};
  device.cbSize = sizeof device;
  EXPECT_FALSE(UniqueDeviceRegistryKey(SetupDiOpenDevRegKey(
      INVALID_HANDLE_VALUE, &device, DICS_FLAG_GLOBAL, 0, DIREG_DEV, KEY_READ)));
  EXPECT_FALSE(UniqueFileHandle(CreateFileW(L"C:\\lumero-no-such-file", GENERIC_READ, 0, nullptr,
                                            OPEN_EXISTING, 0, nullptr)));
  EXPECT_FALSE(UniqueKernelHandle(OpenEventW(SYNCHRONIZE, FALSE, L"lumero-no-such-event")));
  EXPECT_FALSE(UniqueLocalMemory(LocalAlloc(LMEM_FIXED, ~SIZE_T{0} / 2)));
  EXPECT_FALSE(UniqueDeviceInfoList(SetupDiGetClassDevsW(nullptr, nullptr, nullptr, 0)));
}

}  // namespace
