// Event delivery: Emit* and PostState queue a task on any thread; the UI thread sends the ready
// map to the sink, or logs that there is none.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <thread>

#include "channels/standard_method_codec.h"
#include "tests/meter/support/meter_fixture.h"

namespace meter_link {
namespace {

using namespace meter_link;

using flutter::EncodableMap;
using flutter::EncodableValue;
using ::testing::ElementsAre;
using ::testing::ElementsAreArray;

using MeterEventsTest = MeterFixture;

std::vector<std::string> KeysOf(const EncodableMap& map) {
  std::vector<std::string> keys;
  for (const auto& entry : map) keys.push_back(std::get<std::string>(entry.first));
  return keys;
}

TEST_F(MeterEventsTest, ReadingTextAndReadyMapsAreSentWithTheirKeys) {
  MeterReading reading;
  const auto frame = BuildMeterFrame({3, 1, true, 200});
  ASSERT_TRUE(DecodeFrame(frame.data(), frame.size(), &reading));
  meter->EmitReading(reading);
  meter->EmitText("Port COM7: zajęty");
  meter->EmitMap(EncodableMap{{EncodableValue("typ"), EncodableValue("brak")},
                              {EncodableValue("t"), EncodableValue(int64_t{42})}});
  Drain();
  ASSERT_THAT(events->Kinds(), ElementsAre("pomiar", "blad", "brak"));
  const EncodableMap pomiar = events->OfKind("pomiar")[0];
  // The map's order is the order on the wire; Field throws on a value of another type.
  EXPECT_THAT(KeysOf(pomiar), ElementsAre("kod", "lux", "nr", "ol", "raw", "t", "typ", "zakres"));
  EXPECT_EQ(std::make_tuple(Field<int32_t>(pomiar, "kod"), Field<double>(pomiar, "lux"),
                            Field<int32_t>(pomiar, "nr"), Field<bool>(pomiar, "ol"),
                            Field<int32_t>(pomiar, "raw"), Field<int64_t>(pomiar, "t"),
                            Field<std::string>(pomiar, "zakres")),
            std::make_tuple(1, 0.30000000000000004, 200, true, 3, Wall(0), "400 lx"));
  const EncodableMap text = events->OfKind("blad")[0];
  EXPECT_THAT(KeysOf(text), ElementsAre("tekst", "typ"));
  EXPECT_EQ(Field<std::string>(text, "tekst"), "Port COM7: zajęty");
  EXPECT_EQ(Field<int64_t>(events->OfKind("brak")[0], "t"), 42);
  std::vector<std::string> log;
  for (int i = 0; i < 3; ++i)
    log.insert(log.end(), {"emisja: zlecę zadanie", "emisja: zadanie zlecone"});
  for (int i = 0; i < 3; ++i) log.insert(log.end(), {"emisja: Send", "emisja: Send OK"});
  EXPECT_THAT(CapturedLogLines(), ElementsAreArray(log));
}

TEST_F(MeterEventsTest, StateCountsThePortsWhenItIsSent) {
  meter->PostState();
  EXPECT_EQ(platform.Recorded().portSearches, 0) << "ports are counted on the UI thread";
  Drain();
  platform.script.ports = {};
  meter->PostState();
  Drain();
  const auto all = events->All();
  ASSERT_EQ(events->Kinds(), (Kinds{"stan", "stan"}));
  EXPECT_EQ(Field<bool>(std::get<EncodableMap>(all[1]), "podlaczony"), false);
  const auto bytes = flutter::StandardMethodCodec::GetInstance().EncodeSuccessEnvelope(&all[0]);
  ASSERT_NE(bytes, nullptr);
  EXPECT_EQ(*bytes, (std::vector<uint8_t>{0x00, 0x0D, 0x02, 0x07, 0x0A, 0x70, 0x6F, 0x64, 0x6C,
                                          0x61, 0x63, 0x7A, 0x6F, 0x6E, 0x79, 0x01, 0x07, 0x03,
                                          0x74, 0x79, 0x70, 0x07, 0x04, 0x73, 0x74, 0x61, 0x6E}));
  EXPECT_THAT(CapturedLogLines(),
              ElementsAre("stan: zlecę zadanie", "stan: zadanie zlecone", "stan: liczę porty",
                          "stan: port widoczny", "stan: Send", "stan: Send OK",
                          "stan: zlecę zadanie", "stan: zadanie zlecone", "stan: liczę porty",
                          "stan: brak portu", "stan: Send", "stan: Send OK"));
}

TEST_F(MeterEventsTest, EventsWithoutSinkAreLoggedAndDropped) {
  meter->ReplaceSink(nullptr);
  std::thread producer([this] {
    meter->EmitText("a");
    meter->PostState();
  });
  producer.join();
  Drain();
  EXPECT_THAT(
      CapturedLogLines(),
      ElementsAre("emisja: zlecę zadanie", "emisja: zadanie zlecone", "stan: zlecę zadanie",
                  "stan: zadanie zlecone", "emisja: sink odpięty, pomijam", "stan: liczę porty",
                  "stan: port widoczny", "stan: sink odpięty, pomijam"));
  meter->ReplaceSink(std::make_unique<RecordingSink>(events));
  Drain();
  EXPECT_TRUE(events->All().empty()) << "dropped events are not kept for a later sink";
}

TEST_F(MeterEventsTest, FailingSinkIsLoggedAndTheNextEventStillGoesOut) {
  meter->ReplaceSink(std::make_unique<RecordingSink>(events, 1));
  meter->EmitText("pierwszy");
  meter->EmitText("drugi");
  Drain();
  meter->ReplaceSink(std::make_unique<RecordingSink>(events, 1));
  meter->PostState();
  meter->PostState();
  Drain();
  EXPECT_THAT(LogLinesStartingWith("WYJĄTEK"),
              ElementsAre("WYJĄTEK w emisja: sink zepsuty", "WYJĄTEK w stan: sink zepsuty"));
  EXPECT_THAT(events->Kinds(), ElementsAre("blad", "stan"));
  EXPECT_THAT(ErrorTexts(), ElementsAre("drugi"));
}

TEST_F(MeterEventsTest, QueuedTasksKeepTheMeterAliveAndRefusedOnesLetGoAtOnce) {
  std::weak_ptr<Miernik> watched = meter;
  meter->EmitText("a");
  meter->PostState();
  meter.reset();
  EXPECT_FALSE(watched.expired());
  Drain();
  EXPECT_TRUE(watched.expired());
  EXPECT_EQ(events->Kinds().size(), 2u);

  meter = Miernik::Create(nullptr, platform);
  ClearUiTaskWindow();
  ClearCapturedLog();
  meter->EmitText("a");
  EXPECT_EQ(meter.use_count(), 1);
  EXPECT_THAT(CapturedLogLines(),
              ElementsAre("emisja: zlecę zadanie", "kolejka: brak okna, zadanie odrzucone",
                          "emisja: zadanie zlecone"));
}

}  // namespace
}  // namespace meter_link
