#include "recording_results.h"

#include <sstream>

namespace channel_test {

using flutter::EncodableList;
using flutter::EncodableMap;
using flutter::EncodableValue;

namespace {

template <typename T>
std::string DescribeNumbers(const char* tag, const std::vector<T>& list) {
  std::ostringstream text;
  text << tag << "[";
  for (size_t i = 0; i < list.size(); ++i) text << (i ? ", " : "") << +list[i];
  text << "]";
  return text.str();
}

std::string DescribeAnswer(const char* kind, const std::string& code, const std::string& message,
                           const EncodableValue* details) {
  std::string text = std::string(kind) + " " + code + "|" + message;
  if (details != nullptr) text += "|" + Describe(*details);
  return text;
}

}  // namespace

std::string Describe(const EncodableValue& value) {
  std::ostringstream text;
  switch (value.index()) {
    case 0:
      return "null";
    case 1:
      return std::get<bool>(value) ? "true" : "false";
    case 2:
      return std::to_string(std::get<int32_t>(value));
    case 3:
      return std::to_string(std::get<int64_t>(value)) + "L";
    case 4:
      text << std::get<double>(value);
      return text.str();
    case 5:
      return "\"" + std::get<std::string>(value) + "\"";
    case 6:
      return DescribeNumbers("u8", std::get<std::vector<uint8_t>>(value));
    case 7:
      return DescribeNumbers("i32", std::get<std::vector<int32_t>>(value));
    case 8:
      return DescribeNumbers("i64", std::get<std::vector<int64_t>>(value));
    case 9:
      return DescribeNumbers("f64", std::get<std::vector<double>>(value));
    case 10: {
      const auto& list = std::get<EncodableList>(value);
      text << "[";
      for (size_t i = 0; i < list.size(); ++i) text << (i ? ", " : "") << Describe(list[i]);
      text << "]";
      return text.str();
    }
    case 11: {
      text << "{";
      bool first = true;
      for (const auto& [key, entry] : std::get<EncodableMap>(value)) {
        text << (first ? "" : ", ") << Describe(key) << ": " << Describe(entry);
        first = false;
      }
      text << "}";
      return text.str();
    }
    case 12:
      return "custom";
    case 13:
      return DescribeNumbers("f32", std::get<std::vector<float>>(value));
    default:
      return "valueless";
  }
}

void RecordingResult::SuccessInternal(const EncodableValue* result) {
  answers.push_back(result != nullptr ? "success " + Describe(*result) : "success");
}

void RecordingResult::ErrorInternal(const std::string& code, const std::string& message,
                                    const EncodableValue* details) {
  answers.push_back(DescribeAnswer("error", code, message, details));
}

void RecordingResult::NotImplementedInternal() { answers.push_back("not implemented"); }

void RecordingSink::SuccessInternal(const EncodableValue* event) {
  events.push_back(event != nullptr ? "success " + Describe(*event) : "success");
}

void RecordingSink::ErrorInternal(const std::string& code, const std::string& message,
                                  const EncodableValue* details) {
  events.push_back(DescribeAnswer("error", code, message, details));
}

void RecordingSink::EndOfStreamInternal() { events.push_back("end"); }

}  // namespace channel_test
