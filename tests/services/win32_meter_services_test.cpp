// The native channel services under Wine: the stand-in engine plays the interface over the real
// messenger, the simulator the meter; scenarios check ordered answers, events and log lines.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <memory>
#include <stdexcept>
#include <string>

#include "channels/engine_project.h"
#include "channels/flutter_engine.h"
#include "channels/method_channel.h"
#include "channels/standard_method_codec.h"
#include "runner/diagnostics/native_log.h"
#include "runner/meter/control_channel.h"
#include "runner/meter/event_stream_channel.h"
#include "runner/meter/ui_task_queue.h"
#include "runner/meter/win32_meter_bridge.h"
#include "tests/meter/win32_message_window.h"
#include "tests/support/meter_simulator_client.h"
#include "tests/support/win32_device_nodes.h"
#include "tests/support/win32_scratch.h"
#include "tools/stand_in_engine/stand_in_api.h"

namespace meter_link {
namespace {

using flutter::EncodableList;
using flutter::EncodableValue;
using test_support::FileText;
using test_support::NewScratchFolder;
using Bytes = std::vector<uint8_t>;
using Lines = std::vector<std::string>;

constexpr const char* kSonel = kEventChannelName;
constexpr const char* kInfo = kControlChannelName;
const Bytes kOk = {0x00, 0x00};
// {"podlaczony": true, "typ": "stan"} in a success envelope.
const std::string kState("\x00\x0D\x02\x07\x0Apodlaczony\x01\x07\x03typ\x07\x04stan", 27);
const Lines kListened = {
    "kanał: wywołanie odebrane", "kanał: metoda listen", "listen: przypinam sink",
    "listen: sink przypięty",    "stan: zlecę zadanie",  "stan: zadanie zlecone",
    "listen: stan zamówiony",    "stan: liczę porty",    "porty: znalezione=1",
    "stan: port widoczny",       "stan: Send",           "stan: Send OK"};

const flutter::StandardMethodCodec& kCodec = flutter::StandardMethodCodec::GetInstance();

Bytes Call(const char* method, const EncodableValue& arguments = EncodableValue()) {
  return *kCodec.EncodeMethodCall(
      flutter::MethodCall<EncodableValue>(method, std::make_unique<EncodableValue>(arguments)));
}

Bytes Success(const EncodableValue& value) { return *kCodec.EncodeSuccessEnvelope(&value); }

size_t EventCount() { return StandInHostMessageCount(kSonel); }

std::string Event(size_t index) {
  const Bytes bytes = StandInHostMessage(kSonel, index);
  return {bytes.begin(), bytes.end()};
}

bool ReadingSince(size_t from) {
  for (size_t i = from; i < EventCount(); ++i)
    if (Event(i).find("\x06pomiar") != std::string::npos) return true;
  return false;
}

// This process's own log: other test programs log into the prefix's default folder meanwhile.
const bool kOwnLogFolder =
    SetEnvironmentVariableW(L"LOCALAPPDATA", NewScratchFolder("services").c_str()) != FALSE;

// Lines logged since the last call, without time stamps, readings and the device search's steps.
Lines Log() {
  static size_t offset = 0;
  const std::string text = FileText(std::filesystem::path(LogFilePath()));
  Lines lines;
  for (size_t end; (end = text.find("\r\n", offset)) != std::string::npos; offset = end + 2) {
    const std::string line = text.substr(offset + 40, end - offset - 40);
    if (line.rfind("emisja: ", 0) != 0 && line.rfind("porty: SetupAPI", 0) != 0)
      lines.push_back(line);
  }
  return lines;
}

// From the interface side, until the answer is in; *eventsThen: the events sent by then.
Bytes Send(const char* channel, const Bytes& bytes, size_t* eventsThen = nullptr) {
  const uint64_t id = StandInSend(channel, bytes.data(), bytes.size());
  EXPECT_TRUE(DispatchEachUntil([&] { return StandInMessageState(id) >= kStandInAnswered; }))
      << channel;
  if (eventsThen != nullptr) *eventsThen = EventCount();
  return StandInReply(id);
}

void Listen() {
  const size_t before = EventCount();
  size_t eventsThen = 0;
  EXPECT_EQ(Send(kSonel, Call("listen"), &eventsThen), kOk);
  EXPECT_EQ(eventsThen, before) << "the state event comes after the answer";
  EXPECT_TRUE(DispatchEachUntil([&] { return EventCount() > before; }));
}

class MeterServices : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(kOwnLogFolder);
    StandInReset();
    Log();
    std::string error;
    ASSERT_TRUE(simulator = MeterSimulatorClient::FromEnvironmentReset(&error)) << error;
    RegisterMeterBridge(nullptr, window.Handle());
    EXPECT_FALSE(PostToUiThread([] {}));  // a null engine registers nothing
    RegisterMeterBridge(engine.get(), window.Handle());
  }
  void TearDown() override {
    UnregisterMeterBridge();
    engine.reset();
    EXPECT_EQ(StandInContractErrors(), Lines{});
  }

  std::unique_ptr<MeterSimulatorClient> simulator;
  const EngineProject project{L"data"};
  std::unique_ptr<flutter::FlutterEngine> engine =
      std::make_unique<flutter::FlutterEngine>(project);
  MessageWindow window;
};

// The first registration of the process: the crash reporter's line comes once.
TEST_F(MeterServices, EventStreamAndBridge) {
  // Were this handle taken, no wake-up would arrive and no state event would follow "listen".
  RegisterMeterBridge(engine.get(), reinterpret_cast<HWND>(0x1234));
  EXPECT_EQ(Log(), Lines({"kolejka: brak okna, zadanie odrzucone", "rejestracja: start",
                          "crash: VEH zainstalowany", "kanał zdarzeń: zarejestrowany"}));
  for (int listens = 0; listens < 2; ++listens) {
    Listen();
    EXPECT_EQ(Log(), kListened);
  }
  EXPECT_EQ(Send(kSonel, Call("Listen")), kOk);
  EXPECT_EQ(Send(kSonel, Bytes{0x03, 0x01, 0x00, 0x00, 0x00}), kOk);  // the name is no string
  StandInPump(300);
  EXPECT_EQ(Lines({Event(0), Event(1)}), Lines(EventCount(), kState));
  EXPECT_EQ(Log(), Lines({"kanał: wywołanie odebrane", "kanał: metoda Listen",
                          "kanał: wywołanie odebrane"}));

  // Teardown while listening and running: Stop joins the thread, whose last words (after closing
  // the port) precede the refusal of a task posted afterwards.
  EXPECT_EQ(Send(kInfo, Call("start")), Success(true));
  ASSERT_TRUE(DispatchEachUntil([] { return ReadingSince(0); }));
  UnregisterMeterBridge();
  const size_t sent = EventCount();
  EXPECT_FALSE(PostToUiThread([] {}));
  StandInPump(1500);
  EXPECT_EQ(EventCount(), sent);
  EXPECT_EQ(StandInHasHandler(kSonel) + StandInHasHandler(kInfo), 0);
  const Lines tail = Log();
  EXPECT_EQ(Lines(tail.size() < 3 ? tail.begin() : tail.end() - 3, tail.end()),
            Lines({"stan: zlecę zadanie", "stan: zadanie zlecone",
                   "kolejka: brak okna, zadanie odrzucone"}));

  // A new bridge, without the crash reporter's line; "cancel" stops its running meter.
  RegisterMeterBridge(engine.get(), window.Handle());
  EXPECT_EQ(Log(), Lines({"rejestracja: start", "kanał zdarzeń: zarejestrowany"}));
  Listen();
  EXPECT_EQ(Send(kInfo, Call("start")), Success(true));
  ASSERT_TRUE(DispatchEachUntil([&] { return ReadingSince(sent); }));
  Log();
  EXPECT_EQ(Send(kSonel, Call("cancel")), kOk);
  EXPECT_EQ(Log(),
            Lines({"kanał: wywołanie odebrane", "kanał: metoda cancel", "cancel: odpinam sink",
                   "stan: zlecę zadanie", "stan: zadanie zlecone", "cancel: odpięte"}));

  // Detached while the state task of its "listen" is queued: the task runs but sends nothing.
  StandInPump(300);  // the task "cancel" queued runs first
  const std::shared_ptr<Miernik> meter = Miernik::Create(engine.get());
  meter->AttachEventChannel();
  Log();
  size_t eventsThen = 0;
  EXPECT_EQ(Send(kSonel, Call("listen"), &eventsThen), kOk);
  meter->DetachEventChannel();
  EXPECT_FALSE(StandInHasHandler(kSonel));
  StandInPump(300);
  EXPECT_EQ(EventCount(), eventsThen);
  Lines detached(kListened.begin(), kListened.end() - 1);
  detached.back() = "stan: sink odpięty, pomijam";
  EXPECT_EQ(Log(), detached);
}

struct FailingSearch final : MeterPlatform {
  std::vector<MeterPort> FindMeterPorts() override { throw std::runtime_error("SetupAPI padło"); }
  std::unique_ptr<SerialLine> OpenSerialLine(const std::wstring&, OpenFailureStage*,
                                             uint32_t*) override {
    return nullptr;
  }
  std::wstring SystemErrorText(uint32_t) override { return L""; }
  uint32_t TickCount() override { return 0; }
  int64_t MonotonicNanoseconds() override { return 0; }
  int64_t WallClockMilliseconds() override { return 0; }
  void SleepMilliseconds(uint32_t) override {}
  void DebugOutput(const char*) override {}
};

TEST_F(MeterServices, ControlChannel) {
  Log();
  EXPECT_EQ(Send(kInfo, Call("stan")), Success(true));
  EXPECT_EQ(Send(kInfo, Call("stop")), Success(true));
  EXPECT_EQ(Send(kInfo, Call("Start")), Bytes{});
  ASSERT_EQ(simulator->Command("unplug"), "ok");
  EXPECT_EQ(Send(kInfo, Call("stan")), Success(false));
  EXPECT_EQ(Send(kInfo, Call("porty")), Success(EncodableList{}));
  ASSERT_EQ(simulator->Command("plug"), "ok");
  // A second cable whose instance key Wine enumerates first, under a name that sorts last.
  const std::wstring second = kCableKey + L"\\A0001";
  AddDevice(second, kCableId, L"COM99");
  EXPECT_EQ(Send(kInfo, Call("porty")),
            Success(EncodableList{"COM99", simulator->Command("com?").substr(4)}));
  RegDeleteTreeW(HKEY_LOCAL_MACHINE, second.c_str());
  EXPECT_EQ(Log(),
            Lines({"metoda: stan", "porty: znalezione=1", "metoda: stop", "metoda: Start",
                   "metoda: stan", "porty: znalezione=0", "metoda: porty", "porty: znalezione=0",
                   "porty: widzę 0", "metoda: porty", "porty: znalezione=2", "porty: widzę 2"}));

  // An exception inside an action is logged, and the prepared value is still the answer.
  UnregisterMeterBridge();
  FailingSearch failing;
  const std::shared_ptr<Miernik> meter = Miernik::Create(engine.get(), failing);
  flutter::MethodChannel<EncodableValue> channel(engine->GetMessenger(), kInfo, &kCodec);
  channel.SetMethodCallHandler([meter](const auto& call, auto result) {
    HandleControlCall(meter, call, std::move(result));
  });
  Log();
  EXPECT_EQ(Send(kInfo, Call("stan")), Success(false));
  EXPECT_EQ(Send(kInfo, Call("porty")), Success(EncodableList{}));
  EXPECT_EQ(Send(kInfo, Call("start")), Success(false));
  channel.SetMethodCallHandler(nullptr);
  EXPECT_EQ(Log(), Lines({"metoda: stan", "WYJĄTEK w stan: SetupAPI padło", "metoda: porty",
                          "WYJĄTEK w porty: SetupAPI padło", "porty: widzę 0", "metoda: start",
                          "start: wejście", "WYJĄTEK w start: SetupAPI padło"}));
}

// A run of its own (CMakeLists.txt) returns from main with the bridge listening and running, as if
// the window's teardown never ran; a crash at exit shows on standard error, a hang as a time-out.
int ReturnWithTheBridgeRegistered() {
  static const EngineProject project(L"data");
  static flutter::FlutterEngine engine(project);
  static MessageWindow window;
  RegisterMeterBridge(&engine, window.Handle());
  Listen();
  if (Send(kInfo, Call("start")) != Success(true) ||
      !DispatchEachUntil([] { return ReadingSince(0); }))
    return 1;
  std::printf("main: returns with the bridge registered\n");
  return 0;
}

}  // namespace
}  // namespace meter_link

int main(int argc, char** argv) {
  if (argc == 2 && std::string(argv[1]) == "--return-with-the-bridge-registered")
    return meter_link::ReturnWithTheBridgeRegistered();
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
