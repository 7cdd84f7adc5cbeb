#pragma once

#include <string>

namespace flutter {

// Answers one incoming method call, exactly once: Success, Error or NotImplemented.
template <typename T>
class MethodResult {
 public:
  MethodResult() = default;
  virtual ~MethodResult() = default;

  MethodResult(const MethodResult&) = delete;
  MethodResult& operator=(const MethodResult&) = delete;

  void Success(const T& result) { SuccessInternal(&result); }
  void Success() { SuccessInternal(nullptr); }
  void Error(const std::string& error_code, const std::string& error_message,
             const T& error_details) {
    ErrorInternal(error_code, error_message, &error_details);
  }
  void Error(const std::string& error_code, const std::string& error_message = "") {
    ErrorInternal(error_code, error_message, nullptr);
  }
  void NotImplemented() { NotImplementedInternal(); }

 protected:
  // result may be null (success without a value).
  virtual void SuccessInternal(const T* result) = 0;
  // error_details may be null.
  virtual void ErrorInternal(const std::string& error_code, const std::string& error_message,
                             const T* error_details) = 0;
  virtual void NotImplementedInternal() = 0;
};

}  // namespace flutter
