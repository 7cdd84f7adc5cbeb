#include "tools/endurance/day/day_ledger.h"

#include <cinttypes>

namespace endurance {

void DayLedger::ExpectReading(const ExpectedReading& reading) {
  std::lock_guard<std::mutex> lock(mutex);
  ++readings.expected;
  if (pendingCount == kInFlight) {
    overflowed = true;
    return;
  }
  pending[(pendingFirst + pendingCount++) % kInFlight] = reading;
}

void DayLedger::ExpectSilence() {
  std::lock_guard<std::mutex> lock(mutex);
  ++silences.expected;
}

void DayLedger::ExpectFailure(const char* text) {
  std::lock_guard<std::mutex> lock(mutex);
  ++failures[TextIndex(text)].expected;
}

void DayLedger::SawReading(const ExpectedReading& got) {
  std::lock_guard<std::mutex> lock(mutex);
  ++readings.seen;
  if (pendingCount == 0) {
    ++unexpected;
    return;
  }
  const ExpectedReading want = pending[pendingFirst];
  pendingFirst = (pendingFirst + 1) % kInFlight;
  --pendingCount;
  if (got.raw == want.raw && got.rangeCode == want.rangeCode && got.overload == want.overload &&
      got.nr == want.nr) {
    ++matched;
    return;
  }
  if (wrong++ == 0) {
    std::snprintf(firstWrong.data(), firstWrong.size(),
                  "nr %d raw %d kod %d ol %d where the script had nr %d raw %d kod %d ol %d",
                  got.nr, got.raw, got.rangeCode, got.overload, want.nr, want.raw, want.rangeCode,
                  want.overload);
  }
}

void DayLedger::SawSilence() {
  std::lock_guard<std::mutex> lock(mutex);
  ++silences.seen;
}

void DayLedger::SawError(const std::string& text) {
  std::lock_guard<std::mutex> lock(mutex);
  const size_t index = TextIndex(text);
  if (index < failures.size()) {
    ++failures[index].seen;
  } else {
    ++others;
  }
}

void DayLedger::SawState() {
  std::lock_guard<std::mutex> lock(mutex);
  ++states;
}

void DayLedger::SawOther() {
  std::lock_guard<std::mutex> lock(mutex);
  ++others;
}

size_t DayLedger::TextIndex(const std::string& text) {
  if (text == kNotReadyText) return 0;
  if (text == kUnpluggedText) return 1;
  return 2;
}

bool DayLedger::Report(std::FILE* out) {
  std::lock_guard<std::mutex> lock(mutex);
  const uint64_t runs = 1 + failures[0].expected + failures[1].expected;
  std::fprintf(out,
               "events: pomiar %" PRIu64 " (script %" PRIu64 "), brak %" PRIu64 " (script %" PRIu64
               "), blad \"%s\" %" PRIu64 " (script %" PRIu64 "), blad \"%s\" %" PRIu64
               " (script %" PRIu64 "), stan %" PRIu64 " (script %" PRIu64
               ", two per run), others %" PRIu64 "\n",
               readings.seen, readings.expected, silences.seen, silences.expected, kNotReadyText,
               failures[0].seen, failures[0].expected, kUnpluggedText, failures[1].seen,
               failures[1].expected, states, 2 * runs, others);
  std::fprintf(out,
               "readings: %" PRIu64 " matched by number and value, %zu missing, %" PRIu64
               " unexpected, %" PRIu64 " wrong%s%s\n",
               matched, pendingCount, unexpected, wrong, wrong > 0 ? "; first: " : "",
               wrong > 0 ? firstWrong.data() : "");
  const bool countsMatch = readings.seen == readings.expected &&
                           silences.seen == silences.expected &&
                           failures[0].seen == failures[0].expected &&
                           failures[1].seen == failures[1].expected && states == 2 * runs;
  return countsMatch && others == 0 && !overflowed && matched == readings.expected &&
         pendingCount == 0 && unexpected == 0 && wrong == 0;
}

}  // namespace endurance
