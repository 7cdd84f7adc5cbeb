#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "runner/meter/meter_frame.h"

namespace meter_link {

// Reassembles meter frames from the bytes of successive reads. Holds at most 256 bytes, keeps
// unconsumed bytes from one poll to the next and consumes 19 bytes per decoded frame.
class FrameAccumulator {
 public:
  static constexpr size_t kCapacity = 256;
  // Bytes kept when no header is found: they may be the start of one.
  static constexpr size_t kKeptWithoutHeader = 2;

  FrameAccumulator() { bytes.reserve(kCapacity); }

  // Adds the count bytes of one read (count > 0, at most kCapacity) and looks for a frame. True
  // when one decoded into reading; the bytes after it stay for the next call.
  bool AddRead(const uint8_t* data, size_t count, MeterReading* reading);

  const std::vector<uint8_t>& Bytes() const { return bytes; }

 private:
  void Append(const uint8_t* data, size_t count);

  std::vector<uint8_t> bytes;
};

}  // namespace meter_link
