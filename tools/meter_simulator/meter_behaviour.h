#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "tools/meter_frames/meter_frame_builder.h"

// How the simulated meter answers a poll; each plays one kind of awkward meter.
enum class AnswerMode {
  kNormal,   // one frame after the answer delay
  kSilent,   // nothing
  kGarbage,  // 19 bytes without a header (one near miss: AA DD 01)
  kSplit,    // the frame in two writes, 10 + 9 bytes, with a gap between them
  kLate,     // one frame, late (default 800 ms, beyond the host's 700 ms read window)
  kLong,     // one frame padded to a longer length (default 24 bytes)
  kDouble,   // two frames in one write
};

// Bytes to write to the line at a given time; unplugAfter pulls the cable once they are out.
struct PlannedWrite {
  int64_t dueMs = 0;
  std::vector<uint8_t> bytes;
  bool unplugAfter = false;
};

// The meter's answers to polls. Pure logic: time and the meter's clock come from the caller.
class MeterBehaviour {
 public:
  // A poll byte (0x11) arrived at nowMs; clock carries the meter's date and time.
  std::vector<PlannedWrite> OnPoll(int64_t nowMs, const MeterFrameFields& clock);

  // mode name and optional parameter; empty when set, else what was wrong, with what is allowed.
  std::string SetMode(const std::string& name, int parameter, bool hasParameter);
  std::string ModeName() const;
  void SetAnswerDelay(int milliseconds) { answerDelayMs_ = milliseconds; }
  void SetReading(int value, int rangeCode, bool overload);
  // Pulls the cable 300 ms after the answer to the count-th poll from now (0: no such plan).
  void UnplugAfter(int count) { unplugAfterPolls_ = count; }
  // Back to a normal meter, counters at zero.
  void Reset();

  int Polls() const { return polls_; }
  int Frames() const { return frames_; }

 private:
  std::vector<uint8_t> NextFrame(const MeterFrameFields& clock);

  AnswerMode mode_ = AnswerMode::kNormal;
  int splitGapMs_ = 120;
  int lateDelayMs_ = 800;
  int longLength_ = 24;
  int answerDelayMs_ = 20;
  int value_ = 1234;
  int rangeCode_ = 1;
  bool overload_ = false;
  uint8_t number_ = 0;
  int polls_ = 0;
  int frames_ = 0;
  int unplugAfterPolls_ = 0;
};
