#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace meter_link {

// One found meter port: path for opening ("\\.\" + name) and name as in "PortName" (COM7).
struct MeterPort {
  std::wstring path;
  std::wstring name;
};

// Outcome of one synchronous read or write. error is the system error code read right after a
// failed call (0 when the system gave none).
struct SerialIo {
  bool ok = false;
  uint32_t count = 0;
  uint32_t error = 0;
};

// An open, configured serial line. Destroying it closes the handle without purging.
class SerialLine {
 public:
  virtual ~SerialLine() = default;
  virtual SerialIo Write(const uint8_t* bytes, uint32_t count) = 0;
  virtual SerialIo Read(uint8_t* buffer, uint32_t capacity) = 0;
  // Discards pending input and output.
  virtual void Purge() = 0;
};

// Which step of opening failed: the open itself (the port may be held by another program) or
// configuring the line (reading and writing its settings, setting its time-outs).
enum class OpenFailureStage { kOpen, kConfigure };

// What the meter link needs of the operating system. The Win32 implementation is thin; tests
// script their own, so framing, pacing and thread logic run natively and deterministically.
class MeterPlatform {
 public:
  virtual ~MeterPlatform() = default;
  virtual std::vector<MeterPort> FindMeterPorts() = 0;
  // Opens path exclusively and configures the meter's line. Null on failure, with the stage and
  // the system error code filled in.
  virtual std::unique_ptr<SerialLine> OpenSerialLine(const std::wstring& path,
                                                     OpenFailureStage* stage,
                                                     uint32_t* errorCode) = 0;
  virtual std::wstring SystemErrorText(uint32_t code) = 0;
  // 32-bit millisecond tick count; wraps every 2^32 ms.
  virtual uint32_t TickCount() = 0;
  virtual int64_t MonotonicNanoseconds() = 0;
  // Wall clock in milliseconds since 1970-01-01 UTC.
  virtual int64_t WallClockMilliseconds() = 0;
  virtual void SleepMilliseconds(uint32_t milliseconds) = 0;
  // Debugger output; not the log file.
  virtual void DebugOutput(const char* text) = 0;
  // Starts the acquisition thread; throws std::system_error when the system refuses.
  virtual std::thread StartThread(std::function<void()> body) {
    return std::thread(std::move(body));
  }
};

}  // namespace meter_link
