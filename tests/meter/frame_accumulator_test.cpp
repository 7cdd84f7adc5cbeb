#include "runner/meter/frame_accumulator.h"

#include <tuple>

#include "tests/meter/support/meter_fixture.h"

namespace meter_link {
namespace {

using Bytes = std::vector<uint8_t>;

// One read: the value of the frame it completes (-1: none) and the bytes kept afterwards.
struct Step {
  Bytes read;
  int raw;
  Bytes kept;
};

TEST(FrameAccumulator, ReassemblesFramesAcrossReads) {
  const Bytes f = Frame(321), head(f.begin(), f.begin() + 10), tail(f.begin() + 10, f.end());
  const Bytes full = Join({Frame(1111), Bytes(256 - 38, 0x55), Frame(2222)});
  const struct {
    const char* name;
    std::vector<Step> steps;
  } cases[] = {
      {"split over two reads", {{head, -1, head}, {tail, 321, {}}}},
      {"garbage before the header", {{Join({{0x01, 0xAA, 0xDD}, f}), 321, {}}}},
      {"no header keeps the last two bytes",
       {{Join({Bytes(30, 0x55), {0xAA, 0xDD}}), -1, {0xAA, 0xDD}},
        {Bytes(f.begin() + 2, f.end()), 321, {}}}},
      {"fewer than three bytes stay unsearched", {{{0x12, 0x34}, -1, {0x12, 0x34}}}},
      {"a longer frame leaves its tail for later",
       {{Join({f, Bytes(5, 0x11)}), 321, Bytes(5, 0x11)}, {{0x22}, -1, {0x11, 0x22}}}},
      {"the second frame of one read waits for the next read",
       {{Join({Frame(1), Frame(2)}), 1, Frame(2)}, {{0x00}, 2, {0x00}}}},
      // A frame at byte 0 of a full read loses its first header byte.
      {"a full read keeps only its last 255 bytes",
       {{{0xAA, 0xDD, 0x00, 0x25}, -1, {0xAA, 0xDD, 0x00, 0x25}}, {full, 2222, {}}}},
      {"overflow drops the oldest bytes",
       {{head, -1, head}, {Join({Bytes(231, 0x55), Frame(4321)}), 4321, {}}}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    FrameAccumulator accumulator;
    for (const Step& step : c.steps) {
      MeterReading reading;
      reading.raw = -1;
      const bool found = accumulator.AddRead(step.read.data(), step.read.size(), &reading);
      EXPECT_EQ(std::make_tuple(found, reading.raw, accumulator.Bytes()),
                std::make_tuple(step.raw >= 0, step.raw, step.kept));
    }
  }
}

}  // namespace
}  // namespace meter_link
