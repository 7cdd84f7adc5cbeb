// The meter link under Wine against the meter simulator on COM12 (a port name of two digits):
// the real serial line's settings and time-outs, a reading end to end through the acquisition
// thread and a real window, and the pulled cable. Deadlines are generous.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <tuple>

#include "runner/meter/miernik.h"
#include "runner/meter/win32_meter_platform.h"
#include "runner/meter/win32_serial_line.h"
#include "runner/meter/win32_ui_wake_up.h"
#include "runner/wide_to_utf8.h"
#include "tests/meter/support/recording_sink.h"
#include "tests/meter/win32_message_window.h"
#include "tests/support/meter_simulator_client.h"

namespace meter_link {
namespace {

TEST(Win32MeterLink, LineSettingsAReadingAndThePulledCable) {
  std::string error;
  const auto simulator = MeterSimulatorClient::FromEnvironmentReset(&error);
  ASSERT_NE(simulator, nullptr) << error;
  ASSERT_EQ(simulator->Command("value 2345 2 1"), "ok");
  {  // 9600 8N1 without flow control as the other end sees it, and the time-outs read back
    const char* com = std::getenv("LUMERO_METER_SIMULATOR_COM");
    ASSERT_NE(com, nullptr);
    OpenFailureStage stage = OpenFailureStage::kOpen;
    uint32_t code = 0;
    const auto line =
        OpenWin32SerialLine(L"\\\\.\\" + std::wstring(com, com + std::strlen(com)), &stage, &code);
    ASSERT_NE(line, nullptr) << code;
    EXPECT_EQ(simulator->Command("settings?"), "settings 9600 8 N 1 crtscts=0 ixon=0 ixoff=0");
    COMMTIMEOUTS t{};
    ASSERT_TRUE(GetCommTimeouts(static_cast<Win32SerialLine&>(*line).Handle(), &t));
    EXPECT_EQ(std::make_tuple(t.ReadIntervalTimeout, t.ReadTotalTimeoutMultiplier,
                              t.ReadTotalTimeoutConstant, t.WriteTotalTimeoutMultiplier,
                              t.WriteTotalTimeoutConstant),
              std::make_tuple(50u, 0u, 200u, 0u, 500u));
  }
  MessageWindow window;
  ASSERT_NE(window.Handle(), nullptr);
  SetUiTaskWindow(window.Handle(), Win32UiWakeUp());
  const auto events = std::make_shared<RecordedEvents>();
  const auto meter = Miernik::Create(nullptr, Win32MeterPlatform());
  meter->ReplaceSink(std::make_unique<RecordingSink>(events));
  ASSERT_TRUE(meter->Start());
  ASSERT_TRUE(PumpMessagesUntil([&] { return !events->OfKind("pomiar").empty(); }, 15000));
  const auto reading = events->OfKind("pomiar").front();
  EXPECT_EQ(std::make_tuple(Field<int32_t>(reading, "raw"), Field<std::string>(reading, "zakres"),
                            Field<double>(reading, "lux"), Field<bool>(reading, "ol")),
            std::make_tuple(2345, std::string("4000 lx"), 2345.0, true));

  // Under Wine a closed pty is not reported by ReadFile; the next WriteFile fails with 21.
  ASSERT_EQ(simulator->Command("unplug"), "ok");
  EXPECT_TRUE(PumpMessagesUntil([&] { return !meter->IsRunning(); }, 15000));
  EXPECT_TRUE(PumpMessagesUntil([&] { return events->Kinds().back() == "stan"; }, 5000));
  const auto errors = events->OfKind("blad");
  ASSERT_EQ(errors.size(), 1u);
  EXPECT_EQ(Field<std::string>(errors[0], "tekst"),
            WideToUtf8(Win32MeterPlatform().SystemErrorText(21)));
  EXPECT_FALSE(meter->IsPortOpen());
  meter->Stop();
  ClearUiTaskWindow();
  simulator->Command("plug");
}

}  // namespace
}  // namespace meter_link
