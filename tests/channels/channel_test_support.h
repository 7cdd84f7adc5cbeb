#pragma once

#include <cstdint>
#include <iostream>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "channels/binary_messenger.h"
#include "channels/encodable_value.h"
#include "channels/method_result.h"

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

// Records every answer as a line, values as the hex of their encoding: "success",
// "success 03 05 00 00 00", "error <code>|<message>[|<details hex>]", "not implemented".
class RecordingResult : public flutter::MethodResult<flutter::EncodableValue> {
 public:
  Lines answers;

 protected:
  void SuccessInternal(const flutter::EncodableValue* result) override;
  void ErrorInternal(const std::string& code, const std::string& message,
                     const flutter::EncodableValue* details) override;
  void NotImplementedInternal() override { answers.push_back("not implemented"); }
};

// A messenger that keeps handlers in memory and records their answers as hex ("<null>" for none).
class FakeBinaryMessenger : public flutter::BinaryMessenger {
 public:
  void Send(const std::string&, const uint8_t*, size_t, flutter::BinaryReply) const override {}
  void SetMessageHandler(const std::string& channel,
                         flutter::BinaryMessageHandler handler) override;

  // Runs the channel's handler with message; false when none is installed.
  bool Deliver(const std::string& channel, const std::vector<uint8_t>& message);

  const Lines& replies() const { return *replies_; }

 private:
  std::map<std::string, flutter::BinaryMessageHandler> handlers_;
  std::shared_ptr<Lines> replies_ = std::make_shared<Lines>();
};

}  // namespace channel_test
