// The task queue and event delivery through a real window and message loop, and the bytes events
// put on the wire when the sink encodes them as success envelopes with the standard method codec.

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <windows.h>

#include <cstring>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "channels/event_sink.h"
#include "channels/standard_method_codec.h"
#include "runner/meter/miernik.h"
#include "runner/meter/ui_task_queue.h"
#include "runner/meter/win32_ui_wake_up.h"
#include "tests/meter/support/scripted_meter_platform.h"
#include "tests/meter/win32/message_window.h"
#include "tests/support/captured_log.h"

namespace {

using namespace meter_link;

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

// A success envelope of a map of string keys, written out by hand from the wire format.
Bytes Envelope(uint8_t entries) { return {0x00, 0x0D, entries}; }
void String(Bytes& out, const std::string& text) {
  out.push_back(0x07);
  out.push_back(static_cast<uint8_t>(text.size()));
  out.insert(out.end(), text.begin(), text.end());
}

template <typename T>
void Raw(Bytes& out, T value) {
  uint8_t raw[sizeof(T)];
  std::memcpy(raw, &value, sizeof(T));
  out.insert(out.end(), raw, raw + sizeof(T));
}
template <typename T>
void LittleEndian(Bytes& out, uint8_t type, T value) {
  out.push_back(type);
  Raw(out, value);
}

Bytes TextEvent(const std::string& text) {
  Bytes bytes = Envelope(2);
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
    meter->ReplaceSink(std::make_unique<EncodingSink>(sent));
  }
  void TearDown() override {
    meter.reset();
    ClearUiTaskWindow();
  }

  // Runs produce on another thread, then the message loop until that many wake-ups were handled.
  void ProduceAndPump(const std::function<void()>& produce, int wakeUps) {
    std::thread producer(produce);
    producer.join();
    ASSERT_TRUE(PumpMessagesUntil([&] { return window.WakeUpsHandled() >= wakeUps; }));
  }

  MessageWindow window;
  ScriptedMeterPlatform platform;
  std::shared_ptr<std::vector<Bytes>> sent = std::make_shared<std::vector<Bytes>>();
  std::shared_ptr<meter_link::Miernik> meter;
};

TEST_F(MeterEventsWin32Test, TasksFromAnotherThreadRunOnTheWindowThreadInOrder) {
  std::vector<int> order;
  std::vector<DWORD> threads;
  std::vector<int> ranPerWakeUp;
  window.afterWakeUp = [&] { ranPerWakeUp.push_back(static_cast<int>(order.size())); };
  ProduceAndPump(
      [&] {
        for (int i = 1; i <= 3; ++i) {
          EXPECT_TRUE(PostToUiThread([&, i] {
            order.push_back(i);
            threads.push_back(GetCurrentThreadId());
          }));
        }
      },
      3);
  EXPECT_THAT(order, ElementsAre(1, 2, 3));
  EXPECT_THAT(threads, ::testing::Each(GetCurrentThreadId()));
  // The first message ran all three; the two later ones found the queue empty.
  EXPECT_THAT(ranPerWakeUp, ElementsAre(3, 3, 3));
  EXPECT_TRUE(CapturedLogLines().empty());
}

TEST_F(MeterEventsWin32Test, RefusedPostMessageKeepsTheTaskForTheNextDrain) {
  window.Destroy();  // PostMessageW to a destroyed window fails
  bool ran = false;
  EXPECT_FALSE(PostToUiThread([&ran] { ran = true; }));
  EXPECT_THAT(CapturedLogLines(), ElementsAre("kolejka: PostMessage odrzucony"));

  MessageWindow second;
  SetUiTaskWindow(second.Handle(), Win32UiWakeUp());
  EXPECT_TRUE(PostToUiThread([] {}));
  ASSERT_TRUE(PumpMessagesUntil([&] { return ran; }));
}

TEST_F(MeterEventsWin32Test, StateEventWithAPortPresentIsThe27KnownBytes) {
  ProduceAndPump([this] { meter->PostState(); }, 1);
  ASSERT_EQ(sent->size(), 1u);
  EXPECT_EQ(sent->at(0), (Bytes{0x00, 0x0D, 0x02, 0x07, 0x0A, 0x70, 0x6F, 0x64, 0x6C,
                                0x61, 0x63, 0x7A, 0x6F, 0x6E, 0x79, 0x01, 0x07, 0x03,
                                0x74, 0x79, 0x70, 0x07, 0x04, 0x73, 0x74, 0x61, 0x6E}));
  EXPECT_THAT(CapturedLogLines(),
              ElementsAre("stan: zlecę zadanie", "stan: zadanie zlecone", "stan: liczę porty",
                          "stan: port widoczny", "stan: Send", "stan: Send OK"));
}

// From one producer, events arrive in the order they were emitted.
TEST_F(MeterEventsWin32Test, TextAndNotConnectedStateBytesInTheirOrder) {
  platform.script.ports.clear();
  ProduceAndPump(
      [this] {
        meter->EmitText("Miernik odłączony");
        meter->PostState();
        meter->EmitText("a");
      },
      3);
  Bytes notConnected = Envelope(2);
  String(notConnected, "podlaczony");
  notConnected.push_back(0x02);
  String(notConnected, "typ");
  String(notConnected, "stan");
  ASSERT_EQ(sent->size(), 3u);
  EXPECT_EQ(sent->at(0), TextEvent("Miernik odłączony"));
  EXPECT_EQ(sent->at(0).size(), 3u + 7 + 21 + 5 + 6);  // the text is 19 bytes of UTF-8
  EXPECT_EQ(sent->at(1), notConnected);
  EXPECT_EQ(sent->at(2), TextEvent("a"));
}

// The reading and the missing-reading event, byte for byte; "t" comes from the platform's clock.
TEST_F(MeterEventsWin32Test, ReadingAndMissingReadingBytes) {
  const int64_t now = platform.WallClockMilliseconds();
  MeterReading reading;
  reading.raw = 1234;
  reading.rangeCode = 1;
  reading.lux = 1234 * 0.1;
  reading.rangeLabel = "400 lx";
  reading.overload = true;
  reading.nr = 7;
  ProduceAndPump(
      [&] {
        meter->EmitReading(reading);
        meter->EmitMap(flutter::EncodableMap{
            {flutter::EncodableValue("typ"), flutter::EncodableValue("brak")},
            {flutter::EncodableValue("t"), flutter::EncodableValue(now)},
        });
      },
      2);

  Bytes pomiar = Envelope(8);
  String(pomiar, "kod");
  LittleEndian<int32_t>(pomiar, 0x03, 1);
  String(pomiar, "lux");  // its type byte lands at offset 18, the double at 24
  pomiar.insert(pomiar.end(), {0x06, 0, 0, 0, 0, 0});
  Raw<double>(pomiar, 1234 * 0.1);
  String(pomiar, "nr");
  LittleEndian<int32_t>(pomiar, 0x03, 7);
  String(pomiar, "ol");
  pomiar.push_back(0x01);
  String(pomiar, "raw");
  LittleEndian<int32_t>(pomiar, 0x03, 1234);
  String(pomiar, "t");
  LittleEndian<int64_t>(pomiar, 0x04, now);
  String(pomiar, "typ");
  String(pomiar, "pomiar");
  String(pomiar, "zakres");
  String(pomiar, "400 lx");

  Bytes brak = Envelope(2);
  String(brak, "t");
  LittleEndian<int64_t>(brak, 0x04, now);
  String(brak, "typ");
  String(brak, "brak");

  ASSERT_EQ(sent->size(), 2u);
  EXPECT_EQ(sent->at(0), pomiar);
  EXPECT_EQ(sent->at(1), brak);
}

}  // namespace
