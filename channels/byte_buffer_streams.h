#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "channels/byte_streams.h"

namespace flutter {

// Reads a borrowed byte range; positions count from its first byte.
class ByteBufferStreamReader : public ByteStreamReader {
 public:
  ByteBufferStreamReader(const uint8_t* bytes, size_t size);

  uint8_t ReadByte() override;
  void ReadBytes(uint8_t* buffer, size_t length) override;
  void ReadAlignment(uint8_t alignment) override;
  size_t BytesRemaining() const override;

  uint64_t position() const { return position_; }

 private:
  const uint8_t* bytes_;
  uint64_t size_;
  uint64_t position_ = 0;
};

// Appends to a borrowed vector; alignment counts from the vector's first byte.
class ByteBufferStreamWriter : public ByteStreamWriter {
 public:
  explicit ByteBufferStreamWriter(std::vector<uint8_t>* buffer);

  void WriteByte(uint8_t byte) override;
  void WriteBytes(const uint8_t* bytes, size_t length) override;
  void WriteAlignment(uint8_t alignment) override;

 private:
  std::vector<uint8_t>* buffer_;
};

}  // namespace flutter
