#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "channels/byte_streams.h"

namespace flutter {

// Reads a borrowed byte range; positions count from its first byte. The bodies are inline so
// that a decoder which knows it has exactly this class can call them without dispatch.
class ByteBufferStreamReader : public ByteStreamReader {
 public:
  ByteBufferStreamReader(const uint8_t* bytes, size_t size) : bytes_(bytes), size_(size) {}

  uint8_t ReadByte() override {
    if (position_ >= size_) {
      ReportPastEnd();
      return 0;
    }
    return bytes_[position_++];
  }
  void ReadBytes(uint8_t* buffer, size_t length) override;
  void ReadAlignment(uint8_t alignment) override {
    if (alignment == 0) return;
    const uint8_t remainder = static_cast<uint8_t>(position_ % alignment);
    if (remainder != 0) position_ += alignment - remainder;
  }
  size_t BytesRemaining() const override {
    return position_ >= size_ ? 0 : static_cast<size_t>(size_ - position_);
  }

  // Consumes length bytes and returns them in place, or nullptr past the end, failing exactly
  // like ReadBytes.
  const uint8_t* ReadSpan(size_t length) {
    // Alignment may have moved the position past the end; even an empty read fails then.
    if (position_ > size_ || length > size_ - position_) {
      ReportPastEnd();
      return nullptr;
    }
    const uint8_t* span = bytes_ + position_;
    position_ += length;
    return span;
  }

  uint64_t position() const { return position_; }

 private:
  static void ReportPastEnd();

  const uint8_t* bytes_;
  uint64_t size_;
  uint64_t position_ = 0;
};

// Appends to a borrowed vector; alignment counts from the vector's first byte. Inline for the
// same reason as the reader.
class ByteBufferStreamWriter : public ByteStreamWriter {
 public:
  explicit ByteBufferStreamWriter(std::vector<uint8_t>* buffer) : buffer_(buffer) {}

  void WriteByte(uint8_t byte) override { buffer_->push_back(byte); }
  void WriteBytes(const uint8_t* bytes, size_t length) override {
    if (length > 0) buffer_->insert(buffer_->end(), bytes, bytes + length);
  }
  void WriteAlignment(uint8_t alignment) override {
    if (alignment == 0) return;
    const uint8_t remainder = static_cast<uint8_t>(buffer_->size() % alignment);
    if (remainder == 0) return;
    for (int pad = alignment - remainder; pad > 0; --pad) WriteByte(0);
  }

  // Bytes in the buffer so far.
  size_t size() const { return buffer_->size(); }

 private:
  std::vector<uint8_t>* buffer_;
};

}  // namespace flutter
