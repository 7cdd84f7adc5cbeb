#include "tools/meter_frames/meter_frame_builder.h"

namespace {

uint8_t ToBcd(int value) { return static_cast<uint8_t>(((value / 10) % 10) << 4 | (value % 10)); }

}  // namespace

std::vector<uint8_t> BuildMeterFrame(const MeterFrameFields& f) {
  const uint8_t overloadBit = f.overload ? 0x40 : 0x00;
  return {0xAA,
          0xDD,
          0x00,
          ToBcd(f.year % 100),
          0x00,
          ToBcd(f.month),
          ToBcd(f.day),
          ToBcd(f.hour),
          ToBcd(f.minute),
          ToBcd(f.second),
          static_cast<uint8_t>(f.value / 100),
          static_cast<uint8_t>(f.value % 100),
          0x00,
          0x00,
          static_cast<uint8_t>((f.rangeCode & 0x0F) | overloadBit),
          overloadBit,
          f.number,
          0x00,
          0x00};
}
