// Speed of the standard encoding against a plain memcpy of the same bytes: a meter reading event
// (the most frequent message) and a 1 MiB list of doubles (typed lists move as one block copy).
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "channels/byte_buffer_streams.h"
#include "channels/standard_codec_serializer.h"

namespace {

using flutter::EncodableMap;
using flutter::EncodableValue;

const flutter::StandardCodecSerializer& Serializer() {
  return flutter::StandardCodecSerializer::GetInstance();
}

EncodableValue ReadingEvent() {
  return EncodableMap{
      {"typ", "pomiar"},     {"lux", 1234.5}, {"raw", 12345}, {"kod", 2},
      {"zakres", "4000 lx"}, {"ol", false},   {"nr", 17},     {"t", int64_t{1733500000000}}};
}

EncodableValue DoubleList() {
  std::vector<double> list((1 << 20) / sizeof(double));
  for (size_t i = 0; i < list.size(); ++i) list[i] = static_cast<double>(i) * 0.25;
  return list;
}

std::vector<uint8_t> EncodeOnce(const EncodableValue& value) {
  std::vector<uint8_t> bytes;
  flutter::ByteBufferStreamWriter writer(&bytes);
  Serializer().WriteValue(value, &writer);
  return bytes;
}

void Encode(benchmark::State& state, const EncodableValue& value) {
  std::vector<uint8_t> bytes;
  bytes.reserve(EncodeOnce(value).size());
  for (auto _ : state) {
    bytes.clear();
    flutter::ByteBufferStreamWriter writer(&bytes);
    Serializer().WriteValue(value, &writer);
    benchmark::DoNotOptimize(bytes.data());
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * bytes.size()));
}

void Decode(benchmark::State& state, const EncodableValue& value) {
  const std::vector<uint8_t> bytes = EncodeOnce(value);
  for (auto _ : state) {
    flutter::ByteBufferStreamReader reader(bytes.data(), bytes.size());
    EncodableValue decoded = Serializer().ReadValue(&reader);
    benchmark::DoNotOptimize(decoded);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * bytes.size()));
}

void Memcpy(benchmark::State& state, const EncodableValue& value) {
  const std::vector<uint8_t> bytes = EncodeOnce(value);
  std::vector<uint8_t> copy(bytes.size());
  for (auto _ : state) {
    std::memcpy(copy.data(), bytes.data(), bytes.size());
    benchmark::DoNotOptimize(copy.data());
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * bytes.size()));
}

// Console output plus, at the end, each codec time as a multiple of memcpy's.
class RatioReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    for (const Run& run : runs) {
      if (run.run_type == Run::RT_Iteration && run.error_occurred == false) {
        seconds_[run.benchmark_name()] = run.GetAdjustedRealTime();
      }
    }
    ConsoleReporter::ReportRuns(runs);
  }

  void PrintRatios() const {
    for (const char* subject : {"reading_event", "double_list_1MiB"}) {
      const auto reference = seconds_.find(std::string("memcpy/") + subject);
      if (reference == seconds_.end()) continue;
      for (const char* operation : {"encode", "decode"}) {
        const auto measured = seconds_.find(std::string(operation) + "/" + subject);
        if (measured == seconds_.end()) continue;
        std::printf("%s/%s: %.2f x memcpy\n", operation, subject,
                    measured->second / reference->second);
      }
    }
  }

 private:
  std::map<std::string, double> seconds_;
};

}  // namespace

int main(int argc, char** argv) {
  const EncodableValue reading = ReadingEvent();
  const EncodableValue doubles = DoubleList();
  benchmark::RegisterBenchmark("encode/reading_event", Encode, reading);
  benchmark::RegisterBenchmark("decode/reading_event", Decode, reading);
  benchmark::RegisterBenchmark("memcpy/reading_event", Memcpy, reading);
  benchmark::RegisterBenchmark("encode/double_list_1MiB", Encode, doubles);
  benchmark::RegisterBenchmark("decode/double_list_1MiB", Decode, doubles);
  benchmark::RegisterBenchmark("memcpy/double_list_1MiB", Memcpy, doubles);

  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  reporter.PrintRatios();
  benchmark::Shutdown();
  return 0;
}
