#include "channels/standard_codec_serializer.h"

#include <cstring>
#include <iterator>
#include <string>
#include <typeinfo>
#include <utility>
#include <vector>

#include "channels/byte_buffer_streams.h"
#include "channels/channel_diagnostics.h"
#include "channels/channel_messages.h"

namespace flutter {
namespace {

enum TypeByte : uint8_t {
  kNull = 0,
  kTrue = 1,
  kFalse = 2,
  kInt32 = 3,
  kInt64 = 4,
  kLegacyString = 5,  // read as a string, never written
  kFloat64 = 6,
  kString = 7,
  kUInt8List = 8,
  kInt32List = 9,
  kInt64List = 10,
  kFloat64List = 11,
  kList = 12,
  kMap = 13,
  kFloat32List = 14,
};

// Lists and maps nested deeper than this are refused, so a hostile message cannot exhaust the
// stack of the thread that decodes it (1 MiB on the Windows UI thread).
constexpr int kMaxNesting = 256;
thread_local int nesting_depth = 0;

class NestingLevel {
 public:
  NestingLevel() { ++nesting_depth; }
  ~NestingLevel() { --nesting_depth; }
  NestingLevel(const NestingLevel&) = delete;
  NestingLevel& operator=(const NestingLevel&) = delete;
};

// A declared count is trusted only as far as the remaining bytes can hold it; anything more is
// a read past the end, reported like one, before anything is allocated.
bool RemainingBytesHold(size_t remaining, size_t count, size_t bytes_per_element) {
  if (count <= remaining / bytes_per_element) return true;
  PrintChannelDiagnostic(kInvalidReadMessage);
  return false;
}

template <typename Writer>
void WriteSizeTo(Writer& writer, size_t size);
template <typename Writer>
void WriteValueTo(Writer& writer, const EncodableValue& value);
template <typename Writer>
void WriteString(Writer& writer, const std::string& text);
template <typename Writer>
bool WriteScalar(Writer& writer, const EncodableValue& value);

// Writes through the virtual slots: a derived serializer or a custom stream sees every call.
class SlotWriter {
 public:
  SlotWriter(const StandardCodecSerializer& serializer, ByteStreamWriter* stream)
      : serializer_(serializer), stream_(stream) {}
  void Byte(uint8_t byte) { stream_->WriteByte(byte); }
  void Bytes(const uint8_t* bytes, size_t length) { stream_->WriteBytes(bytes, length); }
  void Alignment(uint8_t alignment) { stream_->WriteAlignment(alignment); }
  void Size(size_t size) { serializer_.WriteSize(size, stream_); }
  void Nested(const EncodableValue& value) { serializer_.WriteValue(value, stream_); }
  void String(const std::string& text) { WriteString(*this, text); }

 private:
  const StandardCodecSerializer& serializer_;
  ByteStreamWriter* stream_;
};

// Copies up to 16 bytes without a library call (short strings and numbers are most of a
// message): two overlapping fixed-size moves cover every length in a range.
void CopyShort(uint8_t* to, const void* from_bytes, size_t length) {
  const auto* from = static_cast<const uint8_t*>(from_bytes);
  if (length >= 8) {
    std::memcpy(to, from, 8);
    std::memcpy(to + length - 8, from + length - 8, 8);
  } else if (length >= 4) {
    std::memcpy(to, from, 4);
    std::memcpy(to + length - 4, from + length - 4, 4);
  } else if (length > 0) {
    to[0] = from[0];
    to[length / 2] = from[length / 2];
    to[length - 1] = from[length - 1];
  }
}

// The same calls for our own serializer on our own buffer writer, where nobody can observe
// them: bytes are staged and appended to the buffer in runs. Flush() before it goes.
class DirectWriter {
 public:
  explicit DirectWriter(ByteBufferStreamWriter* stream)
      : stream_(stream), flushed_(stream->size()) {}
  DirectWriter(const DirectWriter&) = delete;
  DirectWriter& operator=(const DirectWriter&) = delete;

  void Byte(uint8_t byte) {
    if (staged_ == kStageSize) Flush();
    stage_[staged_++] = byte;
  }
  void Bytes(const uint8_t* bytes, size_t length) {
    if (length > kStageSize - staged_) {
      Flush();
      if (length > kStageSize) {
        stream_->ByteBufferStreamWriter::WriteBytes(bytes, length);
        flushed_ += length;
        return;
      }
    }
    Stage(bytes, length);
  }
  void Alignment(uint8_t alignment) {
    if (alignment == 0) return;
    const size_t remainder = (flushed_ + staged_) % alignment;
    if (remainder == 0) return;
    for (size_t pad = alignment - remainder; pad > 0; --pad) Byte(0);
  }
  void Size(size_t size) { WriteSizeTo(*this, size); }
  // Strings (the usual keys) and other scalars are written in place.
  void Nested(const EncodableValue& value) {
    if (const auto* text = std::get_if<std::string>(&value)) return String(*text);
    if (!WriteScalar(*this, value)) WriteValueTo(*this, value);
  }
  // A short string, the usual key, is staged in one go.
  void String(const std::string& text) {
    if (text.size() >= 254 || text.size() + 2 > kStageSize - staged_)
      return WriteString(*this, text);
    stage_[staged_++] = kString;
    stage_[staged_++] = static_cast<uint8_t>(text.size());
    Stage(text.data(), text.size());
  }
  void Flush() {
    stream_->ByteBufferStreamWriter::WriteBytes(stage_, staged_);
    flushed_ += staged_;
    staged_ = 0;
  }

 private:
  static constexpr size_t kStageSize = 256;

  // Length fits in the stage.
  void Stage(const void* bytes, size_t length) {
    if (length <= 16) {
      CopyShort(stage_ + staged_, bytes, length);
    } else {
      std::memcpy(stage_ + staged_, bytes, length);
    }
    staged_ += length;
  }

  ByteBufferStreamWriter* stream_;
  size_t flushed_;  // bytes in the buffer: alignment counts from its start
  size_t staged_ = 0;
  uint8_t stage_[kStageSize];
};

// Little-endian on the wire and on the hosts (x86-64, arm64): numbers are copied as they are.
template <typename Writer, typename T>
void WriteNumber(Writer& writer, T value) {
  uint8_t bytes[sizeof(T)];
  std::memcpy(bytes, &value, sizeof(T));
  writer.Bytes(bytes, sizeof(T));
}

template <typename Writer, typename T>
void WriteTypedList(Writer& writer, const std::vector<T>& list) {
  writer.Size(list.size());
  // Padded even when empty: the reader aligns before every typed list, so an unpadded empty
  // list would shift whatever follows it.
  if constexpr (sizeof(T) > 1) writer.Alignment(static_cast<uint8_t>(sizeof(T)));
  if (list.empty()) return;
  // One block copy of the elements.
  writer.Bytes(reinterpret_cast<const uint8_t*>(list.data()), list.size() * sizeof(T));
}

template <typename Writer>
void WriteSizeTo(Writer& writer, size_t size) {
  if (size < 254) {
    writer.Byte(static_cast<uint8_t>(size));
  } else if (size <= 0xFFFF) {
    writer.Byte(254);
    const uint8_t bytes[2] = {static_cast<uint8_t>(size), static_cast<uint8_t>(size >> 8)};
    writer.Bytes(bytes, 2);
  } else {
    writer.Byte(255);
    // Only the low 32 bits travel; no message comes near 4 GiB.
    const uint8_t bytes[4] = {static_cast<uint8_t>(size), static_cast<uint8_t>(size >> 8),
                              static_cast<uint8_t>(size >> 16), static_cast<uint8_t>(size >> 24)};
    writer.Bytes(bytes, 4);
  }
}

template <typename Writer>
void WriteString(Writer& writer, const std::string& text) {
  writer.Byte(kString);
  writer.Size(text.size());
  if (!text.empty()) writer.Bytes(reinterpret_cast<const uint8_t*>(text.data()), text.size());
}

// Values without elements; false for the others.
template <typename Writer>
bool WriteScalar(Writer& writer, const EncodableValue& value) {
  switch (value.index()) {
    case 0:
      writer.Byte(kNull);
      return true;
    case 1:
      writer.Byte(std::get<bool>(value) ? kTrue : kFalse);
      return true;
    case 2:
      writer.Byte(kInt32);
      WriteNumber(writer, std::get<int32_t>(value));
      return true;
    case 3:
      writer.Byte(kInt64);
      WriteNumber(writer, std::get<int64_t>(value));
      return true;
    case 4:
      writer.Byte(kFloat64);
      writer.Alignment(8);
      WriteNumber(writer, std::get<double>(value));
      return true;
    case 5:
      writer.String(std::get<std::string>(value));
      return true;
    default:
      return false;
  }
}

template <typename Writer>
void WriteValueTo(Writer& writer, const EncodableValue& value) {
  if (WriteScalar(writer, value)) return;
  switch (value.index()) {
    case 6:
      writer.Byte(kUInt8List);
      WriteTypedList(writer, std::get<std::vector<uint8_t>>(value));
      return;
    case 7:
      writer.Byte(kInt32List);
      WriteTypedList(writer, std::get<std::vector<int32_t>>(value));
      return;
    case 8:
      writer.Byte(kInt64List);
      WriteTypedList(writer, std::get<std::vector<int64_t>>(value));
      return;
    case 9:
      writer.Byte(kFloat64List);
      WriteTypedList(writer, std::get<std::vector<double>>(value));
      return;
    case 10: {
      const auto& list = std::get<EncodableList>(value);
      writer.Byte(kList);
      writer.Size(list.size());
      for (const auto& element : list) writer.Nested(element);
      return;
    }
    case 11: {
      const auto& map = std::get<EncodableMap>(value);
      writer.Byte(kMap);
      writer.Size(map.size());
      for (const auto& [key, entry] : map) {
        writer.Nested(key);
        writer.Nested(entry);
      }
      return;
    }
    case 12:
      writer.Byte(kNull);
      PrintChannelDiagnostic(kCustomTypeMessage);
      return;
    case 13:
      writer.Byte(kFloat32List);
      WriteTypedList(writer, std::get<std::vector<float>>(value));
      return;
    default:
      // A value left empty by a failed assignment has nothing to say.
      writer.Byte(kNull);
      return;
  }
}

// Reads through the virtual slots: a derived serializer or a custom stream sees every call.
class SlotReader {
 public:
  SlotReader(const StandardCodecSerializer& serializer, ByteStreamReader* stream)
      : serializer_(serializer), stream_(stream) {}
  uint8_t Byte() { return stream_->ReadByte(); }
  void Bytes(uint8_t* buffer, size_t length) { stream_->ReadBytes(buffer, length); }
  void Alignment(uint8_t alignment) { stream_->ReadAlignment(alignment); }
  size_t Remaining() const { return stream_->BytesRemaining(); }
  size_t Size() { return serializer_.ReadSize(stream_); }
  EncodableValue Nested() { return serializer_.ReadValue(stream_); }

  // Runs of elements, their count already checked against the remaining bytes.
  template <typename T>
  std::vector<T> Elements(size_t count) {
    std::vector<T> list(count);
    stream_->ReadBytes(reinterpret_cast<uint8_t*>(list.data()), count * sizeof(T));
    return list;
  }
  std::string Text(size_t length) {
    std::string text(length, '\0');
    stream_->ReadBytes(reinterpret_cast<uint8_t*>(&text[0]), length);
    return text;
  }

 private:
  const StandardCodecSerializer& serializer_;
  ByteStreamReader* stream_;
};

// Elements of a typed list in place in a message, where they need not be aligned in memory.
template <typename T>
class UnalignedIterator {
 public:
  using iterator_category = std::random_access_iterator_tag;
  using value_type = T;
  using difference_type = std::ptrdiff_t;
  using pointer = const T*;
  using reference = T;

  explicit UnalignedIterator(const uint8_t* bytes) : bytes_(bytes) {}
  T operator*() const {
    T value;
    std::memcpy(&value, bytes_, sizeof(T));
    return value;
  }
  UnalignedIterator& operator++() {
    bytes_ += sizeof(T);
    return *this;
  }
  difference_type operator-(const UnalignedIterator& other) const {
    return (bytes_ - other.bytes_) / static_cast<difference_type>(sizeof(T));
  }
  bool operator==(const UnalignedIterator& other) const { return bytes_ == other.bytes_; }
  bool operator!=(const UnalignedIterator& other) const { return bytes_ != other.bytes_; }

 private:
  const uint8_t* bytes_;
};

template <typename Reader>
EncodableValue ReadValueOfTypeFrom(Reader& reader, uint8_t type);

// The same calls, bound at compile time, for our own serializer on our own buffer reader:
// elements are copied once, straight from the message, with no zero fill first.
class DirectReader {
 public:
  explicit DirectReader(ByteBufferStreamReader* stream) : stream_(stream) {}
  uint8_t Byte() { return stream_->ByteBufferStreamReader::ReadByte(); }
  void Bytes(uint8_t* buffer, size_t length) {
    const uint8_t* span = stream_->ReadSpan(length);
    if (span != nullptr && length > 0) std::memcpy(buffer, span, length);
  }
  void Alignment(uint8_t alignment) { stream_->ByteBufferStreamReader::ReadAlignment(alignment); }
  size_t Remaining() const { return stream_->ByteBufferStreamReader::BytesRemaining(); }
  size_t Size();
  EncodableValue Nested() { return ReadValueOfTypeFrom(*this, Byte()); }

  template <typename T>
  std::vector<T> Elements(size_t count) {
    const uint8_t* span = stream_->ReadSpan(count * sizeof(T));
    if (span == nullptr) return {};
    return std::vector<T>(UnalignedIterator<T>(span),
                          UnalignedIterator<T>(span + count * sizeof(T)));
  }
  std::string Text(size_t length) {
    const uint8_t* span = stream_->ReadSpan(length);
    if (span == nullptr) return {};
    return std::string(reinterpret_cast<const char*>(span), length);
  }

 private:
  ByteBufferStreamReader* stream_;
};

template <typename T, typename Reader>
T ReadNumber(Reader& reader) {
  uint8_t bytes[sizeof(T)] = {};
  reader.Bytes(bytes, sizeof(T));
  T value;
  std::memcpy(&value, bytes, sizeof(T));
  return value;
}

template <typename Reader>
size_t ReadSizeFrom(Reader& reader) {
  const uint8_t first = reader.Byte();
  if (first < 254) return first;
  if (first == 254) {
    uint8_t bytes[2] = {};
    reader.Bytes(bytes, 2);
    return static_cast<size_t>(bytes[0] | (bytes[1] << 8));
  }
  uint8_t bytes[4] = {};
  reader.Bytes(bytes, 4);
  return static_cast<size_t>(bytes[0]) | (static_cast<size_t>(bytes[1]) << 8) |
         (static_cast<size_t>(bytes[2]) << 16) | (static_cast<size_t>(bytes[3]) << 24);
}

size_t DirectReader::Size() { return ReadSizeFrom(*this); }

template <typename T, typename Reader>
std::vector<T> ReadTypedList(Reader& reader) {
  const size_t count = reader.Size();
  // Aligned even when empty, unlike the writer.
  if constexpr (sizeof(T) > 1) reader.Alignment(static_cast<uint8_t>(sizeof(T)));
  if (!RemainingBytesHold(reader.Remaining(), count, sizeof(T))) return {};
  return reader.template Elements<T>(count);
}

template <typename Reader>
std::string ReadString(Reader& reader) {
  const size_t length = reader.Size();
  if (!RemainingBytesHold(reader.Remaining(), length, 1)) return {};
  return reader.Text(length);
}

template <typename Reader>
EncodableValue ReadValueOfTypeFrom(Reader& reader, uint8_t type) {
  switch (type) {
    case kNull:
      return EncodableValue();
    case kTrue:
      return EncodableValue(true);
    case kFalse:
      return EncodableValue(false);
    case kInt32:
      return EncodableValue(ReadNumber<int32_t>(reader));
    case kInt64:
      return EncodableValue(ReadNumber<int64_t>(reader));
    case kLegacyString:
    case kString:
      return EncodableValue(ReadString(reader));
    case kFloat64:
      reader.Alignment(8);
      return EncodableValue(ReadNumber<double>(reader));
    case kUInt8List:
      return EncodableValue(ReadTypedList<uint8_t>(reader));
    case kInt32List:
      return EncodableValue(ReadTypedList<int32_t>(reader));
    case kInt64List:
      return EncodableValue(ReadTypedList<int64_t>(reader));
    case kFloat64List:
      return EncodableValue(ReadTypedList<double>(reader));
    case kFloat32List:
      return EncodableValue(ReadTypedList<float>(reader));
    case kList:
    case kMap:
      break;
    default:
      PrintChannelDiagnostic(kUnknownTypeMessage + std::to_string(type));
      return EncodableValue();
  }

  if (nesting_depth >= kMaxNesting) {
    PrintChannelDiagnostic(kTooDeepMessage);
    return EncodableValue();
  }
  NestingLevel level;
  const size_t count = reader.Size();
  if (type == kList) {
    // Every element takes at least its type byte.
    if (!RemainingBytesHold(reader.Remaining(), count, 1)) return EncodableValue(EncodableList());
    EncodableList list;
    list.reserve(count);
    for (size_t i = 0; i < count; ++i) list.push_back(reader.Nested());
    return EncodableValue(std::move(list));
  }
  // Every entry takes at least a key and a value type byte.
  if (!RemainingBytesHold(reader.Remaining(), count, 2)) return EncodableValue(EncodableMap());
  EncodableMap map;
  for (size_t i = 0; i < count; ++i) {
    EncodableValue key = reader.Nested();
    EncodableValue entry = reader.Nested();
    // Encoders send keys in order, so the end is the usual place; a repeated key keeps its
    // first value.
    map.emplace_hint(map.end(), std::move(key), std::move(entry));
  }
  return EncodableValue(std::move(map));
}

// Our own serializer on our own buffer streams takes the direct path: same bytes, same
// diagnostics, no dispatch.
bool IsExactlyOurs(const StandardCodecSerializer& serializer, const std::type_info& stream,
                   const std::type_info& buffer_stream) {
  return typeid(serializer) == typeid(StandardCodecSerializer) && stream == buffer_stream;
}

}  // namespace

StandardCodecSerializer::StandardCodecSerializer() = default;
StandardCodecSerializer::~StandardCodecSerializer() = default;

const StandardCodecSerializer& StandardCodecSerializer::GetInstance() {
  static const StandardCodecSerializer instance;
  return instance;
}

EncodableValue StandardCodecSerializer::ReadValue(ByteStreamReader* stream) const {
  if (IsExactlyOurs(*this, typeid(*stream), typeid(ByteBufferStreamReader))) {
    DirectReader reader(static_cast<ByteBufferStreamReader*>(stream));
    return reader.Nested();
  }
  const uint8_t type = stream->ReadByte();
  return ReadValueOfType(type, stream);
}

void StandardCodecSerializer::WriteValue(const EncodableValue& value,
                                         ByteStreamWriter* stream) const {
  if (IsExactlyOurs(*this, typeid(*stream), typeid(ByteBufferStreamWriter))) {
    DirectWriter writer(static_cast<ByteBufferStreamWriter*>(stream));
    WriteValueTo(writer, value);
    writer.Flush();
    return;
  }
  SlotWriter writer(*this, stream);
  WriteValueTo(writer, value);
}

EncodableValue StandardCodecSerializer::ReadValueOfType(uint8_t type,
                                                        ByteStreamReader* stream) const {
  SlotReader reader(*this, stream);
  return ReadValueOfTypeFrom(reader, type);
}

void StandardCodecSerializer::WriteSize(size_t size, ByteStreamWriter* stream) const {
  SlotWriter writer(*this, stream);
  WriteSizeTo(writer, size);
}

size_t StandardCodecSerializer::ReadSize(ByteStreamReader* stream) const {
  SlotReader reader(*this, stream);
  return ReadSizeFrom(reader);
}

}  // namespace flutter
