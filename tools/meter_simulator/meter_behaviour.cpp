#include "tools/meter_simulator/meter_behaviour.h"

namespace {

const int64_t kUnplugDelayMs = 300;
// A long frame is still one frame, and fits the host's 256-byte read.
const int kMinLongLength = 19;
const int kMaxLongLength = 256;

struct NamedMode {
  const char* name;
  AnswerMode mode;
};

const NamedMode kModes[] = {
    {"normal", AnswerMode::kNormal},   {"silent", AnswerMode::kSilent},
    {"garbage", AnswerMode::kGarbage}, {"split", AnswerMode::kSplit},
    {"late", AnswerMode::kLate},       {"long", AnswerMode::kLong},
    {"double", AnswerMode::kDouble},
};

// No AA DD 00 anywhere, but a near miss that a careless header search would accept.
std::vector<uint8_t> Garbage() {
  return {0x55, 0xAA, 0xDD, 0x01, 0x55, 0x00, 0xDD, 0xAA, 0x13, 0x37,
          0x11, 0x22, 0x33, 0x44, 0x55, 0x66, 0x77, 0x88, 0xAA};
}

}  // namespace

std::vector<uint8_t> MeterBehaviour::NextFrame(const MeterFrameFields& clock) {
  MeterFrameFields fields = clock;
  fields.value = value_;
  fields.rangeCode = rangeCode_;
  fields.overload = overload_;
  fields.number = number_++;
  ++frames_;
  return BuildMeterFrame(fields);
}

std::vector<PlannedWrite> MeterBehaviour::OnPoll(int64_t nowMs, const MeterFrameFields& clock) {
  ++polls_;
  std::vector<PlannedWrite> plan;
  const int64_t due = nowMs + answerDelayMs_;
  switch (mode_) {
    case AnswerMode::kNormal:
      plan.push_back({due, NextFrame(clock), false});
      break;
    case AnswerMode::kSilent:
      break;
    case AnswerMode::kGarbage:
      plan.push_back({due, Garbage(), false});
      break;
    case AnswerMode::kSplit: {
      std::vector<uint8_t> frame = NextFrame(clock);
      plan.push_back({due, std::vector<uint8_t>(frame.begin(), frame.begin() + 10), false});
      plan.push_back(
          {due + splitGapMs_, std::vector<uint8_t>(frame.begin() + 10, frame.end()), false});
      break;
    }
    case AnswerMode::kLate:
      plan.push_back({nowMs + lateDelayMs_, NextFrame(clock), false});
      break;
    case AnswerMode::kLong: {
      std::vector<uint8_t> frame = NextFrame(clock);
      if (static_cast<int>(frame.size()) < longLength_) frame.resize(longLength_, 0x00);
      plan.push_back({due, frame, false});
      break;
    }
    case AnswerMode::kDouble: {
      std::vector<uint8_t> both = NextFrame(clock);
      const std::vector<uint8_t> second = NextFrame(clock);
      both.insert(both.end(), second.begin(), second.end());
      plan.push_back({due, both, false});
      break;
    }
  }
  if (unplugAfterPolls_ > 0 && --unplugAfterPolls_ == 0) {
    // Pulled a little after the last answer: a hang-up discards what the host has not read yet.
    const int64_t lastDue = plan.empty() ? due : plan.back().dueMs;
    plan.push_back({lastDue + kUnplugDelayMs, {}, true});
  }
  return plan;
}

std::string MeterBehaviour::SetMode(const std::string& name, int parameter, bool hasParameter) {
  const std::string given = std::to_string(parameter);
  for (const NamedMode& m : kModes) {
    if (name != m.name) continue;
    if (hasParameter) {
      if (m.mode == AnswerMode::kLong) {
        if (parameter < kMinLongLength || parameter > kMaxLongLength) {
          return "bad length " + given + " (" + std::to_string(kMinLongLength) + ".." +
                 std::to_string(kMaxLongLength) + ")";
        }
        longLength_ = parameter;
      } else if (parameter < 0) {
        return "bad milliseconds " + given + " (0 or more)";
      }
      if (m.mode == AnswerMode::kSplit) splitGapMs_ = parameter;
      if (m.mode == AnswerMode::kLate) lateDelayMs_ = parameter;
    }
    mode_ = m.mode;
    return "";
  }
  std::string names;
  for (const NamedMode& m : kModes) names += std::string(names.empty() ? "" : ", ") + m.name;
  return "bad mode " + name + " (" + names + ")";
}

std::string MeterBehaviour::ModeName() const {
  for (const NamedMode& m : kModes) {
    if (m.mode == mode_) return m.name;
  }
  return "?";
}

void MeterBehaviour::SetReading(int value, int rangeCode, bool overload) {
  value_ = value;
  rangeCode_ = rangeCode;
  overload_ = overload;
}

void MeterBehaviour::Reset() { *this = MeterBehaviour(); }
