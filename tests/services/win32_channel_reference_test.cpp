// The channel reference page (docs/channels.md) as a test: every exchange on it is played
// against the host in-process (the real bridge and device channel, the stand-in engine as the
// interface, the simulator as the meter), and what the host answers, sends and writes to standard
// error must be what the page shows, byte for byte and line for line. The page's reader and its
// own tests are beside it (channel_page.h).
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <regex>
#include <string>
#include <vector>

#include "channels/engine_project.h"
#include "channels/flutter_engine.h"
#include "runner/device/win32_device_channel.h"
#include "runner/meter/event_stream_channel.h"
#include "runner/meter/win32_meter_bridge.h"
#include "runner/win32_unique_handle.h"
#include "tests/channels/channel_test_support.h"
#include "tests/meter/win32_message_window.h"
#include "tests/services/channel_page.h"
#include "tests/support/meter_simulator_client.h"
#include "tests/support/win32_device_nodes.h"
#include "tests/support/win32_own_machine_key.h"
#include "tools/stand_in_engine/stand_in_api.h"

namespace meter_link {
namespace {

using channel_page::Line;
using Words = std::vector<std::string>;
using test_support::OwnMachineKey;

size_t EventCount() { return StandInHostMessageCount(kEventChannelName); }

Line Event(size_t index) {
  return channel_page::HostMessage(Line::Kind::kEvent, kEventChannelName,
                                   StandInHostMessage(kEventChannelName, index));
}

std::wstring Wide(const std::string& ascii) { return std::wstring(ascii.begin(), ascii.end()); }

// "machine: CP2102 cables with the port names "COM19", """: device nodes in that order, in the
// test's own HKEY_LOCAL_MACHINE (volatile, as it is).
void AddCables(const std::string& names) {
  static const std::regex kName("\"([^\"]*)\"");
  int instance = 0;
  for (std::sregex_iterator name(names.begin(), names.end(), kName), end; name != end; ++name) {
    const std::wstring key = kCableKey + L"\\" + std::to_wstring(++instance);
    HKEY created = nullptr;
    ASSERT_EQ(
        RegCreateKeyExW(HKEY_LOCAL_MACHINE, (key + L"\\Device Parameters").c_str(), 0, nullptr,
                        REG_OPTION_VOLATILE, KEY_ALL_ACCESS, nullptr, &created, nullptr),
        ERROR_SUCCESS);
    const UniqueRegistryKey parameters(created);
    AddDevice(key, kCableId, Wide((*name)[1]).c_str());
  }
}

// "machine: MachineGuid is TEXT" (stored with its NUL, as Windows stores it), or
// "machine: MachineGuid is "a" × 127 without a NUL: 254 bytes".
void StoreGuid(const std::string& step) {
  // "\xc3\x97": the multiplication sign in UTF-8, as the page has it.
  static const std::regex kRepeated(std::string("machine: MachineGuid is \"([^\"]*)\" ") +
                                    "\xc3\x97" + " ([0-9]+) (with|without) a NUL: ([0-9]+) bytes");
  std::smatch repeated;
  std::wstring text = Wide(step.substr(std::strlen("machine: MachineGuid is ")));
  size_t bytes = (text.size() + 1) * sizeof(wchar_t);
  if (std::regex_match(step, repeated, kRepeated)) {
    text.clear();
    for (int i = std::stoi(repeated[2]); i > 0; --i) text += Wide(repeated[1]);
    bytes = (text.size() + (repeated[3] == "with" ? 1 : 0)) * sizeof(wchar_t);
    EXPECT_EQ(std::to_string(bytes), repeated[4].str()) << step;
  }
  // A NUL right after data without one would be stored with it, as Windows does: none follows.
  if (bytes == text.size() * sizeof(wchar_t)) text += L'~';
  OwnMachineKey::StoreGuid(REG_SZ, text.c_str(), static_cast<DWORD>(bytes));
}

void RunStep(const std::string& step, MeterSimulatorClient& meter,
             std::unique_ptr<OwnMachineKey>& machine) {
  static const std::map<std::string, Words> kMeterCommands = {
      {"meter: plugged in", {"reset"}},
      {"meter: plugged in, 1234 counts on its 400 lx range", {"reset", "value 1234 1 0"}},
      {"meter: it now shows 123 counts on range code 12, with the overload bit",
       {"value 123 12 1"}},
      {"meter: plugged in, silent", {"reset", "mode silent"}},
      {"meter: none plugged in", {"reset", "unplug"}},
      {"meter: the cable is pulled", {"unplug"}},
  };
  const std::string cables = "machine: CP2102 cables with the port names ";
  if (step.rfind("machine: ", 0) == 0 && !machine) machine = std::make_unique<OwnMachineKey>();
  if (const auto found = kMeterCommands.find(step); found != kMeterCommands.end()) {
    for (const std::string& command : found->second) EXPECT_EQ(meter.Command(command), "ok");
  } else if (step.rfind(cables, 0) == 0) {
    AddCables(step.substr(cables.size()));
  } else if (step.rfind("machine: MachineGuid is ", 0) == 0) {
    StoreGuid(step);
  } else if (step == "machine: no MachineGuid") {
    OwnMachineKey::StoreGuid(REG_NONE, nullptr, 0);
  } else if (step == "machine: no Cryptography key") {
    EXPECT_EQ(RegDeleteKeyW(HKEY_LOCAL_MACHINE, test_support::kCryptographyKey), ERROR_SUCCESS);
  } else if (step == "host: the window closes") {
    UnregisterMeterBridge();
  } else {
    ADD_FAILURE() << "a step the test does not know: " << step;
  }
}

// Sends the page's messages, in order, and records everything that comes back, in order: each
// answer after the lines the host wrote to standard error while it handled the message, and
// after the events sent before it.
std::vector<Line> Play(const channel_page::Exchange& page, MeterSimulatorClient& meter) {
  std::vector<Line> host;
  std::unique_ptr<OwnMachineKey> machine;
  channel_test::StderrCapture stderrLines;
  size_t taken = 0, scanned = 0;
  const auto takeEvents = [&](size_t count) {
    for (; taken < count; ++taken) host.push_back(Event(taken));
  };
  const auto takeStderr = [&] {
    for (const std::string& text : stderrLines.Take())
      host.push_back(channel_page::HostStderr(text));
  };
  for (const Line& line : page.lines) {
    if (line.kind == Line::Kind::kStep) RunStep(line.text, meter, machine);
    if (line.kind == Line::Kind::kEvent) {  // waits until one like it comes
      DispatchEachUntil([&] {
        for (; scanned < EventCount(); ++scanned) {
          if (channel_page::Same(line, Event(scanned))) {
            ++scanned;
            return true;
          }
        }
        return false;
      });
    }
    if (line.kind != Line::Kind::kSend) continue;
    takeEvents(EventCount());
    takeStderr();
    host.push_back(line);
    const uint64_t id = StandInSend(line.channel, channel_page::SentBytes(line));
    size_t eventsThen = 0;
    EXPECT_TRUE(DispatchEachUntil([&] {
      eventsThen = EventCount();
      return StandInMessageState(id) >= kStandInAnswered;
    })) << "line "
        << line.number;
    takeStderr();
    takeEvents(eventsThen);
    host.push_back(channel_page::HostMessage(Line::Kind::kAnswer, "answer", StandInReply(id)));
  }
  StandInPump(300);  // what comes after the last line belongs to the exchange too
  takeEvents(EventCount());
  takeStderr();
  return host;
}

std::filesystem::path PagePath() {
  wchar_t path[2048] = {};
  const DWORD length = GetEnvironmentVariableW(L"LUMERO_CHANNELS_PAGE", path, 2048);
  return length > 0 && length < 2048 ? std::filesystem::path(path) : std::filesystem::path();
}

TEST(ChannelReference, EveryExchangeOnThePageIsWhatTheHostDoes) {
  std::ifstream text(PagePath());
  ASSERT_TRUE(text) << "cannot read LUMERO_CHANNELS_PAGE: \"" << PagePath().u8string() << "\"";
  const channel_page::Page page = channel_page::ReadPage(text);
  ASSERT_EQ(page.error, "") << "docs/channels.md";

  std::string error;
  const std::unique_ptr<MeterSimulatorClient> meter = MeterSimulatorClient::FromEnvironment(&error);
  ASSERT_TRUE(meter) << error;
  const EngineProject project(L"data");
  flutter::FlutterEngine engine(project);
  MessageWindow window;
  for (const channel_page::Exchange& exchange : page.exchanges) {
    StandInReset();
    ASSERT_EQ(meter->Command("reset"), "ok");
    RegisterMeterBridge(&engine, window.Handle());
    RegisterDeviceChannel(&engine);
    const std::vector<Line> host = Play(exchange, *meter);
    UnregisterMeterBridge();
    const std::string disagreement = channel_page::Disagreement(exchange.lines, host);
    std::string transcript;
    for (const Line& line : host) transcript += channel_page::Render(line);
    if (!disagreement.empty())
      ADD_FAILURE() << "docs/channels.md, the exchange at line " << exchange.number << ", "
                    << disagreement << "All the host did:\n"
                    << transcript;
    EXPECT_EQ(StandInContractErrors(), Words{});
  }
}

}  // namespace
}  // namespace meter_link
