// Event delivery: Emit* and PostState queue a task on any thread; the UI thread sends the ready
// map to the sink, or logs that there is none.
#include <gmock/gmock.h>

#include <thread>

#include "tests/meter/support/meter_fixture.h"

namespace meter_link {
namespace {

using flutter::EncodableMap;
using flutter::EncodableValue;
using ::testing::ElementsAre;

using MeterEventsTest = MeterFixture;

TEST_F(MeterEventsTest, ReadingTextAndReadyMapsAreSentWhole) {
  MeterReading reading;
  const auto frame = BuildMeterFrame({3, 1, true, 200});
  ASSERT_TRUE(DecodeFrame(frame.data(), frame.size(), &reading));
  meter->EmitReading(reading);
  meter->EmitText("Port COM7: zajęty");
  const EncodableMap brak{{"typ", "brak"}, {"t", int64_t{42}}};
  meter->EmitMap(brak);
  Drain();
  // The smallest range multiplies by one tenth rather than dividing by ten.
  const EncodableMap pomiar{{"typ", "pomiar"}, {"kod", 1},          {"lux", 0.30000000000000004},
                            {"nr", 200},       {"ol", true},        {"raw", 3},
                            {"t", Wall(0)},    {"zakres", "400 lx"}};
  const EncodableMap blad{{"typ", "blad"}, {"tekst", "Port COM7: zajęty"}};
  EXPECT_EQ(events->Maps(), (std::vector<EncodableMap>{pomiar, blad, brak}));
  Lines log;
  for (int i = 0; i < 3; ++i)
    log.insert(log.end(), {"emisja: zlecę zadanie", "emisja: zadanie zlecone"});
  for (int i = 0; i < 3; ++i) log.insert(log.end(), {"emisja: Send", "emisja: Send OK"});
  EXPECT_EQ(CapturedLogLines(), log);
}

TEST_F(MeterEventsTest, StateCountsThePortsWhenItIsSent) {
  meter->PostState();
  EXPECT_EQ(Journal(), "") << "ports are counted on the UI thread";
  Drain();
  platform.script.ports = {};
  meter->PostState();
  Drain();
  EXPECT_EQ(events->Maps(), (std::vector<EncodableMap>{{{"typ", "stan"}, {"podlaczony", true}},
                                                       {{"typ", "stan"}, {"podlaczony", false}}}));
  const std::string queued = "stan: zlecę zadanie,stan: zadanie zlecone,stan: liczę porty,";
  EXPECT_EQ(Joined(CapturedLogLines()), queued + "stan: port widoczny,stan: Send,stan: Send OK," +
                                            queued + "stan: brak portu,stan: Send,stan: Send OK");
}

// Without a sink events are logged and dropped, not kept for a later sink; a sink that throws
// is logged and the next event still goes out.
TEST_F(MeterEventsTest, MissingAndFailingSinks) {
  meter->ReplaceSink(nullptr);
  std::thread producer([this] {
    meter->EmitText("a");
    meter->PostState();
  });
  producer.join();
  Drain();
  EXPECT_EQ(Joined(CapturedLogLines()),
            "emisja: zlecę zadanie,emisja: zadanie zlecone,stan: zlecę zadanie,"
            "stan: zadanie zlecone,emisja: sink odpięty, pomijam,stan: liczę porty,"
            "stan: port widoczny,stan: sink odpięty, pomijam");
  for (int i = 0; i < 2; ++i) {
    meter->ReplaceSink(std::make_unique<RecordingSink>(events, 1));
    i == 0 ? meter->EmitText("pierwszy") : meter->PostState();
    i == 0 ? meter->EmitText("drugi") : meter->PostState();
    Drain();
  }
  EXPECT_THAT(Matching(CapturedLogLines(), "WYJĄTEK"),
              ElementsAre("WYJĄTEK w emisja: sink zepsuty", "WYJĄTEK w stan: sink zepsuty"));
  EXPECT_EQ(Joined(events->Kinds()), "blad,stan");
  EXPECT_THAT(ErrorTexts(), ElementsAre("drugi"));
}

TEST_F(MeterEventsTest, QueuedTasksKeepTheMeterAlive) {
  std::weak_ptr<Miernik> watched = meter;
  meter->EmitText("a");
  meter->PostState();
  meter.reset();
  EXPECT_FALSE(watched.expired());
  Drain();
  EXPECT_TRUE(watched.expired());
  EXPECT_EQ(events->Kinds().size(), 2u);
}

}  // namespace
}  // namespace meter_link
