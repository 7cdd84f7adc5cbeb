#pragma once

#include <string>

namespace flutter {

// Where a service pushes the events of one stream.
template <typename T>
class EventSink {
 public:
  EventSink() = default;
  virtual ~EventSink() = default;

  EventSink(const EventSink&) = delete;
  EventSink& operator=(const EventSink&) = delete;

  void Success(const T& event) { SuccessInternal(&event); }
  void Success() { SuccessInternal(nullptr); }
  void Error(const std::string& error_code, const std::string& error_message,
             const T& error_details) {
    ErrorInternal(error_code, error_message, &error_details);
  }
  void Error(const std::string& error_code, const std::string& error_message = "") {
    ErrorInternal(error_code, error_message, nullptr);
  }
  void EndOfStream() { EndOfStreamInternal(); }

 protected:
  // event may be null (an event without a value).
  virtual void SuccessInternal(const T* event) = 0;
  // error_details may be null.
  virtual void ErrorInternal(const std::string& error_code, const std::string& error_message,
                             const T* error_details) = 0;
  virtual void EndOfStreamInternal() = 0;
};

}  // namespace flutter
