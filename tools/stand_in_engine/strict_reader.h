#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <optional>

namespace stand_in {

// A reader that refuses to run past the end, unlike the codec's (which yields zeros), and
// alignment padding that is not zero, which the encoding never writes.
class StrictReader {
 public:
  StrictReader(const uint8_t* bytes, size_t size) : bytes(bytes), size(size) {}

  bool Byte(uint8_t& out) { return Bytes(&out, 1); }
  bool Bytes(void* out, size_t count) {
    if (count > size - position) {
      return false;
    }
    if (count != 0) {
      std::memcpy(out, bytes + position, count);
    }
    position += count;
    return true;
  }
  bool Align(size_t alignment) {
    const size_t remainder = position % alignment;
    if (remainder == 0) {
      return true;
    }
    const size_t padding = alignment - remainder;
    for (size_t i = 0; i < padding && position + i < size; ++i) {
      if (bytes[position + i] != 0) {
        nonZeroPadding = position + i;
        return false;
      }
    }
    return Skip(padding);
  }
  bool Skip(size_t count) {
    if (count > size - position) {
      return false;
    }
    position += count;
    return true;
  }
  bool Size(size_t& out) {
    uint8_t first = 0;
    if (!Byte(first)) {
      return false;
    }
    if (first < 254) {
      out = first;
      return true;
    }
    if (first == 254) {
      uint8_t two[2];
      if (!Bytes(two, 2)) {
        return false;
      }
      out = static_cast<size_t>(two[0] | (two[1] << 8));
      return true;
    }
    uint8_t four[4];
    if (!Bytes(four, 4)) {
      return false;
    }
    out = static_cast<size_t>(four[0]) | (static_cast<size_t>(four[1]) << 8) |
          (static_cast<size_t>(four[2]) << 16) | (static_cast<size_t>(four[3]) << 24);
    return true;
  }
  bool AtEnd() const { return position == size; }
  size_t Remaining() const { return size - position; }
  // Where reading stopped at a padding byte that is not zero.
  std::optional<size_t> NonZeroPadding() const { return nonZeroPadding; }

 private:
  const uint8_t* bytes;
  size_t size;
  size_t position = 0;
  std::optional<size_t> nonZeroPadding;
};

}  // namespace stand_in
