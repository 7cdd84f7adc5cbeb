#pragma once

#include <windows.h>

#include <cstdint>
#include <memory>
#include <string>

#include "runner/meter/meter_platform.h"
#include "runner/meter/win32_owners.h"

namespace meter_link {

// The meter's line on a DCB as GetCommState returned it: 9600 8N1, binary, no parity check, no
// flow control of any kind, DTR and RTS raised. Members the meter does not care about stay.
void ApplyMeterLineSettings(DCB* dcb);

// The meter's time-outs: 50 ms between bytes, 200 ms per read, 500 ms per write.
COMMTIMEOUTS MeterTimeouts();

// An open port: synchronous reads and writes under the meter's time-outs.
class Win32SerialLine : public SerialLine {
 public:
  explicit Win32SerialLine(ScopedHandle port);
  SerialIo Write(const uint8_t* bytes, uint32_t count) override;
  SerialIo Read(uint8_t* buffer, uint32_t capacity) override;
  void Purge() override;
  // For inspection (GetCommState, GetCommTimeouts); the line keeps ownership.
  HANDLE Handle() const { return port_.Get(); }

 private:
  ScopedHandle port_;
};

// Opens path exclusively and configures it for the meter. Null on failure, with the stage and
// the error code read right after the failing call.
std::unique_ptr<SerialLine> OpenWin32SerialLine(const std::wstring& path, OpenFailureStage* stage,
                                                uint32_t* errorCode);

}  // namespace meter_link
