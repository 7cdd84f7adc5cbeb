// The Win32 serial line under Wine against the meter simulator on COM12 (a port name of two
// digits): it opens with the meter's settings and time-outs and polls are answered; a missing
// port is refused, and the product meter shows the system's text with the user's question.
#include "runner/meter/win32_serial_line.h"

#include <windows.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <memory>
#include <string>
#include <tuple>

#include "runner/meter/meter_frame.h"
#include "runner/meter/meter_ports.h"
#include "runner/meter/miernik.h"
#include "tests/support/meter_simulator_client.h"

namespace meter_link {
namespace {

class Win32SerialLineTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string error;
    simulator = MeterSimulatorClient::FromEnvironment(&error);
    ASSERT_NE(simulator, nullptr) << error;
    ASSERT_EQ(simulator->Command("reset"), "ok");
    const std::string com = MeterSimulatorClient::ComName();
    OpenFailureStage stage = OpenFailureStage::kOpen;
    uint32_t code = 0;
    line = OpenWin32SerialLine(L"\\\\.\\" + std::wstring(com.begin(), com.end()), &stage, &code);
    ASSERT_NE(line, nullptr) << code;
  }

  // Writes the query byte, then reads until `wanted` bytes came or `reads` reads were made.
  std::string Poll(size_t wanted, int reads) {
    const uint8_t query = QueryByte;
    const SerialIo written = line->Write(&query, 1);
    EXPECT_TRUE(written.ok && written.count == 1u);
    std::string bytes;
    for (int i = 0; i < reads && bytes.size() < wanted; ++i) {
      uint8_t buffer[256];
      const SerialIo read = line->Read(buffer, sizeof buffer);
      EXPECT_TRUE(read.ok);
      bytes.append(buffer, buffer + read.count);
    }
    return bytes;
  }

  std::unique_ptr<MeterSimulatorClient> simulator;
  std::unique_ptr<SerialLine> line;
};

// 9600 8N1 without flow control as the other end sees it, and the time-outs read back.
TEST_F(Win32SerialLineTest, OpensWithTheMeterLineSettingsAndTimeouts) {
  EXPECT_EQ(simulator->Command("settings?"), "settings 9600 8 N 1 crtscts=0 ixon=0 ixoff=0");
  const HANDLE handle = static_cast<Win32SerialLine&>(*line).Handle();
  COMMTIMEOUTS t{};
  ASSERT_TRUE(GetCommTimeouts(handle, &t));
  EXPECT_EQ(std::make_tuple(t.ReadIntervalTimeout, t.ReadTotalTimeoutMultiplier,
                            t.ReadTotalTimeoutConstant, t.WriteTotalTimeoutMultiplier,
                            t.WriteTotalTimeoutConstant),
            std::make_tuple(50u, 0u, 200u, 0u, 500u));
  line.reset();
  DWORD flags = 0;
  EXPECT_FALSE(GetHandleInformation(handle, &flags)) << "the line closes its handle";
}

// What a pseudo-terminal cannot show (Wine reports DTR and RTS raised whatever was set): the
// control lines raised, no DSR flow or sensitivity, no abort on error, binary without parity.
TEST(Win32SerialLine, LineSettingsRaiseDtrAndRtsWithoutHandshakes) {
  DCB dcb;
  std::memset(&dcb, 0xFF, sizeof dcb);
  ApplyMeterLineSettings(&dcb);
  EXPECT_EQ(std::make_tuple(DWORD{dcb.fDtrControl}, DWORD{dcb.fRtsControl}, DWORD{dcb.fOutxDsrFlow},
                            DWORD{dcb.fDsrSensitivity}, DWORD{dcb.fAbortOnError},
                            DWORD{dcb.fBinary}, DWORD{dcb.fParity}),
            std::make_tuple(DWORD{DTR_CONTROL_ENABLE}, DWORD{RTS_CONTROL_ENABLE}, 0ul, 0ul, 0ul,
                            1ul, 0ul));
}

TEST_F(Win32SerialLineTest, AnsweredPollReadsBackOneFrameAndASilentOneNothing) {
  ASSERT_EQ(simulator->Command("value 2468 2 1"), "ok");
  const std::string frame = Poll(kMeterFrameLength, 10);
  MeterReading reading;
  ASSERT_TRUE(DecodeFrame(reinterpret_cast<const uint8_t*>(frame.data()), frame.size(), &reading));
  EXPECT_EQ(std::make_tuple(reading.raw, reading.rangeLabel, reading.overload),
            std::make_tuple(2468, std::string("4000 lx"), true));

  ASSERT_EQ(simulator->Command("mode silent"), "ok");
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(Poll(1, 1), "");
  const auto took = std::chrono::steady_clock::now() - start;
  EXPECT_GE(took, std::chrono::milliseconds(100)) << "a read waits for its total time-out";
  EXPECT_LT(took, std::chrono::seconds(3));
}

// Wine does not enforce the exclusive share mode on COM ports (a second open of a held port
// succeeds there), so a refused open is shown with a port that does not exist.
TEST(Win32SerialLine, MissingPortIsRefusedAtTheOpenStageWithTheSystemText) {
  OpenFailureStage stage = OpenFailureStage::kConfigure;
  uint32_t code = 0;
  EXPECT_EQ(OpenWin32SerialLine(L"\\\\.\\COM250", &stage, &code), nullptr);
  EXPECT_EQ(stage, OpenFailureStage::kOpen);
  EXPECT_NE(code, 0u);

  std::shared_ptr<Miernik> meter = Miernik::Create(nullptr);
  meter->SelectPort({L"\\\\.\\COM250", L"COM250"});
  std::string text;
  EXPECT_FALSE(meter->OpenPort(&text));
  // The system has a text for this code: it keeps its full stop and loses its line break.
  EXPECT_THAT(text,
              ::testing::AllOf(::testing::StartsWith("Port COM250: "),
                               ::testing::EndsWith(". (czy nie jest zajęty przez inny program?)")));
  EXPECT_EQ(text.find_first_of("\r\n"), std::string::npos);
  EXPECT_EQ(SystemErrorText(12345), L"b\u0142\u0105d 12345") << "no system text: the number";
}

}  // namespace
}  // namespace meter_link
