// The meter controller's own life without a run: an idle meter, the open-failure texts,
// reopening and closing the port, and the sink slot.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "channels/standard_method_codec.h"
#include "tests/meter/support/meter_fixture.h"

namespace {

using meter_link::Miernik;
using meter_link::OpenFailureStage;
using ::testing::ElementsAre;

class MiernikTest : public MeterFixture {
 protected:
  void SetUp() override {
    MeterFixture::SetUp();
    meter->SelectPort({L"\\\\.\\COM12", L"COM12"});  // two digits
  }
};

TEST_F(MiernikTest, IdleMeterStopsAndGoesWithoutTouchingThePlatform) {
  EXPECT_FALSE(meter->IsRunning());
  EXPECT_FALSE(meter->IsStopRequested());
  EXPECT_EQ(meter->Codec(), &flutter::StandardMethodCodec::GetInstance());
  EXPECT_EQ(meter->shared_from_this(), meter) << "the factory links the self-reference";
  meter->Stop();
  EXPECT_TRUE(meter->IsStopRequested());
  EXPECT_FALSE(meter->IsRunning());
  meter.reset();
  const auto record = platform.Recorded();
  EXPECT_TRUE(record.journal.empty());
  EXPECT_EQ(record.portSearches + record.threadsStarted, 0);
  EXPECT_TRUE(CapturedLogLines().empty());
  EXPECT_TRUE(events->All().empty());
}

TEST_F(MiernikTest, PortThatDoesNotOpenGivesTheTextOfItsStage) {
  platform.script.openFailureCode = 5;
  std::string text;
  EXPECT_FALSE(meter->OpenPort(&text));
  EXPECT_EQ(text, "Port COM12: Błąd urządzenia nr 5. (czy nie jest zajęty przez inny program?)");
  platform.script.openFailureStage = OpenFailureStage::kConfigure;
  platform.script.openFailureCode = 87;
  EXPECT_FALSE(meter->OpenPort(&text));
  EXPECT_EQ(text, "Port COM12: Błąd urządzenia nr 87.");
  EXPECT_FALSE(meter->OpenPort(nullptr)) << "the text is optional";
  EXPECT_FALSE(meter->IsPortOpen());
  EXPECT_EQ(platform.Recorded().journal, std::vector<std::string>(3, "open \\\\.\\COM12"));
}

TEST_F(MiernikTest, OpeningAgainPurgesAndClosesTheOpenPortFirst) {
  std::string text = "untouched";
  ASSERT_TRUE(meter->OpenPort(&text));
  EXPECT_EQ(text, "untouched");
  EXPECT_TRUE(meter->IsPortOpen());
  ASSERT_TRUE(meter->OpenPort(&text));
  // A failed reopen still leaves the old port closed.
  platform.script.openFailureCode = 5;
  EXPECT_FALSE(meter->OpenPort(&text));
  EXPECT_FALSE(meter->IsPortOpen());
  EXPECT_THAT(platform.Recorded().journal,
              ElementsAre("open \\\\.\\COM12", "purge", "close", "open \\\\.\\COM12", "purge",
                          "close", "open \\\\.\\COM12"));
}

TEST_F(MiernikTest, ClosePortStopAndDestructionPurgeThenCloseOnce) {
  ASSERT_TRUE(meter->OpenPort(nullptr));
  meter->ClosePort();
  EXPECT_FALSE(meter->IsPortOpen());
  meter->ClosePort();
  ASSERT_TRUE(meter->OpenPort(nullptr));
  meter->Stop();
  EXPECT_FALSE(meter->IsPortOpen());
  ASSERT_TRUE(meter->OpenPort(nullptr));
  meter.reset();
  EXPECT_THAT(platform.Recorded().journal,
              ElementsAre("open \\\\.\\COM12", "purge", "close", "open \\\\.\\COM12", "purge",
                          "close", "open \\\\.\\COM12", "purge", "close"));
}

// A sink shares its RecordedEvents with the test, so the use count shows whether it still lives.
TEST_F(MiernikTest, ReplacingTheSinkDestroysTheOldOne) {
  auto first = std::make_shared<RecordedEvents>(), second = std::make_shared<RecordedEvents>();
  EXPECT_TRUE(meter->HasSink());
  meter->ReplaceSink(std::make_unique<RecordingSink>(first));
  EXPECT_EQ(events.use_count(), 1) << "the fixture's sink went";
  EXPECT_EQ(first.use_count(), 2);
  meter->ReplaceSink(std::make_unique<RecordingSink>(second));
  EXPECT_EQ(first.use_count(), 1);
  meter->ReplaceSink(nullptr);
  EXPECT_FALSE(meter->HasSink());
  EXPECT_EQ(second.use_count(), 1);
  meter->ReplaceSink(std::make_unique<RecordingSink>(first));
  meter.reset();
  EXPECT_EQ(first.use_count(), 1) << "the meter's destruction takes its sink along";
}

}  // namespace
