#pragma once

#include <windows.h>

#include <cstdint>
#include <memory>
#include <string>

#include "runner/meter/meter_platform.h"
#include "runner/win32_unique_handle.h"

namespace meter_link {

// The meter's line on a DCB as GetCommState returned it: 9600 8N1, binary, no parity check, no
// flow control of any kind, DTR and RTS raised. Members the meter does not care about stay.
void ApplyMeterLineSettings(DCB* dcb);

// The meter's time-outs: 50 ms between bytes, 200 ms per read, 500 ms per write.
COMMTIMEOUTS MeterTimeouts();

// The calls that configure an opened port; tests swap single ones to make a step fail.
struct CommConfigurationApi {
  decltype(&::GetCommState) getCommState = &::GetCommState;
  decltype(&::SetCommState) setCommState = &::SetCommState;
  decltype(&::SetCommTimeouts) setCommTimeouts = &::SetCommTimeouts;
  decltype(&::SetupComm) setupComm = &::SetupComm;
  decltype(&::PurgeComm) purgeComm = &::PurgeComm;
  decltype(&::EscapeCommFunction) escapeCommFunction = &::EscapeCommFunction;
};

// An open port: synchronous reads and writes under the meter's time-outs.
class Win32SerialLine : public SerialLine {
 public:
  explicit Win32SerialLine(UniqueFileHandle port);
  SerialIo Write(const uint8_t* bytes, uint32_t count) override;
  SerialIo Read(uint8_t* buffer, uint32_t capacity) override;
  void Purge() override;
  // For inspection (GetCommState, GetCommTimeouts); the line keeps ownership.
  HANDLE Handle() const { return port_.get(); }

 private:
  UniqueFileHandle port_;
};

// Opens path exclusively and configures it for the meter: line settings and time-outs must take,
// the queue sizes, the purge and the modem lines may fail. Null on failure, with the stage and the
// error code read right after the failing call; the port is closed again then.
std::unique_ptr<SerialLine> OpenWin32SerialLine(const std::wstring& path, OpenFailureStage* stage,
                                                uint32_t* errorCode,
                                                const CommConfigurationApi& api = {});

}  // namespace meter_link
