// Event delivery through a real window and message loop, and the bytes every event kind puts on
// the wire when the sink encodes it as a success envelope with the standard method codec.

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <windows.h>

#include <cstring>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "channels/event_sink.h"
#include "channels/standard_method_codec.h"
#include "runner/meter/miernik.h"
#include "runner/meter/ui_task_queue.h"
#include "runner/meter/win32_ui_wake_up.h"
#include "tests/meter/win32/message_window.h"
#include "tests/support/captured_log.h"

namespace {

using Bytes = std::vector<uint8_t>;
using ::testing::ElementsAre;

// Encodes each event as the stream's sink does and keeps the bytes instead of sending them.
class EncodingSink final : public flutter::EventSink<flutter::EncodableValue> {
 public:
  explicit EncodingSink(std::shared_ptr<std::vector<Bytes>> sent) : sent(std::move(sent)) {}

 protected:
  void SuccessInternal(const flutter::EncodableValue* event) override {
    auto bytes = flutter::StandardMethodCodec::GetInstance().EncodeSuccessEnvelope(event);
    if (bytes) sent->push_back(*bytes);
  }
  void ErrorInternal(const std::string&, const std::string&,
                     const flutter::EncodableValue*) override {}
  void EndOfStreamInternal() override {}

 private:
  std::shared_ptr<std::vector<Bytes>> sent;
};

// Only what event delivery asks of the platform: the port list and the wall clock.
class FixedPlatform final : public meter_link::MeterPlatform {
 public:
  std::vector<MeterPort> FindMeterPorts() override { return ports; }
  std::unique_ptr<meter_link::SerialLine> OpenSerialLine(const std::wstring&,
                                                         meter_link::OpenFailureStage*,
                                                         uint32_t*) override {
    return nullptr;
  }
  std::wstring SystemErrorText(uint32_t) override { return L""; }
  uint32_t TickCount() override { return 0; }
  int64_t MonotonicNanoseconds() override { return 0; }
  int64_t WallClockMilliseconds() override { return 0x0000018C2A3B4C5D; }
  void SleepMilliseconds(uint32_t) override {}
  void DebugOutput(const char*) override {}

  std::vector<MeterPort> ports{{L"\\\\.\\COM7", L"COM7"}};
};

// Builders for the expected bytes, written out by hand from the wire format.
void Append(Bytes& out, std::initializer_list<uint8_t> bytes) {
  out.insert(out.end(), bytes.begin(), bytes.end());
}
void String(Bytes& out, const std::string& text) {
  out.push_back(0x07);
  out.push_back(static_cast<uint8_t>(text.size()));
  out.insert(out.end(), text.begin(), text.end());
}
template <typename T>
void LittleEndian(Bytes& out, T value) {
  uint8_t raw[sizeof(T)];
  std::memcpy(raw, &value, sizeof(T));
  out.insert(out.end(), raw, raw + sizeof(T));
}

Bytes TextEvent(const std::string& text) {
  Bytes bytes{0x00, 0x0D, 0x02};
  String(bytes, "tekst");
  String(bytes, text);
  String(bytes, "typ");
  String(bytes, "blad");
  return bytes;
}

class MeterEventsWin32Test : public ::testing::Test {
 protected:
  void SetUp() override {
    ClearUiTaskWindow();
    ClearCapturedLog();
    ASSERT_NE(window.Handle(), nullptr);
    SetUiTaskWindow(window.Handle(), Win32UiWakeUp());
    meter = meter_link::Miernik::Create(nullptr, platform);
  }
  void TearDown() override {
    meter.reset();
    ClearUiTaskWindow();
  }

  void Attach() { meter->ReplaceSink(std::make_unique<EncodingSink>(sent)); }

  // Runs produce on another thread, then the message loop until that many wake-ups were handled.
  void ProduceAndPump(const std::function<void()>& produce, int wakeUps) {
    std::thread producer(produce);
    producer.join();
    ASSERT_TRUE(PumpMessagesUntil([&] { return window.WakeUpsHandled() >= wakeUps; }));
  }

  MessageWindow window;
  FixedPlatform platform;
  std::shared_ptr<std::vector<Bytes>> sent = std::make_shared<std::vector<Bytes>>();
  std::shared_ptr<meter_link::Miernik> meter;
};

TEST_F(MeterEventsWin32Test, StateEventWithAPortPresentIsThe27KnownBytes) {
  Attach();
  ProduceAndPump([this] { meter->PostState(); }, 1);
  ASSERT_EQ(sent->size(), 1u);
  EXPECT_EQ(sent->at(0), (Bytes{0x00, 0x0D, 0x02, 0x07, 0x0A, 0x70, 0x6F, 0x64, 0x6C,
                                0x61, 0x63, 0x7A, 0x6F, 0x6E, 0x79, 0x01, 0x07, 0x03,
                                0x74, 0x79, 0x70, 0x07, 0x04, 0x73, 0x74, 0x61, 0x6E}));
  EXPECT_THAT(CapturedLogLines(),
              ElementsAre("stan: zlecę zadanie", "stan: zadanie zlecone", "stan: liczę porty",
                          "stan: port widoczny", "stan: Send", "stan: Send OK"));
}

// Every other kind, from one producer: they arrive in the order they were emitted.
TEST_F(MeterEventsWin32Test, OtherEventsHaveTheirBytesAndKeepTheirOrder) {
  platform.ports.clear();
  Attach();
  MeterReading reading;
  reading.raw = 1234;
  reading.rangeCode = 1;
  reading.lux = 1234 * 0.1;
  reading.rangeLabel = "400 lx";
  reading.overload = true;
  reading.nr = 7;
  ProduceAndPump(
      [&] {
        meter->EmitText("Miernik odłączony");
        meter->EmitMap(flutter::EncodableMap{
            {flutter::EncodableValue("typ"), flutter::EncodableValue("brak")},
            {flutter::EncodableValue("t"), flutter::EncodableValue(int64_t{0x0000018C2A3B4C5D})},
        });
        meter->EmitReading(reading);
        meter->PostState();
        meter->EmitText("a");
      },
      5);

  Bytes missing{0x00, 0x0D, 0x02};
  String(missing, "t");
  missing.push_back(0x04);
  LittleEndian<int64_t>(missing, 0x0000018C2A3B4C5D);
  String(missing, "typ");
  String(missing, "brak");

  Bytes measured{0x00, 0x0D, 0x08};
  String(measured, "kod");
  measured.push_back(0x03);
  LittleEndian<int32_t>(measured, 1);
  String(measured, "lux");  // its type byte lands at offset 18
  measured.push_back(0x06);
  Append(measured, {0, 0, 0, 0, 0});  // the double starts at offset 24
  LittleEndian<double>(measured, 1234 * 0.1);
  String(measured, "nr");
  measured.push_back(0x03);
  LittleEndian<int32_t>(measured, 7);
  String(measured, "ol");
  measured.push_back(0x01);
  String(measured, "raw");
  measured.push_back(0x03);
  LittleEndian<int32_t>(measured, 1234);
  String(measured, "t");
  measured.push_back(0x04);
  LittleEndian<int64_t>(measured, 0x0000018C2A3B4C5D);
  String(measured, "typ");
  String(measured, "pomiar");
  String(measured, "zakres");
  String(measured, "400 lx");

  Bytes notConnected{0x00, 0x0D, 0x02};
  String(notConnected, "podlaczony");
  notConnected.push_back(0x02);
  String(notConnected, "typ");
  String(notConnected, "stan");

  ASSERT_EQ(sent->size(), 5u);
  EXPECT_EQ(sent->at(0), TextEvent("Miernik odłączony"));
  EXPECT_EQ(sent->at(0).size(), 3u + 7 + 21 + 5 + 6);  // the text is 19 bytes of UTF-8
  EXPECT_EQ(sent->at(1), missing);
  EXPECT_EQ(sent->at(2), measured);
  EXPECT_EQ(sent->at(3), notConnected);
  EXPECT_EQ(sent->at(4), TextEvent("a"));
}

}  // namespace
