// The meter controller's own life without a run: an idle meter, the open-failure texts, and
// reopening and closing the port.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "tests/meter/support/meter_fixture.h"

namespace meter_link {
namespace {

using ::testing::ElementsAre;

class MiernikTest : public MeterFixture {
 protected:
  void SetUp() override {
    MeterFixture::SetUp();
    meter->SelectPort({L"\\\\.\\COM12", L"COM12"});
  }
};

TEST_F(MiernikTest, IdleMeterStopsAndGoesWithoutTouchingThePlatform) {
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
}

// Reopening, ClosePort, Stop and destruction each purge and close an open port once; a failed
// reopen still leaves the old port closed.
TEST_F(MiernikTest, EveryWayOfClosingPurgesThenClosesOnce) {
  const std::string open = "open \\\\.\\COM12";
  std::string text = "untouched";
  ASSERT_TRUE(meter->OpenPort(&text));
  EXPECT_EQ(text, "untouched");
  ASSERT_TRUE(meter->OpenPort(&text));
  meter->ClosePort();
  EXPECT_FALSE(meter->IsPortOpen());
  meter->ClosePort();
  ASSERT_TRUE(meter->OpenPort(nullptr));
  meter->Stop();
  EXPECT_FALSE(meter->IsPortOpen());
  ASSERT_TRUE(meter->OpenPort(nullptr));
  platform.script.openFailureCode = 5;
  EXPECT_FALSE(meter->OpenPort(&text));
  EXPECT_FALSE(meter->IsPortOpen());
  platform.script.openFailureCode = 0;
  ASSERT_TRUE(meter->OpenPort(nullptr));
  meter.reset();
  EXPECT_THAT(platform.Recorded().journal,
              ElementsAre(open, "purge", "close", open, "purge", "close", open, "purge", "close",
                          open, "purge", "close", open, open, "purge", "close"));
}

}  // namespace
}  // namespace meter_link
