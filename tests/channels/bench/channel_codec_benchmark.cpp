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

using flutter::EncodableValue;
const flutter::StandardCodecSerializer& kSerializer =
    flutter::StandardCodecSerializer::GetInstance();
const char* const kOperations[] = {"encode", "decode", "memcpy"};

void EncodeInto(std::vector<uint8_t>& bytes, const EncodableValue& value) {
  bytes.clear();  // keeps the capacity
  flutter::ByteBufferStreamWriter writer(&bytes);
  kSerializer.WriteValue(value, &writer);
}

void Run(benchmark::State& state, const EncodableValue& value, int operation) {
  std::vector<uint8_t> encoded, out;
  EncodeInto(encoded, value);
  out.resize(encoded.size());
  for (auto _ : state) {
    if (operation == 0) {
      EncodeInto(out, value);
    } else if (operation == 1) {
      flutter::ByteBufferStreamReader reader(encoded.data(), encoded.size());
      benchmark::DoNotOptimize(kSerializer.ReadValue(&reader));
    } else {
      std::memcpy(out.data(), encoded.data(), encoded.size());
    }
    benchmark::DoNotOptimize(out.data());
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * encoded.size()));
}

// Console output plus, at the end, each codec time as a multiple of memcpy's.
class RatioReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    for (const Run& run : runs)
      if (run.run_type == Run::RT_Iteration && !run.error_occurred)
        seconds_[run.benchmark_name()] = run.GetAdjustedRealTime();
    ConsoleReporter::ReportRuns(runs);
  }
  void PrintRatios(const std::string& subject) {
    for (const std::string operation : {"encode", "decode"}) {
      const double codec = seconds_[operation + subject], reference = seconds_["memcpy" + subject];
      if (codec > 0 && reference > 0)
        std::printf("%s%s: %.2f x memcpy\n", operation.c_str(), subject.c_str(), codec / reference);
    }
  }

 private:
  std::map<std::string, double> seconds_;
};

}  // namespace

int main(int argc, char** argv) {
  const EncodableValue reading = flutter::EncodableMap{
      {"typ", "pomiar"},     {"lux", 1234.5}, {"raw", 12345}, {"kod", 2},
      {"zakres", "4000 lx"}, {"ol", false},   {"nr", 17},     {"t", int64_t{1733500000000}}};
  std::vector<double> list((1 << 20) / sizeof(double));
  for (size_t i = 0; i < list.size(); ++i) list[i] = static_cast<double>(i) * 0.25;
  const EncodableValue doubles = list;
  const std::pair<std::string, const EncodableValue*> subjects[] = {
      {"/reading_event", &reading}, {"/double_list_1MiB", &doubles}};
  for (const auto& [subject, value] : subjects)
    for (int operation = 0; operation < 3; ++operation)
      benchmark::RegisterBenchmark((kOperations[operation] + subject).c_str(), Run, *value,
                                   operation);
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  for (const auto& subject : subjects) reporter.PrintRatios(subject.first);
  benchmark::Shutdown();
  return 0;
}
