#include "runner/meter/win32_serial_line.h"

#include <utility>

namespace meter_link {
namespace {

const DWORD kQueueBytes = 4096;
const DWORD kPurgeBoth = PURGE_TXCLEAR | PURGE_RXCLEAR;

SerialIo Outcome(BOOL ok, DWORD count) {
  SerialIo io;
  io.error = ok ? 0 : GetLastError();
  io.ok = ok != FALSE;
  io.count = count;
  return io;
}

}  // namespace

Win32SerialLine::Win32SerialLine(UniqueFileHandle port) : port_(std::move(port)) {}

SerialIo Win32SerialLine::Write(const uint8_t* bytes, uint32_t count) {
  DWORD written = 0;
  const BOOL ok = WriteFile(port_.get(), bytes, count, &written, nullptr);
  return Outcome(ok, written);
}

SerialIo Win32SerialLine::Read(uint8_t* buffer, uint32_t capacity) {
  DWORD read = 0;
  const BOOL ok = ReadFile(port_.get(), buffer, capacity, &read, nullptr);
  return Outcome(ok, read);
}

void Win32SerialLine::Purge() { PurgeComm(port_.get(), kPurgeBoth); }

void ApplyMeterLineSettings(DCB* dcb) {
  dcb->BaudRate = CBR_9600;
  dcb->ByteSize = 8;
  dcb->Parity = NOPARITY;
  dcb->StopBits = ONESTOPBIT;
  dcb->fBinary = TRUE;
  dcb->fParity = FALSE;
  dcb->fOutxCtsFlow = FALSE;
  dcb->fOutxDsrFlow = FALSE;
  dcb->fDtrControl = DTR_CONTROL_ENABLE;
  dcb->fDsrSensitivity = FALSE;
  dcb->fOutX = FALSE;
  dcb->fInX = FALSE;
  dcb->fRtsControl = RTS_CONTROL_ENABLE;
  dcb->fAbortOnError = FALSE;
}

COMMTIMEOUTS MeterTimeouts() {
  COMMTIMEOUTS timeouts{};
  timeouts.ReadIntervalTimeout = 50;
  timeouts.ReadTotalTimeoutMultiplier = 0;
  timeouts.ReadTotalTimeoutConstant = 200;
  timeouts.WriteTotalTimeoutMultiplier = 0;
  timeouts.WriteTotalTimeoutConstant = 500;
  return timeouts;
}

std::unique_ptr<SerialLine> OpenWin32SerialLine(const std::wstring& path, OpenFailureStage* stage,
                                                uint32_t* errorCode,
                                                const CommConfigurationApi& api) {
  UniqueFileHandle port(CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                    OPEN_EXISTING, 0, nullptr));
  if (!port) {
    *errorCode = GetLastError();
    *stage = OpenFailureStage::kOpen;
    return nullptr;
  }
  DCB dcb{};
  dcb.DCBlength = sizeof(DCB);
  bool configured = api.getCommState(port.get(), &dcb) != FALSE;
  if (configured) {
    ApplyMeterLineSettings(&dcb);
    configured = api.setCommState(port.get(), &dcb) != FALSE;
  }
  // Without its time-outs a read never returns, and neither does the Stop that waits for it.
  COMMTIMEOUTS timeouts = MeterTimeouts();
  if (configured) configured = api.setCommTimeouts(port.get(), &timeouts) != FALSE;
  if (!configured) {
    *errorCode = GetLastError();
    *stage = OpenFailureStage::kConfigure;
    return nullptr;
  }
  api.setupComm(port.get(), kQueueBytes, kQueueBytes);
  api.purgeComm(port.get(), kPurgeBoth);
  // A pseudo-terminal refuses these; the DCB above already raises both lines.
  api.escapeCommFunction(port.get(), SETDTR);
  api.escapeCommFunction(port.get(), SETRTS);
  return std::make_unique<Win32SerialLine>(std::move(port));
}

}  // namespace meter_link
