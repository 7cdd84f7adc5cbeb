#include "tools/meter_simulator/simulator.h"

#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <ctime>
#include <sstream>
#include <stdexcept>

namespace {

const uint8_t kPollByte = 0x11;
// Settings are sampled at least this often, so changes are reported promptly.
const int kSettingsSampleMs = 50;

int64_t MonotonicMs() {
  timespec ts{};
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return static_cast<int64_t>(ts.tv_sec) * 1000 + ts.tv_nsec / 1000000;
}

// Wall-clock time as Windows programs under Wine see it too: the latency benchmark's common clock.
int64_t RealtimeMicroseconds() {
  timespec ts{};
  clock_gettime(CLOCK_REALTIME, &ts);
  return static_cast<int64_t>(ts.tv_sec) * 1000000 + ts.tv_nsec / 1000;
}

// At most this many frame times are kept between two "stamps?" queries.
const size_t kMaxFrameStamps = 4096;

// The meter's own clock shows the host's local time.
MeterFrameFields MeterClock() {
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  MeterFrameFields clock;
  clock.year = 1900 + local.tm_year;
  clock.month = local.tm_mon + 1;
  clock.day = local.tm_mday;
  clock.hour = local.tm_hour;
  clock.minute = local.tm_min;
  clock.second = local.tm_sec;
  return clock;
}

const char kHelp[] =
    "commands: mode normal|silent|garbage|split [GAP ms]|late [DELAY ms]|long [LENGTH 19..256]|"
    "double; "
    "delay MS; value RAW RANGE OL; unplug-after N; unplug; plug [COM]; polls?; frames?; "
    "settings?; plugged?; com?; mode?; stamps?; unplugged-at?; reset; quit";

}  // namespace

Simulator::Simulator(SimulatorOptions options)
    : options_(std::move(options)), device_(options_.device) {
  device_.RemoveStale();
  control_ = std::make_unique<ControlServer>(
      options_.controlPort, [this](const std::string& line) { return Handle(line); });
  Plug();
  std::printf("control 127.0.0.1:%d\n", control_->Port());
  WriteReadyFile();
}

Simulator::~Simulator() { Unplug(); }

void Simulator::WriteReadyFile() const {
  if (options_.readyFile.empty()) return;
  const std::string temporary = options_.readyFile + ".tmp";
  std::FILE* file = std::fopen(temporary.c_str(), "w");
  if (file == nullptr) return;
  std::fprintf(file, "%d\n", control_->Port());
  std::fclose(file);
  std::rename(temporary.c_str(), options_.readyFile.c_str());
}

void Simulator::Plug() {
  line_ = std::make_unique<PseudoTerminal>();
  device_.Plug(line_->SlavePath());
  lastSettings_ = line_->Settings().Describe();
  std::printf("plugged %s -> %s\n", device_.ComName().c_str(), line_->SlavePath().c_str());
  std::printf("settings %s\n", lastSettings_.c_str());
}

void Simulator::Unplug() {
  queue_.clear();
  if (!line_) return;
  // Closing the master first is what the host sees as the cable being pulled.
  line_.reset();
  unpluggedAtMicros_ = RealtimeMicroseconds();
  device_.Unplug();
  std::printf("unplugged %s\n", device_.ComName().c_str());
}

void Simulator::Reset() {
  queue_.clear();
  if (line_) {
    // Poll bytes not yet seen would otherwise count after the reset.
    uint8_t buffer[256];
    while (read(line_->MasterFd(), buffer, sizeof buffer) > 0) {
    }
  } else {
    Plug();
  }
  meter_.Reset();
}

std::string Simulator::Handle(const std::string& line) {
  std::istringstream in(line);
  std::string command;
  in >> command;
  if (command == "mode") {
    std::string name;
    int parameter = 0;
    in >> name;
    const bool hasParameter = static_cast<bool>(in >> parameter);
    const std::string problem = meter_.SetMode(name, parameter, hasParameter);
    return problem.empty() ? "ok" : "error " + problem;
  }
  if (command == "mode?") return "mode " + meter_.ModeName();
  if (command == "delay") {
    int ms = -1;
    if (!(in >> ms) || ms < 0) return "error bad delay";
    meter_.SetAnswerDelay(ms);
    return "ok";
  }
  if (command == "value") {
    int raw = 0, range = 0, overload = 0;
    if (!(in >> raw >> range >> overload) || raw < 0 || raw > 25599 || range < 0 || range > 15) {
      return "error bad value";
    }
    meter_.SetReading(raw, range, overload != 0);
    return "ok";
  }
  if (command == "unplug-after") {
    int count = -1;
    if (!(in >> count) || count < 1) return "error bad count";
    meter_.UnplugAfter(count);
    return "ok";
  }
  if (command == "unplug") {
    if (!line_) return "error not plugged";
    Unplug();
    return "ok";
  }
  if (command == "plug") {
    if (line_) return "error already plugged";
    int comNumber = 0;
    if (in >> comNumber) {
      if (comNumber < 1 || comNumber > 256) return "error bad COM number";
      device_.MoveTo(comNumber);
    }
    try {
      Plug();
    } catch (const std::runtime_error& error) {
      Unplug();
      return std::string("error ") + error.what();
    }
    return "ok";
  }
  if (command == "polls?") return "polls " + std::to_string(meter_.Polls());
  if (command == "frames?") return "frames " + std::to_string(meter_.Frames());
  if (command == "settings?") {
    return line_ ? "settings " + line_->Settings().Describe() : "settings none";
  }
  if (command == "plugged?") return line_ ? "plugged 1" : "plugged 0";
  if (command == "com?") return "com " + device_.ComName();
  if (command == "unplugged-at?") return "unplugged-at " + std::to_string(unpluggedAtMicros_);
  if (command == "stamps?") {
    std::string reply = "stamps";
    for (const auto& [number, micros] : sentFrames_) {
      reply += " " + std::to_string(number) + ":" + std::to_string(micros);
    }
    sentFrames_.clear();
    return reply;
  }
  if (command == "reset") {
    Reset();
    return "ok";
  }
  if (command == "quit") {
    quit_ = true;
    return "ok";
  }
  if (command == "help") return kHelp;
  return "error unknown command (try help)";
}

void Simulator::ReadPolls(int64_t nowMs) {
  uint8_t buffer[256];
  for (;;) {
    if (!line_) return;
    const ssize_t n = read(line_->MasterFd(), buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return;
    for (ssize_t i = 0; i < n; ++i) {
      if (buffer[i] != kPollByte) continue;
      for (PlannedWrite& w : meter_.OnPoll(nowMs, MeterClock())) {
        auto at = queue_.end();
        while (at != queue_.begin() && (at - 1)->dueMs > w.dueMs) --at;
        queue_.insert(at, std::move(w));
      }
      if (options_.verbose) std::printf("poll %d\n", meter_.Polls());
    }
  }
}

void Simulator::WriteDue(int64_t nowMs) {
  while (!queue_.empty() && queue_.front().dueMs <= nowMs && line_) {
    PlannedWrite w = std::move(queue_.front());
    queue_.erase(queue_.begin());
    if (!w.bytes.empty() && !line_->WriteAll(w.bytes.data(), w.bytes.size())) {
      std::printf("write failed\n");
    } else {
      RecordFrames(w.bytes, RealtimeMicroseconds());
    }
    if (w.unplugAfter) Unplug();
  }
}

void Simulator::RecordFrames(const std::vector<uint8_t>& bytes, int64_t micros) {
  const size_t frameLength = 19;
  for (size_t at = 0; at + frameLength <= bytes.size(); at += frameLength) {
    if (bytes[at] != 0xAA || bytes[at + 1] != 0xDD || bytes[at + 2] != 0x00) break;
    if (sentFrames_.size() == kMaxFrameStamps) sentFrames_.erase(sentFrames_.begin());
    sentFrames_.emplace_back(bytes[at + 16], micros);
  }
}

void Simulator::ReportSettingsChange() {
  if (!line_) return;
  const std::string now = line_->Settings().Describe();
  if (now == lastSettings_) return;
  lastSettings_ = now;
  std::printf("settings %s\n", now.c_str());
}

int Simulator::WaitMilliseconds(int64_t nowMs) const {
  int64_t wait = kSettingsSampleMs;
  if (!queue_.empty())
    wait = std::min<int64_t>(wait, std::max<int64_t>(0, queue_.front().dueMs - nowMs));
  return static_cast<int>(wait);
}

void Simulator::Run(volatile std::sig_atomic_t* stop, const sigset_t& waitMask) {
  while (!quit_ && *stop == 0) {
    std::vector<pollfd> fds;
    if (line_) fds.push_back({line_->MasterFd(), POLLIN, 0});
    const size_t controlFirst = fds.size();
    control_->AddPollFds(&fds);
    const int waitMs = WaitMilliseconds(MonotonicMs());
    const timespec timeout{waitMs / 1000, (waitMs % 1000) * 1000000L};
    const int ready = ppoll(fds.data(), fds.size(), &timeout, &waitMask);
    if (ready < 0 && errno != EINTR) break;
    const int64_t now = MonotonicMs();
    if (ready > 0) {
      if (controlFirst == 1 && fds[0].revents != 0) ReadPolls(now);
      control_->Serve(std::vector<pollfd>(fds.begin() + controlFirst, fds.end()));
    }
    WriteDue(MonotonicMs());
    ReportSettingsChange();
  }
}
