// Endurance of the meter bridge under Wine: registers it against the stand-in engine, lets the
// interface listen and start the meter on the simulator, and tears it down at a random moment,
// with or without its queued events delivered. After each teardown no event may arrive, no reading
// may come twice, the engine's contract must hold, and handles and private bytes must stay flat.
// Started by scripts/endurance/bridge.sh; the optional argument is the number of cycles (100).
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "channels/byte_buffer_streams.h"
#include "channels/engine_project.h"
#include "channels/flutter_engine.h"
#include "channels/standard_codec_serializer.h"
#include "channels/standard_method_codec.h"
#include "runner/meter/control_channel.h"
#include "runner/meter/event_stream_channel.h"
#include "runner/meter/win32_meter_bridge.h"
#include "tests/meter/win32_message_window.h"
#include "tests/support/meter_simulator_client.h"
#include "tools/endurance/wine/process_figures.h"
#include "tools/endurance/wine/run_setup.h"
#include "tools/stand_in_engine/stand_in_api.h"

namespace meter_link {
namespace {

using flutter::EncodableMap;
using flutter::EncodableValue;
using Bytes = std::vector<uint8_t>;

Bytes Call(const char* method) {
  return *flutter::StandardMethodCodec::GetInstance().EncodeMethodCall(
      flutter::MethodCall<EncodableValue>(method, nullptr));
}

// From the interface side; the answer, or nothing when none came.
Bytes Send(const char* channel, const char* method) {
  const Bytes call = Call(method);
  const uint64_t id = StandInSend(channel, call.data(), call.size());
  if (!PumpMessagesUntil([id] { return StandInMessageState(id) >= kStandInAnswered; }, 10000))
    return {};
  return StandInReply(id);
}

// One event the host sent on the stream: the map of a success envelope, empty if it was none.
EncodableMap Event(size_t index) {
  const Bytes bytes = StandInHostMessage(kEventChannelName, index);
  if (bytes.size() < 2 || bytes[0] != 0) return {};
  // Doubles are aligned from the message's first byte, so the envelope's byte is read, not cut.
  flutter::ByteBufferStreamReader reader(bytes.data(), bytes.size());
  reader.ReadByte();
  const EncodableValue value = flutter::StandardCodecSerializer::GetInstance().ReadValue(&reader);
  const auto* map = std::get_if<EncodableMap>(&value);
  return map != nullptr ? *map : EncodableMap{};
}

const EncodableValue* Entry(const EncodableMap& map, const char* key) {
  const auto found = map.find(EncodableValue(key));
  return found == map.end() ? nullptr : &found->second;
}

bool IsReading(const EncodableMap& map) {
  const EncodableValue* kind = Entry(map, "typ");
  return kind != nullptr && *kind == EncodableValue("pomiar");
}

size_t EventCount() { return StandInHostMessageCount(kEventChannelName); }

class BridgeRun {
 public:
  // One registration, start, teardown; false with the reason printed when something went wrong.
  bool Cycle(int cycle) {
    StandInReset();
    RegisterMeterBridge(&engine, window.Handle());
    const Bytes ok = {0x00, 0x00}, started = {0x00, 0x01};  // success: null, true
    if (Send(kEventChannelName, "listen") != ok) return Fail(cycle, "\"listen\" was not answered");
    if (Send(kControlChannelName, "start") != started) return Fail(cycle, "\"start\" failed");
    const auto reading = [] {
      for (size_t i = 0; i < EventCount(); ++i)
        if (IsReading(Event(i))) return true;
      return false;
    };
    if (!PumpMessagesUntil(reading, 5000)) return Fail(cycle, "no reading within 5 s");

    // Odd cycles leave the meter's events queued: the teardown must discard them unsent.
    const DWORD wait = std::uniform_int_distribution<DWORD>(0, 1100)(random);
    if (cycle % 2 == 1) {
      Sleep(wait);
    } else {
      PumpMessagesUntil([] { return false; }, wait);
    }
    UnregisterMeterBridge();
    const size_t sent = EventCount();
    // Longer than a poll: a thread left running would be heard from.
    PumpMessagesUntil([] { return false; }, 1100);
    if (EventCount() != sent)
      return Fail(cycle, std::to_string(EventCount() - sent) + " event(s) after the teardown");
    if (StandInHasHandler(kEventChannelName) || StandInHasHandler(kControlChannelName))
      return Fail(cycle, "a channel handler outlived the teardown");

    std::set<int32_t> numbers;
    for (size_t i = 0; i < sent; ++i) {
      const EncodableMap event = Event(i);
      if (event.empty()) return Fail(cycle, "an event that is not a map");
      if (!IsReading(event)) continue;
      ++readings;
      const auto* number = std::get_if<int32_t>(Entry(event, "nr"));
      if (number == nullptr || !numbers.insert(*number).second)
        return Fail(cycle, "a reading without its number, or twice");
    }
    events += sent;
    undrainedCycles += cycle % 2;
    const int contract = StandInHandleErrorCount() + StandInThreadErrorCount() +
                         StandInResponseErrorCount() + StandInCallsAfterTeardownCount();
    if (contract != 0) {
      for (const std::string& error : StandInContractErrors())
        std::fprintf(stderr, "  %s\n", error.c_str());
      return Fail(cycle, std::to_string(contract) + " breach(es) of the engine's contract");
    }
    StandInReset();  // the records of this cycle go, so only the host's memory is measured
    figures.push_back(endurance::ReadProcessFigures());
    return true;
  }

  std::mt19937 random{GetTickCount()};
  std::vector<endurance::ProcessFigures> figures;
  size_t events = 0, readings = 0;
  int undrainedCycles = 0;

 private:
  bool Fail(int cycle, const std::string& why) {
    std::printf("bridge: cycle %d: %s\n", cycle + 1, why.c_str());
    return false;
  }

  MessageWindow window;
  const EngineProject project{L"data"};
  flutter::FlutterEngine engine{project};
};

int Run(int cycles) {
  endurance::UseOwnLogFolder(L"lumero-endurance-bridge");
  const auto simulator = endurance::ResetSimulator("bridge");
  if (!simulator) {
    return 1;
  }
  BridgeRun run;
  const ULONGLONG start = GetTickCount64();
  bool passed = true;
  for (int cycle = 0; cycle < cycles && passed; ++cycle) passed = run.Cycle(cycle);
  std::printf(
      "cycles: %zu of %d in %.0f s; %zu events, %zu readings; %d teardowns with the "
      "queue left undrained\n",
      run.figures.size(), cycles, static_cast<double>(GetTickCount64() - start) / 1000.0,
      run.events, run.readings, run.undrainedCycles);
  if (passed) passed = endurance::ReportFlat(run.figures);
  std::printf("bridge: %s\n", passed ? "passed" : "FAILED");
  return passed ? 0 : 1;
}

}  // namespace
}  // namespace meter_link

int main(int argc, char** argv) { return meter_link::Run(argc > 1 ? std::atoi(argv[1]) : 100); }
