// The meter's channel services under Wine: the stand-in engine plays the interface over the real
// messenger, the meter simulator (and one more registry cable) the hardware. Each scenario checks
// the ordered answers and events and the ordered lines of the real log file.
#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <utility>

#include "channels/engine_project.h"
#include "channels/flutter_engine.h"
#include "channels/method_channel.h"
#include "runner/diagnostics/native_log.h"
#include "runner/meter/control_channel.h"
#include "runner/meter/event_stream_channel.h"
#include "runner/meter/ui_task_queue.h"
#include "runner/meter/win32_meter_bridge.h"
#include "runner/meter/win32_ui_wake_up.h"
#include "runner/win32_unique_handle.h"
#include "tests/meter/win32_message_window.h"
#include "tests/services/services_test_support.h"
#include "tests/support/meter_simulator_client.h"
#include "tools/stand_in_engine/stand_in_api.h"

namespace meter_link {
namespace {

using flutter::EncodableList;
using flutter::EncodableValue;

const Bytes kOk = {0x00, 0x00};
// "2024-05-06 07:08:09.010 [INFO] miernik: " before every message.
constexpr size_t kStampLength = 40;

Bytes Success(const EncodableValue& value) {
  return *flutter::StandardMethodCodec::GetInstance().EncodeSuccessEnvelope(&value);
}

// {"podlaczony": present, "typ": "stan"} in a success envelope, written out.
Bytes StateEvent(bool present) {
  Bytes bytes = {0x00, 0x0D, 0x02, 0x07, 0x0A};
  for (char c : std::string("podlaczony")) bytes.push_back(static_cast<uint8_t>(c));
  bytes.push_back(present ? 0x01 : 0x02);
  for (char c : std::string("\x07\x03typ\x07\x04stan")) bytes.push_back(static_cast<uint8_t>(c));
  return bytes;
}

std::vector<Bytes> Events() {
  std::vector<Bytes> events;
  for (size_t i = 0; i < StandInHostMessageCount(kEventChannelName); ++i)
    events.push_back(StandInHostMessage(kEventChannelName, i));
  return events;
}

size_t CountOf(const std::string& kind) {
  size_t count = 0;
  const std::string key = "\x07\x03typ\x07" + std::string(1, char(kind.size())) + kind;
  for (const Bytes& event : Events())
    count += std::string(event.begin(), event.end()).find(key) != std::string::npos;
  return count;
}

// Lines logged since the last call (complete ones), without their time stamps.
Lines Log(const std::function<bool(const std::string&)>& keep = nullptr) {
  static size_t offset = 0;
  const std::string text = ReadWhole(LogFilePath());
  Lines lines;
  for (size_t end; (end = text.find("\r\n", offset)) != std::string::npos; offset = end + 2) {
    std::string line = text.substr(offset + kStampLength, end - offset - kStampLength);
    if (!keep || keep(line)) lines.push_back(std::move(line));
  }
  return lines;
}

// The acquisition thread's reading events interleave with the window thread's lines.
bool NotAReading(const std::string& line) { return line.rfind("emisja: ", 0) != 0; }

// The device search's own lines when it finds `found` cables.
Lines Search(int found) {
  return {"porty: SetupAPI — pobieram listę urządzeń",
          "porty: SetupAPI — lista jest, szukam CP2102",
          "porty: znalezione=" + std::to_string(found)};
}

Lines Join(std::initializer_list<Lines> parts) {
  Lines all;
  for (const Lines& part : parts) all.insert(all.end(), part.begin(), part.end());
  return all;
}

// Dispatches the thread's window messages one at a time until done() holds.
bool Dispatch(const std::function<bool()>& done, ULONGLONG timeoutMs = 15000) {
  for (const ULONGLONG end = GetTickCount64() + timeoutMs; !done();) {
    MSG message;
    if (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
      DispatchMessageW(&message);
    } else if (GetTickCount64() > end) {
      return false;
    } else {
      MsgWaitForMultipleObjects(0, nullptr, FALSE, 20, QS_ALLINPUT);
    }
  }
  return true;
}

void Idle(ULONGLONG ms) {
  Dispatch([] { return false; }, ms);
}

// From the interface side, dispatching until the answer is in; *eventsThen: events sent by then.
Bytes Send(const char* channel, const Bytes& bytes, size_t* eventsThen = nullptr) {
  const uint64_t id = StandInSend(channel, bytes.data(), bytes.size());
  EXPECT_TRUE(Dispatch([&] { return StandInMessageState(id) >= kStandInAnswered; })) << channel;
  if (eventsThen != nullptr) *eventsThen = Events().size();
  return StandInReply(id);
}

class MeterServicesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    StandInReset();
    std::string error;
    simulator = MeterSimulatorClient::FromEnvironment(&error);
    ASSERT_NE(simulator, nullptr) << error;
    ASSERT_EQ(simulator->Command("reset"), "ok");
    ASSERT_NE(window.Handle(), nullptr);
    Log();
  }
  void TearDown() override {
    UnregisterMeterBridge();
    engine.reset();
    EXPECT_EQ(StandInContractErrors(), Lines{});
    if (simulator) simulator->Command("plug");
  }
  void Listen() {
    const size_t before = Events().size();
    size_t eventsThen = 99;
    EXPECT_EQ(Send(kEventChannelName, Call("listen"), &eventsThen), kOk);
    EXPECT_EQ(eventsThen, before) << "the state event comes after the answer";
    ASSERT_TRUE(Dispatch([&] { return Events().size() > before; }));
  }

  std::unique_ptr<MeterSimulatorClient> simulator;
  const EngineProject project{L"data"};
  std::unique_ptr<flutter::FlutterEngine> engine =
      std::make_unique<flutter::FlutterEngine>(project);
  MessageWindow window;
};

const Lines kListenLines = {"kanał: wywołanie odebrane", "kanał: metoda listen",
                            "listen: przypinam sink",    "listen: sink przypięty",
                            "stan: zlecę zadanie",       "stan: zadanie zlecone",
                            "listen: stan zamówiony",    "stan: liczę porty"};
const Lines kStateSent = {"stan: port widoczny", "stan: Send", "stan: Send OK"};

// First in this executable: only the first registration of a process installs the crash reporter.
TEST_F(MeterServicesTest, BridgeRegistersOnceAndTearsDownEverything) {
  RegisterMeterBridge(nullptr, window.Handle());
  EXPECT_FALSE(PostToUiThread([] {}));
  RegisterMeterBridge(engine.get(), window.Handle());
  // Were this handle taken, every wake-up would fail and no state event would come.
  RegisterMeterBridge(engine.get(), reinterpret_cast<HWND>(0x1234));
  EXPECT_EQ(Log(), Lines({"kolejka: brak okna, zadanie odrzucone", "rejestracja: start",
                          "crash: VEH zainstalowany", "kanał zdarzeń: zarejestrowany"}));
  Listen();
  EXPECT_EQ(Send(kControlChannelName, Call("start")), Success(true));
  ASSERT_TRUE(Dispatch([] { return CountOf("pomiar") >= 1; }));
  Log();

  UnregisterMeterBridge();
  const size_t sent = Events().size();
  EXPECT_FALSE(PostToUiThread([] {}));
  Idle(1500);
  EXPECT_EQ(Events().size(), sent);
  EXPECT_EQ(StandInHasHandler(kEventChannelName) + StandInHasHandler(kControlChannelName), 0);
  // The thread's last words come before the refusal; the port can be opened again.
  const Lines tail = Log(NotAReading);
  ASSERT_GE(tail.size(), 3u);
  EXPECT_EQ(Lines(tail.end() - 3, tail.end()),
            Lines({"stan: zlecę zadanie", "stan: zadanie zlecone",
                   "kolejka: brak okna, zadanie odrzucone"}));
  const std::string com = MeterSimulatorClient::ComName();
  const UniqueFileHandle port(
      CreateFileW((L"\\\\.\\" + std::wstring(com.begin(), com.end())).c_str(),
                  GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr));
  EXPECT_TRUE(port);

  RegisterMeterBridge(engine.get(), window.Handle());
  EXPECT_EQ(Log(), Lines({"rejestracja: start", "kanał zdarzeń: zarejestrowany"}));
  Listen();
  EXPECT_EQ(Events().back(), StateEvent(true));
}

TEST_F(MeterServicesTest, EventStreamAnswersEveryMessageAndStreamsToOneSink) {
  RegisterMeterBridge(engine.get(), window.Handle());
  Log();
  Listen();
  Listen();
  EXPECT_EQ(Send(kEventChannelName, Call("Listen")), kOk);
  EXPECT_EQ(Send(kEventChannelName, Bytes{0x03, 0x01, 0x00, 0x00, 0x00}),
            kOk);  // name not a string
  Idle(300);
  EXPECT_EQ(Events(), std::vector<Bytes>({StateEvent(true), StateEvent(true)}));
  EXPECT_EQ(
      Log(),
      Join({kListenLines,
            Search(1),
            kStateSent,
            kListenLines,
            Search(1),
            kStateSent,
            {"kanał: wywołanie odebrane", "kanał: metoda Listen", "kanał: wywołanie odebrane"}}));

  EXPECT_EQ(Send(kControlChannelName, Call("start")), Success(true));
  ASSERT_TRUE(Dispatch([] { return CountOf("pomiar") >= 1; }));
  Log();
  EXPECT_EQ(Send(kEventChannelName, Call("cancel")), kOk);
  // Stop joined the thread: its closing state request comes before "cancel: odpięte".
  EXPECT_EQ(Log(NotAReading),
            Lines({"kanał: wywołanie odebrane", "kanał: metoda cancel", "cancel: odpinam sink",
                   "stan: zlecę zadanie", "stan: zadanie zlecone", "cancel: odpięte"}));

  // Detached with a state task still queued: it runs, finds no sink, and nothing is sent.
  UnregisterMeterBridge();
  SetUiTaskWindow(window.Handle(), Win32UiWakeUp());
  const std::shared_ptr<Miernik> meter = Miernik::Create(engine.get());
  meter->AttachEventChannel();
  EXPECT_EQ(Send(kEventChannelName, Call("listen")), kOk);
  meter->DetachEventChannel();
  const size_t sent = Events().size();
  Idle(500);
  ClearUiTaskWindow();
  EXPECT_EQ(Events().size(), sent);
  EXPECT_EQ(StandInHasHandler(kEventChannelName), 0);
  EXPECT_EQ(Log(), Join({Lines(1, "kanał zdarzeń: zarejestrowany"),
                         kListenLines,
                         Search(1),
                         {"stan: port widoczny", "stan: sink odpięty, pomijam"}}));
}

// The device search of this platform fails; the rest is never reached.
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

// A second CP2102 cable on COM9 whose instance key enumerates before the simulator's.
struct SecondCable {
  const std::wstring key = L"System\\CurrentControlSet\\Enum\\USB\\VID_10C4&PID_EA60\\AASECOND";
  SecondCable() {
    Set(key, L"HardwareID", REG_MULTI_SZ, std::wstring(L"USB\\VID_10C4&PID_EA60") + L'\0');
    Set(key, L"ClassGUID", REG_SZ, L"{4d36e978-e325-11ce-bfc1-08002be10318}");
    Set(key + L"\\Device Parameters", L"PortName", REG_SZ, L"COM9");
  }
  ~SecondCable() { RegDeleteTreeW(HKEY_LOCAL_MACHINE, key.c_str()); }
  static void Set(const std::wstring& path, const wchar_t* name, DWORD type,
                  const std::wstring& value) {
    HKEY raw = nullptr;
    RegCreateKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &raw,
                    nullptr);
    const UniqueRegistryKey opened(raw);
    RegSetValueExW(raw, name, 0, type, reinterpret_cast<const BYTE*>(value.c_str()),
                   static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
  }
};

TEST_F(MeterServicesTest, ControlChannelAnswersEachMethod) {
  RegisterMeterBridge(engine.get(), window.Handle());
  Listen();
  Log();
  const std::string com = MeterSimulatorClient::ComName();
  EXPECT_EQ(Send(kControlChannelName, Call("stan")), Success(true));
  EXPECT_EQ(Send(kControlChannelName, Call("stop")), Success(true));
  EXPECT_EQ(Send(kControlChannelName, Call("Start")), Bytes{});
  ASSERT_EQ(simulator->Command("unplug"), "ok");
  EXPECT_EQ(Send(kControlChannelName, Call("stan")), Success(false));
  EXPECT_EQ(Send(kControlChannelName, Call("porty")), Success(EncodableList{}));
  ASSERT_EQ(simulator->Command("plug"), "ok");
  {
    const SecondCable second;
    EXPECT_EQ(Send(kControlChannelName, Call("porty")), Success(EncodableList{"COM9", com}));
  }
  EXPECT_EQ(Log(), Join({{"metoda: stan"},
                         Search(1),
                         {"metoda: stop", "metoda: Start", "metoda: stan"},
                         Search(0),
                         {"metoda: porty"},
                         Search(0),
                         {"porty: widzę 0", "metoda: porty"},
                         Search(2),
                         {"porty: widzę 2"}}));
  EXPECT_EQ(Send(kControlChannelName, Call("start")), Success(true));
  ASSERT_TRUE(Dispatch([] { return CountOf("pomiar") >= 2; }));
  EXPECT_EQ(Send(kControlChannelName, Call("stop")), Success(true));

  // Exceptions inside the actions: each answered with its prepared value.
  UnregisterMeterBridge();
  FailingSearch failing;
  const std::shared_ptr<Miernik> meter = Miernik::Create(engine.get(), failing);
  flutter::MethodChannel<EncodableValue> channel(engine->GetMessenger(), kControlChannelName,
                                                 &flutter::StandardMethodCodec::GetInstance());
  channel.SetMethodCallHandler([meter](const auto& call, auto result) {
    HandleControlCall(meter, call, std::move(result));
  });
  Log();
  EXPECT_EQ(Send(kControlChannelName, Call("stan")), Success(false));
  EXPECT_EQ(Send(kControlChannelName, Call("porty")), Success(EncodableList{}));
  EXPECT_EQ(Send(kControlChannelName, Call("start")), Success(false));
  channel.SetMethodCallHandler(nullptr);
  EXPECT_EQ(Log(), Lines({"metoda: stan", "WYJĄTEK w stan: SetupAPI padło", "metoda: porty",
                          "WYJĄTEK w porty: SetupAPI padło", "porty: widzę 0", "metoda: start",
                          "start: wejście", "WYJĄTEK w start: SetupAPI padło"}));
}

}  // namespace
}  // namespace meter_link
