// The meter controller's own life over a recording platform: a new meter is idle and leaves no
// trace, Stop on an idle meter, the open-failure texts, reopening and closing the port, and the
// sink slot.
#include "runner/meter/miernik.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "channels/event_sink.h"
#include "channels/standard_method_codec.h"
#include "tests/support/captured_log.h"

namespace {

using meter_link::Miernik;
using meter_link::OpenFailureStage;
using meter_link::SerialIo;
using meter_link::SerialLine;
using ::testing::ElementsAre;
using Journal = std::vector<std::string>;

class RecordingLine : public SerialLine {
 public:
  RecordingLine(Journal& journal, int number) : journal_(journal), number_(number) {}
  ~RecordingLine() override { journal_.push_back("close " + std::to_string(number_)); }
  SerialIo Write(const uint8_t*, uint32_t count) override { return {true, count, 0}; }
  SerialIo Read(uint8_t*, uint32_t) override { return {true, 0, 0}; }
  void Purge() override { journal_.push_back("purge " + std::to_string(number_)); }

 private:
  Journal& journal_;
  int number_;
};

// Opens succeed unless a failure is scripted; everything the meter asks of it is journalled.
class RecordingPlatform : public meter_link::MeterPlatform {
 public:
  std::vector<MeterPort> FindMeterPorts() override {
    journal.push_back("find");
    return {};
  }
  std::unique_ptr<SerialLine> OpenSerialLine(const std::wstring& path, OpenFailureStage* stage,
                                             uint32_t* errorCode) override {
    journal.push_back("open " + std::string(path.begin(), path.end()));
    if (failCode != 0) {
      *stage = failStage;
      *errorCode = failCode;
      return nullptr;
    }
    return std::make_unique<RecordingLine>(journal, ++opened);
  }
  std::wstring SystemErrorText(uint32_t code) override {
    if (code == 5) return L"Odmowa dost\u0119pu.";
    if (code == 87) return L"Parametr jest niepoprawny.";
    return L"b\u0142\u0105d " + std::to_wstring(code);
  }
  uint32_t TickCount() override { return 0; }
  int64_t MonotonicNanoseconds() override { return 0; }
  int64_t WallClockMilliseconds() override { return 0; }
  void SleepMilliseconds(uint32_t) override { journal.push_back("sleep"); }
  void DebugOutput(const char*) override { journal.push_back("debug"); }
  std::thread StartThread(std::function<void()>) override {
    journal.push_back("thread");
    return std::thread();
  }

  Journal journal;
  OpenFailureStage failStage = OpenFailureStage::kOpen;
  uint32_t failCode = 0;
  int opened = 0;
};

class RecordingSink : public Miernik::Sink {
 public:
  RecordingSink(Journal& journal, std::string name) : journal_(journal), name_(std::move(name)) {}
  ~RecordingSink() override { journal_.push_back("sink destroyed " + name_); }

 protected:
  void SuccessInternal(const flutter::EncodableValue*) override {}
  void ErrorInternal(const std::string&, const std::string&,
                     const flutter::EncodableValue*) override {}
  void EndOfStreamInternal() override {}

 private:
  Journal& journal_;
  std::string name_;
};

MeterPort Com7() { return {L"\\\\.\\COM7", L"COM7"}; }

class MiernikTest : public ::testing::Test {
 protected:
  void SetUp() override { ClearCapturedLog(); }

  RecordingPlatform platform;
};

TEST_F(MiernikTest, NewMeterIsIdleAndItsDestructionLeavesNoTrace) {
  std::shared_ptr<Miernik> meter = Miernik::Create(nullptr, platform);
  EXPECT_FALSE(meter->IsRunning());
  EXPECT_FALSE(meter->IsStopRequested());
  EXPECT_FALSE(meter->IsPortOpen());
  EXPECT_FALSE(meter->HasSink());
  EXPECT_EQ(meter->Engine(), nullptr);
  EXPECT_EQ(meter->Codec(), &flutter::StandardMethodCodec::GetInstance());
  EXPECT_EQ(&meter->Platform(), &platform);
  EXPECT_EQ(meter->shared_from_this(), meter) << "the factory links the self-reference";
  meter.reset();
  EXPECT_TRUE(platform.journal.empty());
  EXPECT_TRUE(CapturedLogLines().empty());
}

TEST_F(MiernikTest, StopOnAnIdleMeterOnlyMarksTheStopRequest) {
  std::shared_ptr<Miernik> meter = Miernik::Create(nullptr, platform);
  meter->Stop();
  EXPECT_FALSE(meter->IsRunning());
  EXPECT_TRUE(meter->IsStopRequested());
  meter->Stop();
  EXPECT_TRUE(meter->IsStopRequested());
  EXPECT_TRUE(platform.journal.empty());
  EXPECT_TRUE(CapturedLogLines().empty());
}

TEST_F(MiernikTest, PortThatDoesNotOpenAsksWhetherAnotherProgramHoldsIt) {
  std::shared_ptr<Miernik> meter = Miernik::Create(nullptr, platform);
  meter->SelectPort(Com7());
  platform.failCode = 5;
  std::string text;
  EXPECT_FALSE(meter->OpenPort(&text));
  EXPECT_EQ(text, "Port COM7: Odmowa dostępu. (czy nie jest zajęty przez inny program?)");
  EXPECT_FALSE(meter->IsPortOpen());
  EXPECT_THAT(platform.journal, ElementsAre("open \\\\.\\COM7"));
}

TEST_F(MiernikTest, PortThatCannotBeConfiguredGetsTheShortText) {
  std::shared_ptr<Miernik> meter = Miernik::Create(nullptr, platform);
  meter->SelectPort({L"\\\\.\\COM12", L"COM12"});
  platform.failStage = OpenFailureStage::kConfigure;
  platform.failCode = 87;
  std::string text;
  EXPECT_FALSE(meter->OpenPort(&text));
  EXPECT_EQ(text, "Port COM12: Parametr jest niepoprawny.");

  platform.failCode = 12345;
  EXPECT_FALSE(meter->OpenPort(&text));
  EXPECT_EQ(text, "Port COM12: błąd 12345");
  EXPECT_FALSE(meter->OpenPort(nullptr)) << "the text is optional";
  EXPECT_FALSE(meter->IsPortOpen());
}

TEST_F(MiernikTest, OpeningAgainPurgesAndClosesTheOpenPortFirst) {
  std::shared_ptr<Miernik> meter = Miernik::Create(nullptr, platform);
  meter->SelectPort(Com7());
  std::string text = "untouched";
  ASSERT_TRUE(meter->OpenPort(&text));
  EXPECT_EQ(text, "untouched");
  EXPECT_TRUE(meter->IsPortOpen());
  ASSERT_TRUE(meter->OpenPort(&text));
  EXPECT_THAT(platform.journal,
              ElementsAre("open \\\\.\\COM7", "purge 1", "close 1", "open \\\\.\\COM7"));

  // A failed reopen still leaves the old port closed.
  platform.failCode = 5;
  EXPECT_FALSE(meter->OpenPort(&text));
  EXPECT_FALSE(meter->IsPortOpen());
  EXPECT_THAT(platform.journal,
              ElementsAre("open \\\\.\\COM7", "purge 1", "close 1", "open \\\\.\\COM7", "purge 2",
                          "close 2", "open \\\\.\\COM7"));
}

TEST_F(MiernikTest, ClosePortPurgesThenClosesOnce) {
  std::shared_ptr<Miernik> meter = Miernik::Create(nullptr, platform);
  meter->SelectPort(Com7());
  ASSERT_TRUE(meter->OpenPort(nullptr));
  meter->ClosePort();
  EXPECT_FALSE(meter->IsPortOpen());
  meter->ClosePort();
  EXPECT_THAT(platform.journal, ElementsAre("open \\\\.\\COM7", "purge 1", "close 1"));
}

TEST_F(MiernikTest, StopAndDestructionCloseAPortLeftOpen) {
  std::shared_ptr<Miernik> meter = Miernik::Create(nullptr, platform);
  meter->SelectPort(Com7());
  ASSERT_TRUE(meter->OpenPort(nullptr));
  meter->Stop();
  EXPECT_FALSE(meter->IsPortOpen());
  EXPECT_FALSE(meter->IsRunning());
  ASSERT_TRUE(meter->OpenPort(nullptr));
  meter.reset();
  EXPECT_THAT(platform.journal, ElementsAre("open \\\\.\\COM7", "purge 1", "close 1",
                                            "open \\\\.\\COM7", "purge 2", "close 2"));
}

TEST_F(MiernikTest, ReplacingTheSinkDestroysTheOldOne) {
  Journal sinks;
  std::shared_ptr<Miernik> meter = Miernik::Create(nullptr, platform);
  meter->ReplaceSink(std::make_unique<RecordingSink>(sinks, "first"));
  EXPECT_TRUE(meter->HasSink());
  EXPECT_TRUE(sinks.empty());
  meter->ReplaceSink(std::make_unique<RecordingSink>(sinks, "second"));
  EXPECT_THAT(sinks, ElementsAre("sink destroyed first"));
  EXPECT_TRUE(meter->HasSink());
  meter->ReplaceSink(nullptr);
  EXPECT_FALSE(meter->HasSink());
  EXPECT_THAT(sinks, ElementsAre("sink destroyed first", "sink destroyed second"));

  meter->ReplaceSink(std::make_unique<RecordingSink>(sinks, "third"));
  meter.reset();
  EXPECT_THAT(sinks,
              ElementsAre("sink destroyed first", "sink destroyed second", "sink destroyed third"));
}

}  // namespace
