#pragma once

#include <gtest/gtest.h>

#include <iostream>
#include <string>

// Standard error captured at the descriptor level, without the CR that text mode adds on Windows.
class DescriptorStderrCapture {
 public:
  DescriptorStderrCapture() { testing::internal::CaptureStderr(); }
  ~DescriptorStderrCapture() {
    if (!taken) {
      testing::internal::GetCapturedStderr();
    }
  }
  DescriptorStderrCapture(const DescriptorStderrCapture&) = delete;
  DescriptorStderrCapture& operator=(const DescriptorStderrCapture&) = delete;

  std::string Take() {
    std::cerr.flush();
    taken = true;
    std::string text = testing::internal::GetCapturedStderr();
    std::string clean;
    for (const char c : text) {
      if (c != '\r') {
        clean += c;
      }
    }
    return clean;
  }

 private:
  bool taken = false;
};
