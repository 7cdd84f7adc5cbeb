// The meter simulator as a Windows program under Wine sees it: the COM port opens, a poll is
// answered with a frame, and the control channel reports polls and the line settings.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "runner/meter/meter_frame.h"
#include "runner/win32_unique_handle.h"
#include "tests/support/meter_simulator_client.h"

namespace {

using namespace meter_link;

TEST(MeterSimulatorUnderWine, AnswersAPollOnItsComPort) {
  std::string error;
  auto control = MeterSimulatorClient::FromEnvironment(&error);
  ASSERT_NE(control, nullptr) << error;
  const std::string com = MeterSimulatorClient::ComName();
  ASSERT_EQ(control->Command("com?"), "com " + com);
  ASSERT_EQ(control->Command("value 777 2 0"), "ok");

  const std::wstring path = L"\\\\.\\" + std::wstring(com.begin(), com.end());
  const UniqueFileHandle port(CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                          OPEN_EXISTING, 0, nullptr));
  ASSERT_TRUE(port) << GetLastError();
  DCB dcb{};
  dcb.DCBlength = sizeof dcb;
  ASSERT_TRUE(GetCommState(port.get(), &dcb));
  dcb.BaudRate = 9600;
  dcb.StopBits = TWOSTOPBITS;
  ASSERT_TRUE(SetCommState(port.get(), &dcb));
  COMMTIMEOUTS timeouts{50, 0, 200, 0, 500};
  SetCommTimeouts(port.get(), &timeouts);
  EXPECT_EQ(control->Command("settings?").substr(0, 19), "settings 9600 8 N 2");

  const uint8_t query = QueryByte;
  DWORD written = 0;
  ASSERT_TRUE(WriteFile(port.get(), &query, 1, &written, nullptr));
  uint8_t frame[64] = {};
  DWORD got = 0;
  for (int i = 0; i < 10 && got < kMeterFrameLength; ++i) {
    DWORD n = 0;
    ASSERT_TRUE(ReadFile(port.get(), frame + got, sizeof frame - got, &n, nullptr));
    got += n;
  }
  MeterReading reading;
  ASSERT_TRUE(DecodeFrame(frame, got, &reading));
  EXPECT_EQ(reading.raw, 777);
  EXPECT_EQ(reading.rangeLabel, "4000 lx");
  EXPECT_EQ(control->Number("polls?"), 1);
}

}  // namespace
