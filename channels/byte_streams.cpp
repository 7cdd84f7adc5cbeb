#include "channels/byte_streams.h"

#include <cstring>

// The wire is little-endian and so are the hosts (x86-64, arm64): numbers are copied as they are.
namespace flutter {
namespace {

template <typename T>
T ReadNumber(ByteStreamReader& reader) {
  uint8_t bytes[sizeof(T)] = {};
  reader.ReadBytes(bytes, sizeof(T));
  T value;
  std::memcpy(&value, bytes, sizeof(T));
  return value;
}

template <typename T>
void WriteNumber(ByteStreamWriter& writer, T value) {
  uint8_t bytes[sizeof(T)];
  std::memcpy(bytes, &value, sizeof(T));
  writer.WriteBytes(bytes, sizeof(T));
}

}  // namespace

int32_t ByteStreamReader::ReadInt32() { return ReadNumber<int32_t>(*this); }
int64_t ByteStreamReader::ReadInt64() { return ReadNumber<int64_t>(*this); }
double ByteStreamReader::ReadDouble() { return ReadNumber<double>(*this); }

void ByteStreamWriter::WriteInt32(int32_t value) { WriteNumber(*this, value); }
void ByteStreamWriter::WriteInt64(int64_t value) { WriteNumber(*this, value); }
void ByteStreamWriter::WriteDouble(double value) { WriteNumber(*this, value); }

}  // namespace flutter
