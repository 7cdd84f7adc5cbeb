// Speed of the standard encoding against msgpack-cxx (what a C++ team would reach for, decoding to
// the owned type it encodes from) and against a memcpy of our encoding: a meter reading event (the
// most frequent message) and a 1 MiB list of doubles (typed lists move as one block copy).
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstring>
#include <map>
#include <memory>
#include <msgpack.hpp>
#include <string>
#include <vector>

#include "channels/byte_buffer_streams.h"
#include "channels/standard_codec_serializer.h"

namespace {

using flutter::EncodableValue;
using Bytes = std::vector<uint8_t>;

template <typename Operation>
void Register(const std::string& name, Operation operation) {
  const auto run = [operation](benchmark::State& state) {
    for (auto _ : state) operation(), benchmark::ClobberMemory();
  };
  benchmark::RegisterBenchmark(name.c_str(), run)->Repetitions(10)->ReportAggregatesOnly(true);
}

template <typename Same>
void RegisterSubject(const std::string& subject, const EncodableValue& value, const Same& same) {
  const auto encoded = std::make_shared<Bytes>(), out = std::make_shared<Bytes>();
  const auto encode = [&value, out] {
    out->clear();  // keeps the capacity
    flutter::ByteBufferStreamWriter writer(out.get());
    flutter::StandardCodecSerializer::GetInstance().WriteValue(value, &writer);
  };
  encode();
  *encoded = *out;
  const auto packed = std::make_shared<msgpack::sbuffer>();  // re-encoding leaves the same bytes
  msgpack::pack(*packed, same);
  Register("ours_encode" + subject, encode);
  Register("ours_decode" + subject, [encoded] {
    flutter::ByteBufferStreamReader reader(encoded->data(), encoded->size());
    benchmark::DoNotOptimize(flutter::StandardCodecSerializer::GetInstance().ReadValue(&reader));
  });
  Register("memcpy" + subject,
           [encoded, out] { std::memcpy(out->data(), encoded->data(), encoded->size()); });
  Register("msgpack_encode" + subject,
           [&same, packed] { packed->clear(), msgpack::pack(*packed, same); });
  Register("msgpack_decode" + subject, [packed] {
    benchmark::DoNotOptimize(msgpack::unpack(packed->data(), packed->size()).get().as<Same>());
  });
}

// Console output that also keeps each median (CPU time) for the ratios.
std::map<std::string, double> median;
struct MedianReporter : benchmark::ConsoleReporter {
  void ReportRuns(const std::vector<Run>& runs) override {
    for (const Run& run : runs)
      if (run.aggregate_name == "median")
        median[run.run_name.function_name] = run.GetAdjustedCPUTime();
    ConsoleReporter::ReportRuns(runs);
  }
};

}  // namespace

int main(int argc, char** argv) {
  const EncodableValue reading = flutter::EncodableMap{
      {"typ", "pomiar"},     {"lux", 1234.5}, {"raw", 12345}, {"kod", 2},
      {"zakres", "4000 lx"}, {"ol", false},   {"nr", 17},     {"t", int64_t{1733500000000}}};
  const std::map<std::string, msgpack::type::variant> same_reading{
      {"typ", "pomiar"},     {"lux", 1234.5}, {"raw", 12345}, {"kod", 2},
      {"zakres", "4000 lx"}, {"ol", false},   {"nr", 17},     {"t", int64_t{1733500000000}}};
  const std::vector<double> list((1 << 20) / sizeof(double), 0.25);
  const EncodableValue doubles = list;
  RegisterSubject("/reading_event", reading, same_reading);
  RegisterSubject("/double_list_1MiB", doubles, list);
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  MedianReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  for (const std::string subject : {"/reading_event", "/double_list_1MiB"})
    for (const std::string operation : {"encode", "decode"})
      if (const double ours = median["ours_" + operation + subject]; ours > 0)
        std::printf("%s%s: %.2f x msgpack-cxx, %.2f x memcpy\n", operation.c_str(), subject.c_str(),
                    ours / median["msgpack_" + operation + subject],
                    ours / median["memcpy" + subject]);
  benchmark::Shutdown();
}
