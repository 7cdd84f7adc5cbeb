#pragma once

#include <cstddef>
#include <cstdint>

#include "channels/byte_streams.h"
#include "channels/encodable_value.h"

namespace flutter {

// Turns one EncodableValue into the standard encoding and back. Stateless. A derived serializer
// can add types through the two virtual slots; nested elements, keys and values always go
// through the slots of the serializer in use.
class StandardCodecSerializer {
 public:
  virtual ~StandardCodecSerializer();
  StandardCodecSerializer(const StandardCodecSerializer&) = delete;
  StandardCodecSerializer& operator=(const StandardCodecSerializer&) = delete;

  // The process-wide serializer.
  static const StandardCodecSerializer& GetInstance();

  // Appends the encoding of value.
  virtual void WriteValue(const EncodableValue& value, ByteStreamWriter* stream) const;

  // Consumes one encoded value. Never fails: malformed input gives diagnostics and nulls, zeros
  // or empty values.
  EncodableValue ReadValue(ByteStreamReader* stream) const;

  // Size prefix: 1 byte below 254, 0xFE + 16 bits up to 65535, else 0xFF + 32 bits.
  void WriteSize(size_t size, ByteStreamWriter* stream) const;
  size_t ReadSize(ByteStreamReader* stream) const;

 protected:
  StandardCodecSerializer();

  // Decodes the payload of a value whose type byte has been read.
  virtual EncodableValue ReadValueOfType(uint8_t type, ByteStreamReader* stream) const;
};

}  // namespace flutter
