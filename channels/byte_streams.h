#pragma once

#include <cstddef>
#include <cstdint>

namespace flutter {

// Source of encoded bytes for the standard codec.
class ByteStreamReader {
 public:
  ByteStreamReader() = default;
  ByteStreamReader(const ByteStreamReader&) = delete;
  ByteStreamReader& operator=(const ByteStreamReader&) = delete;
  virtual ~ByteStreamReader() = default;

  // Next byte, or 0 (with a diagnostic) past the end.
  virtual uint8_t ReadByte() = 0;
  // Fills buffer with length bytes; past the end nothing is copied (with a diagnostic).
  virtual void ReadBytes(uint8_t* buffer, size_t length) = 0;
  // Skips to the next multiple of alignment, counted from the start of the message.
  virtual void ReadAlignment(uint8_t alignment) = 0;
  // Bytes left before the end; lets the decoder refuse size prefixes the message cannot hold.
  virtual size_t BytesRemaining() const = 0;

  // Little-endian numbers; a failed read yields 0.
  int32_t ReadInt32();
  int64_t ReadInt64();
  double ReadDouble();
};

// Sink of encoded bytes for the standard codec.
class ByteStreamWriter {
 public:
  ByteStreamWriter() = default;
  ByteStreamWriter(const ByteStreamWriter&) = delete;
  ByteStreamWriter& operator=(const ByteStreamWriter&) = delete;
  virtual ~ByteStreamWriter() = default;

  virtual void WriteByte(uint8_t byte) = 0;
  virtual void WriteBytes(const uint8_t* bytes, size_t length) = 0;
  // Pads with zero bytes to the next multiple of alignment, counted from the buffer's start.
  virtual void WriteAlignment(uint8_t alignment) = 0;

  // Little-endian numbers.
  void WriteInt32(int32_t value);
  void WriteInt64(int64_t value);
  void WriteDouble(double value);
};

}  // namespace flutter
