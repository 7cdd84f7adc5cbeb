#pragma once

#include <cstdint>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#include "channels/encodable_value.h"

namespace channel_test {

using Lines = std::vector<std::string>;

// Collects everything written to std::cerr while it lives.
class StderrCapture {
 public:
  StderrCapture() : previous_(std::cerr.rdbuf(captured_.rdbuf())) {}
  ~StderrCapture() { std::cerr.rdbuf(previous_); }
  StderrCapture(const StderrCapture&) = delete;
  StderrCapture& operator=(const StderrCapture&) = delete;

  // The lines written so far; an unterminated last piece shows up as "<partial>...".
  Lines Take();

 private:
  std::ostringstream captured_;
  std::streambuf* previous_;
};

// "0d 01 07" -> bytes, and back.
std::vector<uint8_t> Hex(const std::string& text);
std::string ToHex(const std::vector<uint8_t>& bytes);

// The standard encoding of value into a fresh buffer, and back.
std::vector<uint8_t> Encode(const flutter::EncodableValue& value);
flutter::EncodableValue Decode(const std::vector<uint8_t>& bytes);

inline constexpr char kInvalidRead[] = "Invalid read in StandardCodecByteStreamReader";

}  // namespace channel_test
