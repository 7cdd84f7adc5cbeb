#include "tools/stand_in_engine/wire_value.h"

#include "tools/stand_in_engine/strict_reader.h"

namespace stand_in {
namespace {

// Deeper nesting is refused rather than risking the stack.
constexpr int kMaxDepth = 64;

bool ReadValue(StrictReader& reader, WireValue& out, int depth);

bool ReadString(StrictReader& reader, std::string& out) {
  size_t length = 0;
  if (!reader.Size(length) || length > reader.Remaining()) {
    return false;
  }
  out.assign(length, '\0');
  return reader.Bytes(out.data(), length);
}

bool SkipNumberList(StrictReader& reader, size_t elementSize) {
  size_t count = 0;
  return reader.Size(count) && reader.Align(elementSize) &&
         count <= reader.Remaining() / elementSize && reader.Skip(count * elementSize);
}

bool ReadValueOfType(uint8_t type, StrictReader& reader, WireValue& out, int depth) {
  using Kind = WireValue::Kind;
  switch (type) {
    case 0:
      out.kind = Kind::kNull;
      return true;
    case 1:
    case 2:
      out.kind = Kind::kBool;
      out.boolean = type == 1;
      return true;
    case 3: {
      int32_t value = 0;
      out.kind = Kind::kInt;
      const bool read = reader.Bytes(&value, sizeof value);
      out.integer = value;
      return read;
    }
    case 4:
      out.kind = Kind::kInt;
      return reader.Bytes(&out.integer, sizeof out.integer);
    case 5:
    case 7:
      out.kind = Kind::kString;
      return ReadString(reader, out.text);
    case 6:
      out.kind = Kind::kDouble;
      return reader.Align(8) && reader.Bytes(&out.number, sizeof out.number);
    case 8:
    case 9:
    case 10:
    case 11:
    case 14: {
      static constexpr size_t kElementSizes[] = {1, 4, 8, 8, 0, 0, 4};
      out.kind = Kind::kNumberList;
      return SkipNumberList(reader, kElementSizes[type - 8]);
    }
    case 12:
    case 13: {
      const bool isMap = type == 13;
      size_t count = 0;
      if (depth >= kMaxDepth || !reader.Size(count) || count > reader.Remaining()) {
        return false;
      }
      out.kind = isMap ? Kind::kMap : Kind::kList;
      out.items.resize(isMap ? count * 2 : count);
      for (WireValue& item : out.items) {
        if (!ReadValue(reader, item, depth + 1)) {
          return false;
        }
      }
      return true;
    }
    default:
      return false;
  }
}

bool ReadValue(StrictReader& reader, WireValue& out, int depth) {
  uint8_t type = 0;
  return reader.Byte(type) && ReadValueOfType(type, reader, out, depth);
}

}  // namespace

const WireValue* WireValue::Find(const std::string& key) const {
  if (kind != Kind::kMap) {
    return nullptr;
  }
  for (size_t i = 0; i + 1 < items.size(); i += 2) {
    if (items[i].kind == Kind::kString && items[i].text == key) {
      return &items[i + 1];
    }
  }
  return nullptr;
}

std::optional<WireEnvelope> DecodeEnvelope(const uint8_t* bytes, size_t size) {
  StrictReader reader(bytes, size);
  uint8_t flag = 0;
  if (!reader.Byte(flag) || flag > 1) {
    return std::nullopt;
  }
  WireEnvelope envelope;
  envelope.success = flag == 0;
  if (!envelope.success) {
    WireValue code, message;
    if (!ReadValue(reader, code, 0) || !ReadValue(reader, message, 0)) {
      return std::nullopt;
    }
    envelope.errorCode = code.text;
    envelope.errorMessage = message.text;
  }
  if (!ReadValue(reader, envelope.value, 0) || !reader.AtEnd()) {
    return std::nullopt;
  }
  return envelope;
}

std::optional<std::string> DecodeMethodName(const uint8_t* bytes, size_t size) {
  StrictReader reader(bytes, size);
  WireValue name;
  if (!ReadValue(reader, name, 0) || name.kind != WireValue::Kind::kString) {
    return std::nullopt;
  }
  return name.text;
}

}  // namespace stand_in
