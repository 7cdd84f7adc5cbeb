// The Win32 serial line and platform, and the meter controller over them, under Wine against the
// meter simulator on COM12 (a port name of two digits): the line opens with the meter's settings
// and time-outs, polls are answered, a missing or unplugged port is refused with the user's text.
#include "runner/meter/win32_serial_line.h"

#include <windows.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <ctime>
#include <memory>
#include <string>
#include <thread>

#include "runner/meter/meter_frame.h"
#include "runner/meter/meter_ports.h"
#include "runner/meter/miernik.h"
#include "runner/meter/win32_meter_platform.h"
#include "tests/support/meter_simulator_client.h"

namespace {

using namespace meter_link;

using meter_link::OpenFailureStage;
using meter_link::SerialIo;
using meter_link::SerialLine;
using meter_link::Win32SerialLine;
using std::chrono::milliseconds;
using std::chrono::steady_clock;

const char kQuestion[] = " (czy nie jest zajęty przez inny program?)";

bool EndsWith(const std::string& text, const std::string& tail) {
  return text.size() >= tail.size() &&
         text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

class Win32SerialLineTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string error;
    simulator_ = MeterSimulatorClient::FromEnvironment(&error);
    ASSERT_NE(simulator_, nullptr) << error;
    ASSERT_EQ(simulator_->Command("reset"), "ok");
    const std::string com = MeterSimulatorClient::ComName();
    path_ = L"\\\\.\\" + std::wstring(com.begin(), com.end());
  }

  std::unique_ptr<SerialLine> Open(OpenFailureStage* stage = nullptr, uint32_t* code = nullptr) {
    OpenFailureStage ignoredStage = OpenFailureStage::kOpen;
    uint32_t ignoredCode = 0;
    return meter_link::OpenWin32SerialLine(path_, stage ? stage : &ignoredStage,
                                           code ? code : &ignoredCode);
  }

  static HANDLE HandleOf(const std::unique_ptr<SerialLine>& line) {
    return static_cast<Win32SerialLine&>(*line).Handle();
  }

  std::unique_ptr<MeterSimulatorClient> simulator_;
  std::wstring path_;
};

TEST_F(Win32SerialLineTest, OpensAt9600EightNoneOneWithTheMeterTimeouts) {
  OpenFailureStage stage = OpenFailureStage::kConfigure;
  uint32_t code = 99;
  std::unique_ptr<SerialLine> line = Open(&stage, &code);
  ASSERT_NE(line, nullptr) << code;
  EXPECT_EQ(simulator_->Command("settings?"), "settings 9600 8 N 1 crtscts=0 ixon=0 ixoff=0");

  DCB dcb{};
  dcb.DCBlength = sizeof dcb;
  ASSERT_TRUE(GetCommState(HandleOf(line), &dcb));
  EXPECT_EQ(dcb.BaudRate, 9600u);
  EXPECT_EQ(dcb.ByteSize, 8);
  EXPECT_EQ(dcb.Parity, NOPARITY);
  EXPECT_EQ(dcb.StopBits, ONESTOPBIT);
  EXPECT_FALSE(dcb.fOutxCtsFlow);
  EXPECT_FALSE(dcb.fOutX);
  EXPECT_FALSE(dcb.fInX);
  // EscapeCommFunction fails on a pseudo-terminal; the lines are raised through the DCB.
  EXPECT_EQ(dcb.fDtrControl, static_cast<DWORD>(DTR_CONTROL_ENABLE));
  EXPECT_EQ(dcb.fRtsControl, static_cast<DWORD>(RTS_CONTROL_ENABLE));

  COMMTIMEOUTS timeouts{};
  ASSERT_TRUE(GetCommTimeouts(HandleOf(line), &timeouts));
  EXPECT_EQ(timeouts.ReadIntervalTimeout, 50u);
  EXPECT_EQ(timeouts.ReadTotalTimeoutMultiplier, 0u);
  EXPECT_EQ(timeouts.ReadTotalTimeoutConstant, 200u);
  EXPECT_EQ(timeouts.WriteTotalTimeoutMultiplier, 0u);
  EXPECT_EQ(timeouts.WriteTotalTimeoutConstant, 500u);
}

TEST_F(Win32SerialLineTest, ClosingTheLineClosesItsHandle) {
  std::unique_ptr<SerialLine> line = Open();
  ASSERT_NE(line, nullptr);
  const HANDLE handle = HandleOf(line);
  DWORD flags = 0;
  EXPECT_TRUE(GetHandleInformation(handle, &flags));
  line.reset();
  EXPECT_FALSE(GetHandleInformation(handle, &flags));
}

TEST_F(Win32SerialLineTest, SilentMeterReadEndsEmptyAfterTheReadTimeout) {
  ASSERT_EQ(simulator_->Command("mode silent"), "ok");
  std::unique_ptr<SerialLine> line = Open();
  ASSERT_NE(line, nullptr);
  const uint8_t query = QueryByte;
  const SerialIo written = line->Write(&query, 1);
  EXPECT_TRUE(written.ok && written.count == 1u);
  uint8_t buffer[256];
  const auto start = steady_clock::now();
  const SerialIo read = line->Read(buffer, sizeof buffer);
  const auto took = std::chrono::duration_cast<milliseconds>(steady_clock::now() - start);
  EXPECT_TRUE(read.ok);
  EXPECT_EQ(read.count, 0u);
  EXPECT_GE(took.count(), 100);
  EXPECT_LT(took.count(), 3000);
  EXPECT_TRUE(WaitUntil([&] { return simulator_->Number("polls?") == 1; }, milliseconds(3000)));
}

TEST_F(Win32SerialLineTest, AnsweredPollReadsBackAsOneFrame) {
  ASSERT_EQ(simulator_->Command("value 2468 2 1"), "ok");
  std::unique_ptr<SerialLine> line = Open();
  ASSERT_NE(line, nullptr);
  const uint8_t query = QueryByte;
  ASSERT_TRUE(line->Write(&query, 1).ok);
  uint8_t frame[256] = {};
  uint32_t got = 0;
  for (int i = 0; i < 10 && got < kMeterFrameLength; ++i) {
    const SerialIo read = line->Read(frame + got, sizeof frame - got);
    ASSERT_TRUE(read.ok);
    got += read.count;
  }
  MeterReading reading;
  ASSERT_TRUE(DecodeFrame(frame, got, &reading));
  EXPECT_EQ(reading.raw, 2468);
  EXPECT_EQ(reading.rangeLabel, "4000 lx");
  EXPECT_TRUE(reading.overload);
}

// Wine does not enforce the exclusive share mode on COM ports (a second open of a held port
// succeeds there), so a refused open is shown with a port that does not exist.
TEST_F(Win32SerialLineTest, ProductMeterOpensTheFoundPortUntilTheCableIsPulled) {
  std::shared_ptr<meter_link::Miernik> meter = meter_link::Miernik::Create(nullptr);
  EXPECT_EQ(&meter->Platform(), &meter_link::Win32MeterPlatform());
  const std::vector<MeterPort> ports = FindMeterPorts();
  ASSERT_EQ(ports.size(), 1u);
  EXPECT_EQ(ports[0].path, L"\\\\.\\COM12");
  meter->SelectPort(ports[0]);
  std::string text;
  ASSERT_TRUE(meter->OpenPort(&text)) << text;
  meter->Stop();
  EXPECT_FALSE(meter->IsPortOpen());

  ASSERT_EQ(simulator_->Command("unplug"), "ok");
  EXPECT_TRUE(FindMeterPorts().empty());
  EXPECT_FALSE(meter->OpenPort(&text));
  EXPECT_TRUE(EndsWith(text, kQuestion)) << text;
  ASSERT_EQ(simulator_->Command("plug"), "ok");
  EXPECT_TRUE(meter->OpenPort(&text)) << text;
}

TEST(Win32Miernik, PortThatDoesNotOpenGivesTheSystemTextAndTheQuestion) {
  std::shared_ptr<meter_link::Miernik> meter = meter_link::Miernik::Create(nullptr);
  meter->SelectPort({L"\\\\.\\COM250", L"COM250"});
  std::string text;
  EXPECT_FALSE(meter->OpenPort(&text));
  EXPECT_EQ(text.compare(0, 13, "Port COM250: "), 0) << text;
  // The system has a text for this code, and it keeps its full stop.
  EXPECT_TRUE(EndsWith(text, std::string(".") + kQuestion)) << text;
  EXPECT_EQ(text.find_first_of("\r\n"), std::string::npos);
  EXPECT_EQ(text.find("błąd"), std::string::npos);
}

TEST(Win32SerialLine, MissingPortIsRefusedAtTheOpenStage) {
  OpenFailureStage stage = OpenFailureStage::kConfigure;
  uint32_t code = 0;
  EXPECT_EQ(meter_link::OpenWin32SerialLine(L"\\\\.\\COM250", &stage, &code), nullptr);
  EXPECT_EQ(stage, OpenFailureStage::kOpen);
  EXPECT_NE(code, 0u);
}

// The members that the opened port above does not show; the rest stay as GetCommState left them.
TEST(Win32SerialLine, LineSettingsChangeTheListedMembersAndKeepTheRest) {
  DCB dcb;
  std::memset(&dcb, 0xFF, sizeof dcb);
  meter_link::ApplyMeterLineSettings(&dcb);
  EXPECT_EQ(dcb.BaudRate, 9600u);
  EXPECT_EQ(dcb.fBinary, 1u);
  EXPECT_EQ(dcb.fParity, 0u);
  EXPECT_EQ(dcb.fOutxDsrFlow, 0u);
  EXPECT_EQ(dcb.fDsrSensitivity, 0u);
  EXPECT_EQ(dcb.fAbortOnError, 0u);
  EXPECT_EQ(dcb.DCBlength, 0xFFFFFFFFu);
  EXPECT_EQ(dcb.fNull, 1u);
  EXPECT_EQ(dcb.XonLim, 0xFFFF);
  EXPECT_EQ(static_cast<unsigned char>(dcb.EvtChar), 0xFF);
}

TEST(Win32MeterPlatform, ClocksAgreeWithTheSystem) {
  meter_link::MeterPlatform& platform = meter_link::Win32MeterPlatform();
  const int64_t wall = platform.WallClockMilliseconds();
  const int64_t unixMs = static_cast<int64_t>(std::time(nullptr)) * 1000;
  EXPECT_LT(wall > unixMs ? wall - unixMs : unixMs - wall, 5000);
  const uint32_t tick = platform.TickCount();
  const int64_t mono = platform.MonotonicNanoseconds();
  platform.SleepMilliseconds(100);
  EXPECT_GE(platform.TickCount() - tick, 50u);
  EXPECT_GE(platform.MonotonicNanoseconds() - mono, 50 * 1000 * 1000);
}

}  // namespace
