// The meter controller over the Win32 platform under Wine, with the meter simulator: the port it
// finds opens at the meter's settings, a reopen closes the old handle before the new open, and
// a port that cannot be opened gives the user's text.
#include <windows.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "runner/meter/meter_ports.h"
#include "runner/meter/miernik.h"
#include "runner/meter/win32_meter_platform.h"
#include "runner/meter/win32_serial_line.h"
#include "tests/support/meter_simulator_client.h"

namespace {

using meter_link::Miernik;
using meter_link::OpenFailureStage;
using meter_link::SerialLine;

// The Win32 platform, watching the handles it opens: at each open it notes whether the handle
// of the previous open is still valid.
class HandleWatchingPlatform : public meter_link::MeterPlatform {
 public:
  std::vector<MeterPort> FindMeterPorts() override { return real_.FindMeterPorts(); }
  std::unique_ptr<SerialLine> OpenSerialLine(const std::wstring& path, OpenFailureStage* stage,
                                             uint32_t* errorCode) override {
    if (last_ != nullptr) {
      DWORD flags = 0;
      previousStillOpen.push_back(GetHandleInformation(last_, &flags) != FALSE);
    }
    std::unique_ptr<SerialLine> line = real_.OpenSerialLine(path, stage, errorCode);
    last_ = line ? static_cast<meter_link::Win32SerialLine&>(*line).Handle() : nullptr;
    return line;
  }
  std::wstring SystemErrorText(uint32_t code) override { return real_.SystemErrorText(code); }
  uint32_t TickCount() override { return real_.TickCount(); }
  int64_t MonotonicNanoseconds() override { return real_.MonotonicNanoseconds(); }
  int64_t WallClockMilliseconds() override { return real_.WallClockMilliseconds(); }
  void SleepMilliseconds(uint32_t ms) override { real_.SleepMilliseconds(ms); }
  void DebugOutput(const char* text) override { real_.DebugOutput(text); }

  std::vector<bool> previousStillOpen;

 private:
  meter_link::MeterPlatform& real_ = meter_link::Win32MeterPlatform();
  HANDLE last_ = nullptr;
};

const char kQuestion[] = " (czy nie jest zajęty przez inny program?)";

bool EndsWith(const std::string& text, const std::string& tail) {
  return text.size() >= tail.size() &&
         text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

class Win32MiernikTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string error;
    simulator_ = MeterSimulatorClient::FromEnvironment(&error);
    ASSERT_NE(simulator_, nullptr) << error;
    ASSERT_EQ(simulator_->Command("reset"), "ok");
  }

  // A meter on the port that discovery finds (the simulated cable).
  static std::shared_ptr<Miernik> MeterOnFoundPort(meter_link::MeterPlatform& platform) {
    std::shared_ptr<Miernik> meter = Miernik::Create(nullptr, platform);
    const std::vector<MeterPort> ports = FindMeterPorts();
    EXPECT_EQ(ports.size(), 1u);
    if (!ports.empty()) meter->SelectPort(ports[0]);
    return meter;
  }

  std::unique_ptr<MeterSimulatorClient> simulator_;
};

TEST_F(Win32MiernikTest, ProductFactoryUsesTheWin32PlatformAndOpensTheFoundPort) {
  std::shared_ptr<Miernik> meter = Miernik::Create(nullptr);
  EXPECT_EQ(&meter->Platform(), &meter_link::Win32MeterPlatform());
  meter = MeterOnFoundPort(meter_link::Win32MeterPlatform());
  std::string text;
  ASSERT_TRUE(meter->OpenPort(&text)) << text;
  EXPECT_EQ(simulator_->Command("settings?"), "settings 9600 8 N 1 crtscts=0 ixon=0 ixoff=0");
  meter->Stop();
  EXPECT_FALSE(meter->IsPortOpen());
}

TEST_F(Win32MiernikTest, ReopeningClosesTheOldHandleBeforeTheNewOpen) {
  HandleWatchingPlatform platform;
  std::shared_ptr<Miernik> meter = MeterOnFoundPort(platform);
  ASSERT_TRUE(meter->OpenPort(nullptr));
  ASSERT_TRUE(meter->OpenPort(nullptr));
  ASSERT_TRUE(meter->OpenPort(nullptr));
  EXPECT_EQ(platform.previousStillOpen, (std::vector<bool>{false, false}));
  EXPECT_TRUE(meter->IsPortOpen());
}

TEST_F(Win32MiernikTest, PortThatDoesNotOpenGivesTheSystemTextAndTheQuestion) {
  std::shared_ptr<Miernik> meter = Miernik::Create(nullptr);
  meter->SelectPort({L"\\\\.\\COM250", L"COM250"});
  std::string text;
  EXPECT_FALSE(meter->OpenPort(&text));
  EXPECT_EQ(text.compare(0, 13, "Port COM250: "), 0) << text;
  // The system has a text for this code, and it keeps its full stop.
  EXPECT_TRUE(EndsWith(text, std::string(".") + kQuestion)) << text;
  EXPECT_EQ(text.find_first_of("\r\n"), std::string::npos);
  EXPECT_EQ(text.find("błąd"), std::string::npos);
}

TEST_F(Win32MiernikTest, UnpluggedCableMakesTheOpenFail) {
  std::shared_ptr<Miernik> meter = MeterOnFoundPort(meter_link::Win32MeterPlatform());
  ASSERT_EQ(simulator_->Command("unplug"), "ok");
  EXPECT_TRUE(FindMeterPorts().empty());
  std::string text;
  EXPECT_FALSE(meter->OpenPort(&text));
  EXPECT_TRUE(EndsWith(text, kQuestion)) << text;
  ASSERT_EQ(simulator_->Command("plug"), "ok");
  EXPECT_TRUE(meter->OpenPort(&text)) << text;
}

}  // namespace
