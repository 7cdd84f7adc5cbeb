#include "channels/byte_buffer_streams.h"

#include <cstring>

#include "channels/channel_diagnostics.h"
#include "channels/channel_messages.h"

namespace flutter {

ByteBufferStreamReader::ByteBufferStreamReader(const uint8_t* bytes, size_t size)
    : bytes_(bytes), size_(size) {}

uint8_t ByteBufferStreamReader::ReadByte() {
  if (position_ >= size_) {
    PrintChannelDiagnostic(kInvalidReadMessage);
    return 0;
  }
  return bytes_[position_++];
}

void ByteBufferStreamReader::ReadBytes(uint8_t* buffer, size_t length) {
  // Alignment may have moved the position past the end; even an empty read fails then.
  if (position_ > size_ || length > size_ - position_) {
    PrintChannelDiagnostic(kInvalidReadMessage);
    return;
  }
  if (length > 0) std::memcpy(buffer, bytes_ + position_, length);
  position_ += length;
}

void ByteBufferStreamReader::ReadAlignment(uint8_t alignment) {
  if (alignment == 0) return;
  const uint8_t remainder = static_cast<uint8_t>(position_ % alignment);
  if (remainder != 0) position_ += alignment - remainder;
}

size_t ByteBufferStreamReader::BytesRemaining() const {
  return position_ >= size_ ? 0 : static_cast<size_t>(size_ - position_);
}

ByteBufferStreamWriter::ByteBufferStreamWriter(std::vector<uint8_t>* buffer) : buffer_(buffer) {}

void ByteBufferStreamWriter::WriteByte(uint8_t byte) { buffer_->push_back(byte); }

void ByteBufferStreamWriter::WriteBytes(const uint8_t* bytes, size_t length) {
  if (length == 0) return;
  buffer_->insert(buffer_->end(), bytes, bytes + length);
}

void ByteBufferStreamWriter::WriteAlignment(uint8_t alignment) {
  if (alignment == 0) return;
  const uint8_t remainder = static_cast<uint8_t>(buffer_->size() % alignment);
  if (remainder == 0) return;
  for (int pad = alignment - remainder; pad > 0; --pad) WriteByte(0);
}

}  // namespace flutter
