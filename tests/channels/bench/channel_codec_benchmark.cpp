// Speed of the standard encoding against msgpack-cxx (what a C++ team would reach for) on the same
// content, and against a plain memcpy of our encoded bytes: a meter reading event (the most
// frequent message) and a 1 MiB list of doubles (typed lists move as one block copy).
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstring>
#include <map>
#include <msgpack.hpp>
#include <string>
#include <vector>

#include "channels/byte_buffer_streams.h"
#include "channels/standard_codec_serializer.h"

namespace {

using flutter::EncodableValue;
const flutter::StandardCodecSerializer& kSerializer =
    flutter::StandardCodecSerializer::GetInstance();
enum Operation { kEncode, kDecode, kMemcpy };
using MsgpackMap = std::map<std::string, msgpack::type::variant>;

std::vector<uint8_t> Encode(const EncodableValue& value, std::vector<uint8_t> bytes = {}) {
  bytes.clear();  // keeps the capacity
  flutter::ByteBufferStreamWriter writer(&bytes);
  kSerializer.WriteValue(value, &writer);
  return bytes;
}

void Ours(benchmark::State& state, const EncodableValue& value, Operation operation) {
  std::vector<uint8_t> encoded = Encode(value), out = encoded;
  for (auto _ : state) {
    if (operation == kEncode) {
      out = Encode(value, std::move(out));
    } else if (operation == kDecode) {
      flutter::ByteBufferStreamReader reader(encoded.data(), encoded.size());
      benchmark::DoNotOptimize(kSerializer.ReadValue(&reader));
    } else {
      std::memcpy(out.data(), encoded.data(), encoded.size());
    }
    benchmark::DoNotOptimize(out.data());
    benchmark::ClobberMemory();
  }
}

// Decodes into the same owned type it encodes from.
template <typename T>
void Msgpack(benchmark::State& state, const T& value, Operation operation) {
  msgpack::sbuffer packed;
  msgpack::pack(packed, value);
  for (auto _ : state) {
    if (operation == kEncode) {
      packed.clear();  // keeps the capacity
      msgpack::pack(packed, value);
    } else {
      T decoded;
      msgpack::unpack(packed.data(), packed.size()).get().convert(decoded);
      benchmark::DoNotOptimize(decoded);
    }
    benchmark::DoNotOptimize(packed.data());
    benchmark::ClobberMemory();
  }
}

// Console output plus, at the end, each of our medians as a multiple of msgpack-cxx's and memcpy's.
class RatioReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    for (const Run& run : runs)
      if (run.aggregate_name == "median")
        median_[run.run_name.function_name] = run.GetAdjustedCPUTime();
    ConsoleReporter::ReportRuns(runs);
  }
  void PrintRatios(const std::string& subject) {
    for (const std::string operation : {"encode", "decode"}) {
      const double ours = median_["ours_" + operation + subject];
      const double msgpack = median_["msgpack_" + operation + subject];
      const double memcpy = median_["memcpy" + subject];
      if (ours > 0 && msgpack > 0 && memcpy > 0)
        std::printf("%s%s: %.2f x msgpack-cxx, %.2f x memcpy\n", operation.c_str(), subject.c_str(),
                    ours / msgpack, ours / memcpy);
    }
  }

 private:
  std::map<std::string, double> median_;
};

template <typename... Args>
void Register(const std::string& name, Args&&... args) {
  benchmark::RegisterBenchmark(name.c_str(), std::forward<Args>(args)...)
      ->Repetitions(10)
      ->ReportAggregatesOnly(true);
}

}  // namespace

int main(int argc, char** argv) {
  const EncodableValue reading = flutter::EncodableMap{
      {"typ", "pomiar"},     {"lux", 1234.5}, {"raw", 12345}, {"kod", 2},
      {"zakres", "4000 lx"}, {"ol", false},   {"nr", 17},     {"t", int64_t{1733500000000}}};
  const MsgpackMap msgpack_reading{
      {"typ", "pomiar"},     {"lux", 1234.5}, {"raw", 12345}, {"kod", 2},
      {"zakres", "4000 lx"}, {"ol", false},   {"nr", 17},     {"t", int64_t{1733500000000}}};
  std::vector<double> list((1 << 20) / sizeof(double));
  for (size_t i = 0; i < list.size(); ++i) list[i] = static_cast<double>(i) * 0.25;
  const EncodableValue doubles = list;
  const std::string subjects[] = {"/reading_event", "/double_list_1MiB"};
  for (const std::string& subject : subjects) {
    const EncodableValue& ours = subject == subjects[0] ? reading : doubles;
    Register("ours_encode" + subject, Ours, ours, kEncode);
    Register("ours_decode" + subject, Ours, ours, kDecode);
    Register("memcpy" + subject, Ours, ours, kMemcpy);
    for (const Operation operation : {kEncode, kDecode}) {
      const std::string name =
          (operation == kEncode ? "msgpack_encode" : "msgpack_decode") + subject;
      if (subject == subjects[0])
        Register(name, Msgpack<MsgpackMap>, msgpack_reading, operation);
      else
        Register(name, Msgpack<std::vector<double>>, list, operation);
    }
  }
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  for (const std::string& subject : subjects) reporter.PrintRatios(subject);
  benchmark::Shutdown();
  return 0;
}
