// The input writes a stream of raw bytes and conforming frames and cuts it into reads. The buffer
// must stay a bounded tail of the stream, a read that decodes nothing leaves less than a frame, and
// each reading is the 19 bytes before that tail, re-encoding to them if they were a built frame.
#include <cstdio>
#include <cstdlib>
#include <set>
#include <tuple>

#include "runner/meter/frame_accumulator.h"
#include "tools/meter_frames/meter_frame_builder.h"

static void Require(bool condition, const char* what) {
  if (condition) return;
  std::fprintf(stderr, "fuzz check failed: %s\n", what);
  std::abort();
}

static auto Tied(const meter_link::MeterReading& r) {
  return std::tie(r.raw, r.rangeCode, r.lux, r.rangeLabel, r.overload, r.nr, r.year, r.month, r.day,
                  r.hour, r.minute, r.second);
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  meter_link::FrameAccumulator accumulator;
  std::vector<uint8_t> stream;
  std::set<size_t> framesAt;  // where the conforming frames start in the stream
  size_t fed = 0;
  for (size_t i = 0; i + 2 <= size;) {
    const uint8_t op = data[i], n = data[i + 1], *b = data + i + 2;
    i += 2;
    if (op % 3 == 0 && i + 8 <= size) {  // a conforming frame from 8 input bytes
      i += 8;
      framesAt.insert(stream.size());
      const auto frame = BuildMeterFrame({(b[0] << 8 | b[1]) % 25600, b[2] & 0x0F, b[2] >= 0x80,
                                          b[3], 2000 + b[4] % 100, n % 100, b[5] % 100, b[6] % 100,
                                          b[7] % 100, op % 100});
      stream.insert(stream.end(), frame.begin(), frame.end());
    } else if (op % 3 == 1) {  // n raw bytes
      const size_t count = std::min<size_t>(n, size - i);
      stream.insert(stream.end(), b, b + count);
      i += count;
    } else if (fed < stream.size()) {  // a read of up to n + 1 bytes
      const size_t count = std::min<size_t>(n + 1u, stream.size() - fed);
      meter_link::MeterReading reading, again;
      const bool decoded = accumulator.AddRead(stream.data() + fed, count, &reading);
      fed += count;
      const std::vector<uint8_t>& kept = accumulator.Bytes();
      Require(kept.size() <= meter_link::FrameAccumulator::kCapacity && kept.size() <= fed &&
                  std::equal(kept.begin(), kept.end(), stream.begin() + fed - kept.size()),
              "the buffer is a bounded tail of the stream");
      Require(decoded || kept.size() < 19, "no whole frame stays undecoded");
      if (!decoded) continue;
      const size_t at = fed - kept.size() - 19;  // checked first: the frame lies before the tail
      Require(fed >= kept.size() + 19 && meter_link::DecodeFrame(stream.data() + at, 19, &again) &&
                  Tied(again) == Tied(reading),
              "the reading is the frame before the tail");
      const meter_link::MeterReading& r = reading;
      Require(framesAt.count(at) == 0 ||
                  BuildMeterFrame({r.raw, r.rangeCode, r.overload, static_cast<uint8_t>(r.nr),
                                   r.year, r.month, r.day, r.hour, r.minute, r.second}) ==
                      std::vector<uint8_t>(stream.begin() + at, stream.begin() + at + 19),
              "a conforming frame re-encodes to its bytes");
    }
  }
  return 0;
}
