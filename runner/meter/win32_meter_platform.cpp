#include "runner/meter/win32_meter_platform.h"

#include <windows.h>

#include <chrono>

#include "runner/meter/meter_ports.h"
#include "runner/meter/win32_serial_line.h"
#include "runner/never_destroyed.h"

namespace meter_link {
namespace {

// FILETIME counts 100-ns units since 1601-01-01 UTC; 1970 starts this many milliseconds later.
const int64_t kUnixEpochInFileTimeMs = 11644473600000LL;

class Win32Platform : public MeterPlatform {
 public:
  std::vector<MeterPort> FindMeterPorts() override { return meter_link::FindMeterPorts(); }

  std::unique_ptr<SerialLine> OpenSerialLine(const std::wstring& path, OpenFailureStage* stage,
                                             uint32_t* errorCode) override {
    return OpenWin32SerialLine(path, stage, errorCode);
  }

  std::wstring SystemErrorText(uint32_t code) override { return meter_link::SystemErrorText(code); }

  uint32_t TickCount() override { return GetTickCount(); }

  int64_t MonotonicNanoseconds() override {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
  }

  int64_t WallClockMilliseconds() override {
    FILETIME now{};
    GetSystemTimeAsFileTime(&now);
    const uint64_t units = (static_cast<uint64_t>(now.dwHighDateTime) << 32) | now.dwLowDateTime;
    return static_cast<int64_t>(units / 10000) - kUnixEpochInFileTimeMs;
  }

  void SleepMilliseconds(uint32_t milliseconds) override { Sleep(milliseconds); }

  void DebugOutput(const char* text) override { OutputDebugStringA(text); }
};

}  // namespace

MeterPlatform& Win32MeterPlatform() {
  static NeverDestroyed<Win32Platform> platform;
  return platform.get();
}

}  // namespace meter_link
