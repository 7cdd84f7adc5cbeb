#include "runner/meter/frame_accumulator.h"

#include <algorithm>

namespace meter_link {

namespace {

constexpr uint8_t kHeader[] = {0xAA, 0xDD, 0x00};

}  // namespace

void FrameAccumulator::Append(const uint8_t* data, size_t count) {
  if (count >= kCapacity) {
    // A read that filled the whole read buffer: only its last 255 bytes are kept.
    bytes.clear();
    data += count - (kCapacity - 1);
    count = kCapacity - 1;
  } else if (bytes.size() + count > kCapacity) {
    const size_t excess = std::min(bytes.size() + count - kCapacity, bytes.size());
    bytes.erase(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(excess));
  }
  bytes.insert(bytes.end(), data, data + count);
}

bool FrameAccumulator::AddRead(const uint8_t* data, size_t count, MeterReading* reading) {
  Append(data, count);
  if (bytes.size() < sizeof(kHeader)) return false;

  const auto header =
      std::search(bytes.begin(), bytes.end(), std::begin(kHeader), std::end(kHeader));
  if (header == bytes.end()) {
    bytes.erase(bytes.begin(), bytes.end() - kKeptWithoutHeader);
    return false;
  }
  bytes.erase(bytes.begin(), header);
  if (bytes.size() < kMeterFrameLength) return false;

  const bool decoded = DecodeFrame(bytes.data(), bytes.size(), reading);
  bytes.erase(bytes.begin(), bytes.begin() + kMeterFrameLength);
  return decoded;
}

}  // namespace meter_link
