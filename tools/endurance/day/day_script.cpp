#include "tools/endurance/day/day_script.h"

#include <algorithm>
#include <vector>

#include "tools/meter_frames/meter_frame_builder.h"

namespace endurance {

namespace {

// Share of each kind in ten thousand polls; a cable pulled about twice an hour of the day and a
// failed write as often, so every run of a day is a few thousand polls long.
struct Share {
  PollKind kind;
  uint32_t perTenThousand;
};
constexpr Share kShares[] = {
    {PollKind::kWriteFailure, 2}, {PollKind::kReadFailure, 2},   {PollKind::kSilent, 700},
    {PollKind::kGarbage, 600},    {PollKind::kSplitFrame, 1200}, {PollKind::kNoisyFrame, 600},
};

}  // namespace

size_t DayScript::AddGarbage(PollPlan& plan, size_t at, size_t length) {
  for (size_t i = 0; i < length; ++i) {
    const uint8_t byte = static_cast<uint8_t>(Below(256));
    plan.bytes[at + i] = byte == 0xAA ? 0x55 : byte;
  }
  return at + length;
}

size_t DayScript::AddFrame(PollPlan& plan, size_t at, int64_t poll) {
  MeterFrameFields fields;
  fields.value = static_cast<int>(Below(25600));
  fields.rangeCode = static_cast<int>(Below(16));
  fields.overload = Below(20) == 0;
  fields.number = frameNumber++;
  fields.hour = static_cast<int>(poll / 3600 % 24);
  fields.minute = static_cast<int>(poll / 60 % 60);
  fields.second = static_cast<int>(poll % 60);
  const std::vector<uint8_t> frame = BuildMeterFrame(fields);
  std::copy(frame.begin(), frame.end(), plan.bytes.begin() + static_cast<std::ptrdiff_t>(at));
  plan.hasFrame = true;
  plan.reading = {fields.value, fields.rangeCode, fields.overload, fields.number};
  return at + frame.size();
}

void DayScript::AddPiece(PollPlan& plan, size_t offset, size_t length, int64_t delayMs) {
  plan.pieces[plan.pieceCount++] = {offset, length, delayMs};
}

PollPlan DayScript::Next(int64_t poll) {
  PollPlan plan;
  plan.kind = PollKind::kFrame;
  uint32_t draw = Below(10000);
  for (const Share& share : kShares) {
    if (draw < share.perTenThousand) {
      plan.kind = share.kind;
      break;
    }
    draw -= share.perTenThousand;
  }
  // Every piece has arrived, and been read, well inside the 700 ms read window.
  const int64_t firstDelay = 10 + Below(140);
  switch (plan.kind) {
    case PollKind::kFrame:
      AddPiece(plan, 0, AddFrame(plan, 0, poll), firstDelay);
      break;
    case PollKind::kSplitFrame: {
      const size_t end = AddFrame(plan, 0, poll);
      // Pieces more than the line's 50 ms apart: each is a read of its own.
      size_t cut = 1 + Below(17);
      AddPiece(plan, 0, cut, firstDelay);
      int64_t delay = firstDelay + 60 + Below(150);
      if (cut < end - 1 && Below(2) == 0) {
        const size_t second = cut + 1 + Below(static_cast<uint32_t>(end - cut - 1));
        AddPiece(plan, cut, second - cut, delay);
        delay += 60 + Below(150);
        cut = second;
      }
      AddPiece(plan, cut, end - cut, delay);
      break;
    }
    case PollKind::kNoisyFrame: {
      size_t end = AddGarbage(plan, 0, 1 + Below(60));
      end = AddFrame(plan, end, poll);
      end = AddGarbage(plan, end, Below(20));
      AddPiece(plan, 0, end, firstDelay);
      break;
    }
    case PollKind::kGarbage: {
      const size_t first = AddGarbage(plan, 0, 1 + Below(60));
      AddPiece(plan, 0, first, firstDelay);
      AddPiece(plan, first, AddGarbage(plan, first, 1 + Below(60)) - first, firstDelay + 300);
      break;
    }
    case PollKind::kSilent:
    case PollKind::kWriteFailure:
    case PollKind::kReadFailure:
      break;
  }
  return plan;
}

}  // namespace endurance
