#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <random>

namespace endurance {

// What the meter does in one poll of the day.
enum class PollKind {
  kFrame,         // one whole frame
  kSplitFrame,    // one frame in two or three pieces, each a read of its own
  kNoisyFrame,    // garbage, the frame and more garbage in one piece
  kSilent,        // no answer
  kGarbage,       // bytes without a header
  kWriteFailure,  // the query byte is not written (error 21)
  kReadFailure,   // the first read fails without an error code (the cable pulled)
};

// Bytes that arrive delayMs after the query byte.
struct Piece {
  size_t offset = 0;
  size_t length = 0;
  int64_t delayMs = 0;
};

// The reading that a frame of the plan must turn into.
struct ExpectedReading {
  int32_t raw = 0;
  int32_t rangeCode = 0;
  bool overload = false;
  int32_t nr = 0;
};

struct PollPlan {
  PollKind kind = PollKind::kSilent;
  std::array<uint8_t, 128> bytes{};
  std::array<Piece, 3> pieces{};
  size_t pieceCount = 0;
  bool hasFrame = false;
  ExpectedReading reading;
};

// A seeded day of polls. Garbage never holds 0xAA, so it can neither start a header nor hide one:
// every scripted frame must come out as exactly one reading, every other poll as one "brak".
class DayScript {
 public:
  explicit DayScript(uint64_t seed) : random(seed) {}

  // The plan of poll number poll (from 1).
  PollPlan Next(int64_t poll);

 private:
  uint32_t Below(uint32_t bound) { return static_cast<uint32_t>(random() % bound); }
  size_t AddGarbage(PollPlan& plan, size_t at, size_t length);
  size_t AddFrame(PollPlan& plan, size_t at, int64_t poll);
  void AddPiece(PollPlan& plan, size_t offset, size_t length, int64_t delayMs);

  std::mt19937_64 random;
  uint8_t frameNumber = 0;
};

}  // namespace endurance
