#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace meter_link {

// The only command the meter understands: one byte, no framing.
constexpr uint8_t QueryByte = 0x11;

// The meter answers with at least this many bytes, starting AA DD 00.
constexpr size_t kMeterFrameLength = 19;

// One decoded meter frame. The defaults are the values the acquisition loop starts each poll with.
struct MeterReading {
  int32_t raw = 0;         // display counts: byte 10 * 100 + byte 11
  int32_t rangeCode = -1;  // byte 14 & 0x0F
  double lux = 0.0;        // raw times the range factor
  std::string rangeLabel = "?";
  bool overload = false;  // bit 6 of byte 14 or byte 15
  int32_t nr = 0;         // byte 16, passed through
  int32_t year = 0;       // the meter's own clock
  int32_t month = 0;
  int32_t day = 0;
  int32_t hour = 0;
  int32_t minute = 0;
  int32_t second = 0;
};

// Decodes the frame that starts at data. Reads bytes 0 to 16 only; on failure (null pointers,
// fewer than 19 bytes, wrong header) returns false and leaves reading untouched.
bool DecodeFrame(const uint8_t* data, size_t length, MeterReading* reading);

}  // namespace meter_link
