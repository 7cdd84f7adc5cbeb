#include "channels/standard_codec_serializer.h"

#include <string>
#include <utility>
#include <vector>

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
bool RemainingBytesHold(const ByteStreamReader& stream, size_t count, size_t bytes_per_element) {
  if (count <= stream.BytesRemaining() / bytes_per_element) return true;
  PrintChannelDiagnostic(kInvalidReadMessage);
  return false;
}

template <typename T>
void WriteTypedList(const StandardCodecSerializer& serializer, const std::vector<T>& list,
                    ByteStreamWriter* stream) {
  serializer.WriteSize(list.size(), stream);
  // Padded even when empty: the reader aligns before every typed list, so an unpadded empty
  // list would shift whatever follows it.
  if (sizeof(T) > 1) stream->WriteAlignment(static_cast<uint8_t>(sizeof(T)));
  if (list.empty()) return;
  // One block copy of the elements.
  stream->WriteBytes(reinterpret_cast<const uint8_t*>(list.data()), list.size() * sizeof(T));
}

template <typename T>
std::vector<T> ReadTypedList(const StandardCodecSerializer& serializer, ByteStreamReader* stream) {
  const size_t count = serializer.ReadSize(stream);
  // Aligned even when empty, unlike the writer.
  if (sizeof(T) > 1) stream->ReadAlignment(static_cast<uint8_t>(sizeof(T)));
  if (!RemainingBytesHold(*stream, count, sizeof(T))) return {};
  std::vector<T> list(count);
  stream->ReadBytes(reinterpret_cast<uint8_t*>(list.data()), count * sizeof(T));
  return list;
}

std::string ReadString(const StandardCodecSerializer& serializer, ByteStreamReader* stream) {
  const size_t length = serializer.ReadSize(stream);
  if (!RemainingBytesHold(*stream, length, 1)) return {};
  std::string text(length, '\0');
  stream->ReadBytes(reinterpret_cast<uint8_t*>(&text[0]), length);
  return text;
}

}  // namespace

StandardCodecSerializer::StandardCodecSerializer() = default;
StandardCodecSerializer::~StandardCodecSerializer() = default;

const StandardCodecSerializer& StandardCodecSerializer::GetInstance() {
  static const StandardCodecSerializer instance;
  return instance;
}

EncodableValue StandardCodecSerializer::ReadValue(ByteStreamReader* stream) const {
  const uint8_t type = stream->ReadByte();
  return ReadValueOfType(type, stream);
}

void StandardCodecSerializer::WriteValue(const EncodableValue& value,
                                         ByteStreamWriter* stream) const {
  switch (value.index()) {
    case 0:
      stream->WriteByte(kNull);
      return;
    case 1:
      stream->WriteByte(std::get<bool>(value) ? kTrue : kFalse);
      return;
    case 2:
      stream->WriteByte(kInt32);
      stream->WriteInt32(std::get<int32_t>(value));
      return;
    case 3:
      stream->WriteByte(kInt64);
      stream->WriteInt64(std::get<int64_t>(value));
      return;
    case 4:
      stream->WriteByte(kFloat64);
      stream->WriteAlignment(8);
      stream->WriteDouble(std::get<double>(value));
      return;
    case 5: {
      const auto& text = std::get<std::string>(value);
      stream->WriteByte(kString);
      WriteSize(text.size(), stream);
      if (!text.empty()) {
        stream->WriteBytes(reinterpret_cast<const uint8_t*>(text.data()), text.size());
      }
      return;
    }
    case 6:
      stream->WriteByte(kUInt8List);
      WriteTypedList(*this, std::get<std::vector<uint8_t>>(value), stream);
      return;
    case 7:
      stream->WriteByte(kInt32List);
      WriteTypedList(*this, std::get<std::vector<int32_t>>(value), stream);
      return;
    case 8:
      stream->WriteByte(kInt64List);
      WriteTypedList(*this, std::get<std::vector<int64_t>>(value), stream);
      return;
    case 9:
      stream->WriteByte(kFloat64List);
      WriteTypedList(*this, std::get<std::vector<double>>(value), stream);
      return;
    case 10: {
      const auto& list = std::get<EncodableList>(value);
      stream->WriteByte(kList);
      WriteSize(list.size(), stream);
      for (const auto& element : list) WriteValue(element, stream);
      return;
    }
    case 11: {
      const auto& map = std::get<EncodableMap>(value);
      stream->WriteByte(kMap);
      WriteSize(map.size(), stream);
      for (const auto& [key, entry] : map) {
        WriteValue(key, stream);
        WriteValue(entry, stream);
      }
      return;
    }
    case 12:
      stream->WriteByte(kNull);
      PrintChannelDiagnostic(kCustomTypeMessage);
      return;
    case 13:
      stream->WriteByte(kFloat32List);
      WriteTypedList(*this, std::get<std::vector<float>>(value), stream);
      return;
    default:
      // A value left empty by a failed assignment has nothing to say.
      stream->WriteByte(kNull);
      return;
  }
}

EncodableValue StandardCodecSerializer::ReadValueOfType(uint8_t type,
                                                        ByteStreamReader* stream) const {
  switch (type) {
    case kNull:
      return EncodableValue();
    case kTrue:
      return EncodableValue(true);
    case kFalse:
      return EncodableValue(false);
    case kInt32:
      return EncodableValue(stream->ReadInt32());
    case kInt64:
      return EncodableValue(stream->ReadInt64());
    case kLegacyString:
    case kString:
      return EncodableValue(ReadString(*this, stream));
    case kFloat64:
      stream->ReadAlignment(8);
      return EncodableValue(stream->ReadDouble());
    case kUInt8List:
      return EncodableValue(ReadTypedList<uint8_t>(*this, stream));
    case kInt32List:
      return EncodableValue(ReadTypedList<int32_t>(*this, stream));
    case kInt64List:
      return EncodableValue(ReadTypedList<int64_t>(*this, stream));
    case kFloat64List:
      return EncodableValue(ReadTypedList<double>(*this, stream));
    case kFloat32List:
      return EncodableValue(ReadTypedList<float>(*this, stream));
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
  const size_t count = ReadSize(stream);
  if (type == kList) {
    // Every element takes at least its type byte.
    if (!RemainingBytesHold(*stream, count, 1)) return EncodableValue(EncodableList());
    EncodableList list;
    list.reserve(count);
    for (size_t i = 0; i < count; ++i) list.push_back(ReadValue(stream));
    return EncodableValue(std::move(list));
  }
  // Every entry takes at least a key and a value type byte.
  if (!RemainingBytesHold(*stream, count, 2)) return EncodableValue(EncodableMap());
  EncodableMap map;
  for (size_t i = 0; i < count; ++i) {
    EncodableValue key = ReadValue(stream);
    EncodableValue entry = ReadValue(stream);
    map.emplace(std::move(key), std::move(entry));  // a repeated key keeps its first value
  }
  return EncodableValue(std::move(map));
}

void StandardCodecSerializer::WriteSize(size_t size, ByteStreamWriter* stream) const {
  if (size < 254) {
    stream->WriteByte(static_cast<uint8_t>(size));
  } else if (size <= 0xFFFF) {
    stream->WriteByte(254);
    const uint8_t bytes[2] = {static_cast<uint8_t>(size), static_cast<uint8_t>(size >> 8)};
    stream->WriteBytes(bytes, 2);
  } else {
    stream->WriteByte(255);
    // Only the low 32 bits travel; no message comes near 4 GiB.
    const uint8_t bytes[4] = {static_cast<uint8_t>(size), static_cast<uint8_t>(size >> 8),
                              static_cast<uint8_t>(size >> 16), static_cast<uint8_t>(size >> 24)};
    stream->WriteBytes(bytes, 4);
  }
}

size_t StandardCodecSerializer::ReadSize(ByteStreamReader* stream) const {
  const uint8_t first = stream->ReadByte();
  if (first < 254) return first;
  if (first == 254) {
    uint8_t bytes[2] = {};
    stream->ReadBytes(bytes, 2);
    return static_cast<size_t>(bytes[0] | (bytes[1] << 8));
  }
  uint8_t bytes[4] = {};
  stream->ReadBytes(bytes, 4);
  return static_cast<size_t>(bytes[0]) | (static_cast<size_t>(bytes[1]) << 8) |
         (static_cast<size_t>(bytes[2]) << 16) | (static_cast<size_t>(bytes[3]) << 24);
}

}  // namespace flutter
