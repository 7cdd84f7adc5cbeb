#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <thread>

#include "tests/meter/support/meter_fixture.h"

namespace {

using namespace meter_link;

using flutter::EncodableMap;
using flutter::EncodableValue;
using ::testing::ElementsAre;

using MeterEventsTest = MeterFixture;

std::vector<std::string> KeysOf(const EncodableMap& map) {
  std::vector<std::string> keys;
  for (const auto& entry : map) keys.push_back(std::get<std::string>(entry.first));
  return keys;
}

MeterReading SampleReading() {
  MeterReading reading;
  const auto frame = BuildMeterFrame({3, 1, true, 200});
  EXPECT_TRUE(DecodeFrame(frame.data(), frame.size(), &reading));
  return reading;
}

TEST_F(MeterEventsTest, ReadingEventCarriesItsEightKeysWithTheirKinds) {
  meter->EmitReading(SampleReading());
  Drain();
  ASSERT_THAT(events->Kinds(), ElementsAre("pomiar"));
  const EncodableMap map = events->OfKind("pomiar")[0];
  EXPECT_THAT(KeysOf(map), ElementsAre("kod", "lux", "nr", "ol", "raw", "t", "typ", "zakres"));
  EXPECT_EQ(::Field<int32_t>(map, "nr"), 200);
  EXPECT_EQ(::Field<bool>(map, "ol"), true);
  EXPECT_EQ(::Field<int64_t>(map, "t"), Wall(0));
  EXPECT_THAT(CapturedLogLines(), ElementsAre("emisja: zlecę zadanie", "emisja: zadanie zlecone",
                                              "emisja: Send", "emisja: Send OK"));
}

TEST_F(MeterEventsTest, TextAndReadyMapsAreSentAsGiven) {
  meter->EmitText("Port COM7: zajęty");
  meter->EmitMap(EncodableMap{{EncodableValue("typ"), EncodableValue("brak")},
                              {EncodableValue("t"), EncodableValue(int64_t{42})}});
  Drain();
  ASSERT_THAT(events->Kinds(), ElementsAre("blad", "brak"));
  const EncodableMap text = events->OfKind("blad")[0];
  EXPECT_THAT(KeysOf(text), ElementsAre("tekst", "typ"));
  EXPECT_EQ(::Field<std::string>(text, "tekst"), "Port COM7: zajęty");
  EXPECT_EQ(::Field<int64_t>(events->OfKind("brak")[0], "t"), 42);
}

TEST_F(MeterEventsTest, EventsWithoutSinkAreLoggedAndDropped) {
  meter->ReplaceSink(nullptr);
  std::thread producer([this] { meter->EmitReading(SampleReading()); });
  producer.join();
  EXPECT_THAT(CapturedLogLines(), ElementsAre("emisja: zlecę zadanie", "emisja: zadanie zlecone"));
  Drain();
  EXPECT_THAT(CapturedLogLines(), ElementsAre("emisja: zlecę zadanie", "emisja: zadanie zlecone",
                                              "emisja: sink odpięty, pomijam"));
  meter->ReplaceSink(std::make_unique<RecordingSink>(events));
  Drain();
  EXPECT_TRUE(events->All().empty()) << "dropped events are not kept for a later sink";
}

TEST_F(MeterEventsTest, StateCountsThePortsWhenItIsSent) {
  meter->PostState();
  EXPECT_THAT(CapturedLogLines(), ElementsAre("stan: zlecę zadanie", "stan: zadanie zlecone"));
  EXPECT_EQ(platform.Recorded().portSearches, 0)
      << "ports are counted on the UI thread, not by the poster";
  Drain();
  platform.script.ports = {};
  meter->PostState();
  Drain();
  const auto states = events->OfKind("stan");
  ASSERT_EQ(states.size(), 2u);
  EXPECT_THAT(KeysOf(states[0]), ElementsAre("podlaczony", "typ"));
  EXPECT_EQ(::Field<bool>(states[0], "podlaczony"), true);
  EXPECT_EQ(::Field<bool>(states[1], "podlaczony"), false);
  EXPECT_THAT(CapturedLogLines(),
              ElementsAre("stan: zlecę zadanie", "stan: zadanie zlecone", "stan: liczę porty",
                          "stan: port widoczny", "stan: Send", "stan: Send OK",
                          "stan: zlecę zadanie", "stan: zadanie zlecone", "stan: liczę porty",
                          "stan: brak portu", "stan: Send", "stan: Send OK"));
}

TEST_F(MeterEventsTest, StateWithoutSinkIsLoggedAndDropped) {
  meter->ReplaceSink(nullptr);
  meter->PostState();
  Drain();
  EXPECT_THAT(CapturedLogLines(),
              ElementsAre("stan: zlecę zadanie", "stan: zadanie zlecone", "stan: liczę porty",
                          "stan: port widoczny", "stan: sink odpięty, pomijam"));
}

TEST_F(MeterEventsTest, FailingSinkIsLoggedAndTheNextEventStillGoesOut) {
  meter->ReplaceSink(std::make_unique<RecordingSink>(events, 1));
  meter->EmitText("pierwszy");
  meter->EmitText("drugi");
  Drain();
  EXPECT_THAT(LogLinesStartingWith("WYJĄTEK"), ElementsAre("WYJĄTEK w emisja: sink zepsuty"));
  ASSERT_EQ(events->OfKind("blad").size(), 1u);
  EXPECT_EQ(::Field<std::string>(events->OfKind("blad")[0], "tekst"), "drugi");

  ClearCapturedLog();
  meter->ReplaceSink(std::make_unique<RecordingSink>(events, 1));
  meter->PostState();
  meter->PostState();
  Drain();
  EXPECT_THAT(LogLinesStartingWith("WYJĄTEK"), ElementsAre("WYJĄTEK w stan: sink zepsuty"));
  EXPECT_EQ(events->OfKind("stan").size(), 1u);
}

TEST_F(MeterEventsTest, QueuedTasksKeepTheMeterAlive) {
  std::weak_ptr<meter_link::Miernik> watched = meter;
  meter->EmitText("a");
  meter->PostState();
  meter.reset();
  EXPECT_FALSE(watched.expired());
  Drain();
  EXPECT_TRUE(watched.expired());
  EXPECT_EQ(events->Kinds().size(), 2u);
}

TEST_F(MeterEventsTest, RefusedTaskReleasesItsReferenceAtOnce) {
  ClearUiTaskWindow();
  meter->EmitText("a");
  EXPECT_EQ(meter.use_count(), 1);
  EXPECT_THAT(CapturedLogLines(),
              ElementsAre("emisja: zlecę zadanie", "kolejka: brak okna, zadanie odrzucone",
                          "emisja: zadanie zlecone"));
}

}  // namespace
