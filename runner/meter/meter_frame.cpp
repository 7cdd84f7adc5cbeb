#include "runner/meter/meter_frame.h"

#include <cstdio>

namespace meter_link {

namespace {

// Nibbles are not validated: the meter's clock is shown as it comes.
int32_t Bcd(uint8_t byte) { return (byte >> 4) * 10 + (byte & 0x0F); }

struct Range {
  const char* label;
  double factor;
};

// Code 0 is the largest range and code 1 the smallest.
constexpr Range kRanges[] = {
    {"400 klx", 100.0}, {"400 lx", 0.1}, {"4000 lx", 1.0}, {"40 klx", 10.0}};

}  // namespace

bool DecodeFrame(const uint8_t* data, size_t length, MeterReading* reading) {
  if (reading == nullptr || data == nullptr || length < kMeterFrameLength || data[0] != 0xAA ||
      data[1] != 0xDD || data[2] != 0x00) {
    return false;
  }
  const int32_t code = data[14] & 0x0F;
  double factor = 1.0;
  std::string label;
  if (code < 4) {
    label = kRanges[code].label;
    factor = kRanges[code].factor;
  } else {
    // Unknown ranges show the whole byte, so the other bits are not lost.
    char text[8];
    std::snprintf(text, sizeof text, "?%02x", static_cast<unsigned>(data[14]));
    label = text;
  }
  reading->rangeCode = code;
  reading->raw = data[10] * 100 + data[11];
  reading->rangeLabel = label;
  reading->lux = static_cast<double>(reading->raw) * factor;
  reading->overload = ((data[14] | data[15]) & 0x40) != 0;
  reading->nr = data[16];
  reading->year = 2000 + Bcd(data[3]);
  reading->month = Bcd(data[5]);
  reading->day = Bcd(data[6]);
  reading->hour = Bcd(data[7]);
  reading->minute = Bcd(data[8]);
  reading->second = Bcd(data[9]);
  return true;
}

}  // namespace meter_link
