#pragma once

#include <string>
#include <vector>

#include "channels/encodable_value.h"
#include "channels/event_sink.h"
#include "channels/method_result.h"

namespace channel_test {

// Renders a value compactly for assertions: null, true, 3, 3L, 1.5, "s", [..], {k: v}, ...
std::string Describe(const flutter::EncodableValue& value);

// Records every answer as a line: "success", "success <value>", "error <code>|<message>",
// "error <code>|<message>|<details>", "not implemented".
class RecordingResult : public flutter::MethodResult<flutter::EncodableValue> {
 public:
  std::vector<std::string> answers;

 protected:
  void SuccessInternal(const flutter::EncodableValue* result) override;
  void ErrorInternal(const std::string& code, const std::string& message,
                     const flutter::EncodableValue* details) override;
  void NotImplementedInternal() override;
};

// Records every event like RecordingResult; end of stream as "end".
class RecordingSink : public flutter::EventSink<flutter::EncodableValue> {
 public:
  std::vector<std::string> events;

 protected:
  void SuccessInternal(const flutter::EncodableValue* event) override;
  void ErrorInternal(const std::string& code, const std::string& message,
                     const flutter::EncodableValue* details) override;
  void EndOfStreamInternal() override;
};

}  // namespace channel_test
