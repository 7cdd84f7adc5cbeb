// The channel reference page (docs/channels.md) as a test: every exchange on it is played
// against the host in-process (the real bridge and device channel, the stand-in engine as the
// interface, the simulator as the meter), and what the host answers and sends must be what the
// page shows, byte for byte and value for value.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <memory>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "channels/engine_project.h"
#include "channels/flutter_engine.h"
#include "runner/device/win32_device_channel.h"
#include "runner/meter/event_stream_channel.h"
#include "runner/meter/win32_meter_bridge.h"
#include "runner/win32_unique_handle.h"
#include "tests/meter/win32_message_window.h"
#include "tests/support/meter_simulator_client.h"
#include "tests/support/win32_own_machine_key.h"
#include "tools/stand_in_engine/stand_in_api.h"
#include "tools/stand_in_engine/wire_text.h"

namespace meter_link {
namespace {

using Bytes = std::vector<uint8_t>;
using Words = std::vector<std::string>;
using test_support::OwnMachineKey;

constexpr char kSendArrow[] = "→ ";
constexpr char kHostArrow[] = "← ";
constexpr char kAnswer[] = "answer";

// One line of an exchange: a message with its summary and bytes ("xx": any byte), a step outside
// the channels ("meter: ..."), or "..." (more events like the one before).
struct Line {
  enum class Kind { kStep, kSend, kAnswer, kEvent, kMore } kind = Kind::kStep;
  std::string channel, text;
  Words bytes;
  bool bytesShown = false;
  int number = 0;
};
// A fenced block marked "exchange" and the page's line where it starts.
struct Exchange {
  int number = 0;
  std::vector<Line> lines;
};

Line MessageLine(Line::Kind kind, const std::string& line, int number) {
  std::istringstream words(
      line.substr(kind == Line::Kind::kSend ? sizeof kSendArrow - 1 : sizeof kHostArrow - 1));
  Line message{kind, "", "", {}, false, number};
  words >> message.channel >> std::ws;
  std::getline(words, message.text);
  if (kind == Line::Kind::kEvent && message.channel == kAnswer) message.kind = Line::Kind::kAnswer;
  return message;
}

std::vector<Exchange> ReadExchanges(std::istream& page) {
  std::vector<Exchange> exchanges;
  bool inside = false;
  int number = 0;
  for (std::string line; std::getline(page, line);) {
    ++number;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    std::vector<Line>* lines = inside ? &exchanges.back().lines : nullptr;
    if (!inside) {
      inside = line == "```exchange";
      if (inside) exchanges.push_back({number, {}});
    } else if (line == "```") {
      inside = false;
    } else if (line.rfind("  ", 0) == 0 && !lines->empty()) {
      std::istringstream words(line);
      for (std::string word; words >> word;) lines->back().bytes.push_back(word);
      lines->back().bytesShown = true;
    } else if (line.rfind(kSendArrow, 0) == 0) {
      lines->push_back(MessageLine(Line::Kind::kSend, line, number));
    } else if (line.rfind(kHostArrow, 0) == 0) {
      lines->push_back(MessageLine(Line::Kind::kEvent, line, number));
    } else if (line == "...") {
      lines->push_back({Line::Kind::kMore, "", "", {}, false, number});
    } else if (!line.empty() && line[0] != '#') {
      lines->push_back({Line::Kind::kStep, "", line, {}, false, number});
    }
  }
  return exchanges;
}

Line HostLine(Line::Kind kind, const std::string& channel, const Bytes& bytes) {
  Line line{kind, channel, "", {}, true, 0};
  line.text = stand_in::SummarizeMessage(bytes.data(), bytes.size(), kind == Line::Kind::kSend);
  for (const uint8_t byte : bytes) line.bytes.push_back(stand_in::HexBytes(&byte, 1));
  return line;
}

// The page's summary, "xx" standing for one number or string.
bool TextMatches(const std::string& page, const std::string& host) {
  std::string pattern;
  for (size_t i = 0; i < page.size(); ++i) {
    if (page.compare(i, 2, "xx") == 0) {
      pattern += R"((-?[0-9.]+L?|"([^"\\]|\\.)*"))";
      ++i;
    } else {
      if (std::strchr("\\^$.|?*+()[]{}", page[i]) != nullptr) pattern += '\\';
      pattern += page[i];
    }
  }
  return std::regex_match(host, std::regex(pattern));
}

bool Same(const Line& page, const Line& host) {
  if (page.kind != host.kind || page.channel != host.channel || !TextMatches(page.text, host.text))
    return false;
  if (!page.bytesShown) return true;
  if (page.bytes.size() != host.bytes.size()) return false;
  for (size_t i = 0; i < page.bytes.size(); ++i)
    if (page.bytes[i] != "xx" && page.bytes[i] != host.bytes[i]) return false;
  return true;
}

std::string Render(const Line& line) {
  std::string text =
      (line.kind == Line::Kind::kSend ? kSendArrow : kHostArrow) + line.channel + "  " + line.text;
  for (size_t i = 0; i < line.bytes.size(); ++i)
    text += (i % 16 == 0 ? "\n  " : " ") + line.bytes[i];
  return text + "\n";
}

// Empty when the host did what the page shows, else where they first part.
std::string Disagreement(const std::vector<Line>& page, const std::vector<Line>& host) {
  size_t next = 0;
  const Line* previous = nullptr;
  for (const Line& line : page) {
    if (line.kind == Line::Kind::kMore) {
      while (previous != nullptr && next < host.size() && Same(*previous, host[next])) ++next;
    } else if (line.kind != Line::Kind::kStep) {
      if (next == host.size()) return "line " + std::to_string(line.number) + ": nothing came";
      if (!Same(line, host[next]))
        return "line " + std::to_string(line.number) + ": the host did\n" + Render(host[next]);
      previous = &line;
      ++next;
    }
  }
  return next == host.size() ? "" : "after the last line the host did\n" + Render(host[next]);
}

size_t EventCount() { return StandInHostMessageCount(kEventChannelName); }

Line Event(size_t index) {
  return HostLine(Line::Kind::kEvent, kEventChannelName,
                  StandInHostMessage(kEventChannelName, index));
}

void RunStep(const std::string& step, MeterSimulatorClient& meter,
             std::unique_ptr<OwnMachineKey>& machine) {
  static const std::map<std::string, Words> kMeterCommands = {
      {"meter: plugged in", {"reset"}},
      {"meter: plugged in, 1234 counts on its 400 lx range", {"reset", "value 1234 1 0"}},
      {"meter: plugged in, silent", {"reset", "mode silent"}},
      {"meter: none plugged in", {"reset", "unplug"}},
      {"meter: the cable is pulled", {"unplug"}},
  };
  const std::string storeGuid = "machine: MachineGuid is ";
  if (step.rfind("machine: ", 0) == 0 && !machine) machine = std::make_unique<OwnMachineKey>();
  if (const auto found = kMeterCommands.find(step); found != kMeterCommands.end()) {
    for (const std::string& command : found->second) EXPECT_EQ(meter.Command(command), "ok");
  } else if (step.rfind(storeGuid, 0) == 0) {
    const std::wstring guid(step.begin() + storeGuid.size(), step.end());  // ASCII
    OwnMachineKey::StoreGuid(REG_SZ, guid.c_str(),
                             static_cast<DWORD>((guid.size() + 1) * sizeof(wchar_t)));
  } else if (step == "machine: no MachineGuid") {
    OwnMachineKey::StoreGuid(REG_NONE, nullptr, 0);
  } else if (step == "host: the window closes") {
    UnregisterMeterBridge();
  } else {
    ADD_FAILURE() << "a step the test does not know: " << step;
  }
}

// Sends the page's messages, in order, and records everything that comes back, in order: each
// answer after the events sent before it.
std::vector<Line> Play(const Exchange& page, MeterSimulatorClient& meter) {
  std::vector<Line> host;
  std::unique_ptr<OwnMachineKey> machine;
  size_t taken = 0, scanned = 0;
  const auto takeEvents = [&](size_t count) {
    for (; taken < count; ++taken) host.push_back(Event(taken));
  };
  for (const Line& line : page.lines) {
    if (line.kind == Line::Kind::kStep) RunStep(line.text, meter, machine);
    if (line.kind == Line::Kind::kEvent) {  // waits until one like it comes
      DispatchEachUntil([&] {
        for (; scanned < EventCount(); ++scanned) {
          if (Same(line, Event(scanned))) {
            ++scanned;
            return true;
          }
        }
        return false;
      });
    }
    if (line.kind != Line::Kind::kSend) continue;
    Bytes bytes;
    for (const std::string& word : line.bytes) {
      EXPECT_TRUE(std::regex_match(word, std::regex("[0-9a-f]{2}"))) << "line " << line.number;
      bytes.push_back(static_cast<uint8_t>(std::strtoul(word.c_str(), nullptr, 16)));
    }
    takeEvents(EventCount());
    host.push_back(HostLine(Line::Kind::kSend, line.channel, bytes));
    const uint64_t id = StandInSend(line.channel, bytes);
    size_t eventsThen = 0;
    EXPECT_TRUE(DispatchEachUntil([&] {
      eventsThen = EventCount();
      return StandInMessageState(id) >= kStandInAnswered;
    })) << "line "
        << line.number;
    takeEvents(eventsThen);
    host.push_back(HostLine(Line::Kind::kAnswer, kAnswer, StandInReply(id)));
  }
  StandInPump(300);  // what comes after the last line belongs to the exchange too
  takeEvents(EventCount());
  return host;
}

std::filesystem::path PagePath() {
  wchar_t path[2048] = {};
  const DWORD length = GetEnvironmentVariableW(L"LUMERO_CHANNELS_PAGE", path, 2048);
  return length > 0 && length < 2048 ? std::filesystem::path(path) : std::filesystem::path();
}

TEST(ChannelReference, EveryExchangeOnThePageIsWhatTheHostDoes) {
  std::ifstream page(PagePath());
  ASSERT_TRUE(page) << "cannot read LUMERO_CHANNELS_PAGE: \"" << PagePath().u8string() << "\"";
  const std::vector<Exchange> exchanges = ReadExchanges(page);

  // What the page must show with its bytes: an answer on each channel, each event kind and the
  // identity's error (so a page whose blocks went unseen cannot pass).
  std::string shown;
  for (const Exchange& exchange : exchanges) {
    std::string channel;
    for (const Line& line : exchange.lines) {
      if (line.kind == Line::Kind::kSend) channel = line.channel;
      if (line.kind == Line::Kind::kAnswer && line.bytesShown) shown += channel + " answers\n";
      if (line.kind != Line::Kind::kSend && line.bytesShown) shown += line.text + "\n";
    }
  }
  for (const char* required :
       {"lumerovantix/sonel_info answers", "lumerovantix/device answers",
        "lumerovantix/sonel answers", R"("typ": "stan")", R"("typ": "pomiar")", R"("typ": "brak")",
        R"("typ": "blad")", R"(error "brak_id")"})
    EXPECT_NE(shown.find(required), std::string::npos) << "the page shows no bytes of " << required;

  std::string error;
  const std::unique_ptr<MeterSimulatorClient> meter = MeterSimulatorClient::FromEnvironment(&error);
  ASSERT_TRUE(meter) << error;
  const EngineProject project(L"data");
  flutter::FlutterEngine engine(project);
  MessageWindow window;
  for (const Exchange& exchange : exchanges) {
    StandInReset();
    ASSERT_EQ(meter->Command("reset"), "ok");
    RegisterMeterBridge(&engine, window.Handle());
    RegisterDeviceChannel(&engine);
    const std::vector<Line> host = Play(exchange, *meter);
    UnregisterMeterBridge();
    const std::string disagreement = Disagreement(exchange.lines, host);
    std::string transcript;
    for (const Line& line : host) transcript += Render(line);
    if (!disagreement.empty())
      ADD_FAILURE() << "docs/channels.md, the exchange at line " << exchange.number << ", "
                    << disagreement << "All the host did:\n"
                    << transcript;
    EXPECT_EQ(StandInContractErrors(), Words{});
  }
}

}  // namespace
}  // namespace meter_link
