#include "tools/stand_in_engine/wire_text.h"

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <type_traits>

#include "tools/stand_in_engine/strict_reader.h"

namespace stand_in {
namespace {

// Containers longer than this are cut short in summaries (but still checked to the end).
constexpr size_t kShownElements = 64;
// Deeper nesting is reported as undecodable rather than risking the stack.
constexpr int kMaxDepth = 64;

std::string FormatDouble(double value) {
  if (std::isnan(value)) {
    return "nan";
  }
  if (std::isinf(value)) {
    return value > 0 ? "inf" : "-inf";
  }
  char text[40];
  for (int precision = 15; precision <= 17; ++precision) {
    std::snprintf(text, sizeof text, "%.*g", precision, value);
    if (std::strtod(text, nullptr) == value) {
      break;
    }
  }
  std::string result = text;
  if (result.find_first_of(".en") == std::string::npos) {
    result += ".0";  // Keeps doubles apart from integers in the summary.
  }
  return result;
}

std::string QuoteText(const std::string& text) {
  std::string quoted = "\"";
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (c == '"' || c == '\\') {
      quoted += '\\';
      quoted += c;
    } else if (c == '\n') {
      quoted += "\\n";
    } else if (c == '\r') {
      quoted += "\\r";
    } else if (c == '\t') {
      quoted += "\\t";
    } else if (byte < 0x20 || byte == 0x7f) {
      char escaped[8];
      std::snprintf(escaped, sizeof escaped, "\\x%02x", byte);
      quoted += escaped;
    } else {
      quoted += c;
    }
  }
  return quoted + "\"";
}

template <typename Element>
bool DescribeNumberList(StrictReader& reader, size_t alignment, const char* label,
                        std::string& out) {
  size_t count = 0;
  if (!reader.Size(count)) {
    return false;
  }
  // Aligned even when empty, as our codec writes it.
  if (!reader.Align(alignment) || count > reader.Remaining() / sizeof(Element)) {
    return false;
  }
  out += label;
  out += '[';
  for (size_t i = 0; i < count; ++i) {
    Element element{};
    reader.Bytes(&element, sizeof element);
    if (i >= kShownElements) {
      continue;
    }
    if (i != 0) {
      out += ", ";
    }
    if constexpr (std::is_floating_point_v<Element>) {
      out += FormatDouble(static_cast<double>(element));
    } else {
      out += std::to_string(element);
    }
  }
  if (count > kShownElements) {
    out += ", ...";
  }
  out += ']';
  return true;
}

bool DescribeValue(StrictReader& reader, std::string& out, int depth);

bool DescribeValueOfType(uint8_t type, StrictReader& reader, std::string& out, int depth) {
  switch (type) {
    case 0:
      out += "null";
      return true;
    case 1:
      out += "true";
      return true;
    case 2:
      out += "false";
      return true;
    case 3: {
      int32_t value = 0;
      if (!reader.Bytes(&value, sizeof value)) {
        return false;
      }
      out += std::to_string(value);
      return true;
    }
    case 4: {
      int64_t value = 0;
      if (!reader.Bytes(&value, sizeof value)) {
        return false;
      }
      out += std::to_string(value) + "L";
      return true;
    }
    case 5:
    case 7: {
      size_t length = 0;
      if (!reader.Size(length) || length > reader.Remaining()) {
        return false;
      }
      std::string text(length, '\0');
      reader.Bytes(text.data(), length);
      out += QuoteText(text);
      return true;
    }
    case 6: {
      double value = 0;
      if (!reader.Align(8) || !reader.Bytes(&value, sizeof value)) {
        return false;
      }
      out += FormatDouble(value);
      return true;
    }
    case 8:
      return DescribeNumberList<uint8_t>(reader, 1, "bytes", out);
    case 9:
      return DescribeNumberList<int32_t>(reader, 4, "int32", out);
    case 10:
      return DescribeNumberList<int64_t>(reader, 8, "int64", out);
    case 11:
      return DescribeNumberList<double>(reader, 8, "float64", out);
    case 14:
      return DescribeNumberList<float>(reader, 4, "float32", out);
    case 12:
    case 13: {
      const bool isMap = type == 13;
      size_t count = 0;
      if (depth >= kMaxDepth || !reader.Size(count) || count > reader.Remaining()) {
        return false;
      }
      out += isMap ? '{' : '[';
      for (size_t i = 0; i < count; ++i) {
        std::string element;
        if (!DescribeValue(reader, element, depth + 1)) {
          return false;
        }
        if (isMap) {
          element += ": ";
          if (!DescribeValue(reader, element, depth + 1)) {
            return false;
          }
        }
        if (i < kShownElements) {
          out += (i != 0 ? ", " : "") + element;
        }
      }
      if (count > kShownElements) {
        out += ", ...";
      }
      out += isMap ? '}' : ']';
      return true;
    }
    default:
      return false;
  }
}

bool DescribeValue(StrictReader& reader, std::string& out, int depth) {
  uint8_t type = 0;
  return reader.Byte(type) && DescribeValueOfType(type, reader, out, depth);
}

void AppendSize(size_t size, std::vector<uint8_t>& out) {
  if (size < 254) {
    out.push_back(static_cast<uint8_t>(size));
  } else if (size <= 0xffff) {
    out.push_back(254);
    out.push_back(static_cast<uint8_t>(size));
    out.push_back(static_cast<uint8_t>(size >> 8));
  } else {
    out.push_back(255);
    for (int shift = 0; shift < 32; shift += 8) {
      out.push_back(static_cast<uint8_t>(size >> shift));
    }
  }
}

template <typename Number>
void AppendLittleEndian(Number value, std::vector<uint8_t>& out) {
  uint8_t bytes[sizeof value];
  std::memcpy(bytes, &value, sizeof value);  // Windows and the test hosts are little-endian.
  out.insert(out.end(), bytes, bytes + sizeof value);
}

void AppendString(const std::string& text, std::vector<uint8_t>& out) {
  out.push_back(7);
  AppendSize(text.size(), out);
  out.insert(out.end(), text.begin(), text.end());
}

std::optional<std::string> UnquoteText(const std::string& text) {
  if (text.size() < 2 || text.back() != '"') {
    return std::nullopt;
  }
  std::string result;
  for (size_t i = 1; i + 1 < text.size(); ++i) {
    char c = text[i];
    if (c == '"') {
      return std::nullopt;
    }
    if (c == '\\') {
      if (i + 2 >= text.size()) {
        return std::nullopt;
      }
      c = text[++i];
      if (c == 'n') {
        c = '\n';
      } else if (c == 't') {
        c = '\t';
      } else if (c != '"' && c != '\\') {
        return std::nullopt;
      }
    }
    result += c;
  }
  return result;
}

std::optional<std::string> DescribeMethodCall(StrictReader& reader) {
  uint8_t type = 0;
  if (!reader.Byte(type) || (type != 7 && type != 5)) {
    return std::nullopt;
  }
  std::string name;
  if (!DescribeValueOfType(type, reader, name, 0)) {
    return std::nullopt;
  }
  // The name without its quotes reads better: call start(null).
  std::string summary = "call " + name.substr(1, name.size() - 2);
  if (reader.AtEnd()) {
    return summary + " (no arguments value)";
  }
  std::string arguments;
  if (!DescribeValue(reader, arguments, 0) || !reader.AtEnd()) {
    return std::nullopt;
  }
  return summary + "(" + arguments + ")";
}

}  // namespace

std::string HexBytes(const uint8_t* bytes, size_t size) {
  static const char kDigits[] = "0123456789abcdef";
  std::string text;
  text.reserve(size * 2);
  for (size_t i = 0; i < size; ++i) {
    text += kDigits[bytes[i] >> 4];
    text += kDigits[bytes[i] & 0x0f];
  }
  return text;
}

std::optional<std::vector<uint8_t>> ParseHex(const std::string& text) {
  std::vector<uint8_t> bytes;
  int pending = -1;
  for (const char c : text) {
    int digit = -1;
    if (c >= '0' && c <= '9') {
      digit = c - '0';
    } else if (c >= 'a' && c <= 'f') {
      digit = c - 'a' + 10;
    } else if (c >= 'A' && c <= 'F') {
      digit = c - 'A' + 10;
    } else if (c == ' ' || c == '\t') {
      if (pending >= 0) {
        return std::nullopt;  // A blank inside a byte.
      }
      continue;
    } else {
      return std::nullopt;
    }
    if (pending < 0) {
      pending = digit;
    } else {
      bytes.push_back(static_cast<uint8_t>(pending * 16 + digit));
      pending = -1;
    }
  }
  if (pending >= 0) {
    return std::nullopt;
  }
  return bytes;
}

std::optional<std::string> SummarizeMethodCall(const uint8_t* bytes, size_t size) {
  StrictReader reader(bytes, size);
  return DescribeMethodCall(reader);
}

std::optional<size_t> NonZeroPaddingInMethodCall(const uint8_t* bytes, size_t size) {
  StrictReader reader(bytes, size);
  DescribeMethodCall(reader);
  return reader.NonZeroPadding();
}

std::optional<std::string> SummarizeEnvelope(const uint8_t* bytes, size_t size) {
  if (size == 0) {
    return std::string("empty");
  }
  StrictReader reader(bytes, size);
  uint8_t flag = 0;
  reader.Byte(flag);
  std::string summary;
  if (flag == 0) {
    summary = "success ";
    if (!DescribeValue(reader, summary, 0)) {
      return std::nullopt;
    }
  } else if (flag == 1) {
    summary = "error";
    for (int part = 0; part < 3; ++part) {
      summary += ' ';
      if (!DescribeValue(reader, summary, 0)) {
        return std::nullopt;
      }
    }
  } else {
    return std::nullopt;
  }
  if (!reader.AtEnd()) {
    return std::nullopt;
  }
  return summary;
}

std::string SummarizeMessage(const uint8_t* bytes, size_t size, bool preferMethodCall) {
  std::optional<std::string> first =
      preferMethodCall ? SummarizeMethodCall(bytes, size) : SummarizeEnvelope(bytes, size);
  if (first) {
    return *first;
  }
  std::optional<std::string> second =
      preferMethodCall ? SummarizeEnvelope(bytes, size) : SummarizeMethodCall(bytes, size);
  return second ? *second : "undecodable";
}

std::optional<ScriptValue> ParseScriptValue(const std::string& text) {
  ScriptValue value;
  if (text.empty()) {
    return std::nullopt;
  }
  if (text == "null") {
    return value;
  }
  if (text == "true" || text == "false") {
    value.kind = ScriptValue::Kind::kBool;
    value.boolean = text == "true";
    return value;
  }
  if (text.front() == '"') {
    std::optional<std::string> unquoted = UnquoteText(text);
    if (!unquoted) {
      return std::nullopt;
    }
    value.kind = ScriptValue::Kind::kString;
    value.text = *unquoted;
    return value;
  }
  const bool looksNumeric = text.find_first_not_of("+-0123456789.eE") == std::string::npos &&
                            text.find_first_of("0123456789") != std::string::npos;
  if (looksNumeric) {
    const bool isDouble = text.find_first_of(".eE") != std::string::npos;
    char* end = nullptr;
    errno = 0;
    if (isDouble) {
      value.number = std::strtod(text.c_str(), &end);
      value.kind = ScriptValue::Kind::kDouble;
    } else {
      value.integer = std::strtoll(text.c_str(), &end, 10);
      const bool fits32 = value.integer >= std::numeric_limits<int32_t>::min() &&
                          value.integer <= std::numeric_limits<int32_t>::max();
      value.kind = fits32 ? ScriptValue::Kind::kInt32 : ScriptValue::Kind::kInt64;
    }
    if (errno != 0 || end == nullptr || *end != '\0') {
      return std::nullopt;
    }
    return value;
  }
  value.kind = ScriptValue::Kind::kString;
  value.text = text;
  return value;
}

void AppendValue(const ScriptValue& value, std::vector<uint8_t>& out) {
  switch (value.kind) {
    case ScriptValue::Kind::kNull:
      out.push_back(0);
      break;
    case ScriptValue::Kind::kBool:
      out.push_back(value.boolean ? 1 : 2);
      break;
    case ScriptValue::Kind::kInt32:
      out.push_back(3);
      AppendLittleEndian(static_cast<int32_t>(value.integer), out);
      break;
    case ScriptValue::Kind::kInt64:
      out.push_back(4);
      AppendLittleEndian(value.integer, out);
      break;
    case ScriptValue::Kind::kDouble:
      out.push_back(6);
      while (out.size() % 8 != 0) {
        out.push_back(0);
      }
      AppendLittleEndian(value.number, out);
      break;
    case ScriptValue::Kind::kString:
      AppendString(value.text, out);
      break;
  }
}

std::vector<uint8_t> EncodeMethodCall(const std::string& method,
                                      const std::optional<ScriptValue>& argument) {
  std::vector<uint8_t> out;
  AppendString(method, out);
  AppendValue(argument ? *argument : ScriptValue{}, out);
  return out;
}

}  // namespace stand_in
