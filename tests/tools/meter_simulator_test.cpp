// The meter simulator itself, natively: a pseudo-terminal opened through the simulated COM link,
// the answers of every mode, the line-settings report, unplugging and plugging back, frame stamps.
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "runner/meter/meter_frame.h"
#include "tests/support/meter_simulator_client.h"

extern char** environ;

namespace {

using namespace meter_link;

using std::chrono::milliseconds;
using Bytes = std::vector<uint8_t>;
constexpr char kSimulator[] = LUMERO_METER_SIMULATOR_PATH;

// The host's end of the cable.
class HostLine {
 public:
  explicit HostLine(const std::string& path) : fd_(open(path.c_str(), O_RDWR | O_NOCTTY)) {
    termios t{};
    tcgetattr(fd_, &t);
    cfmakeraw(&t);
    cfsetspeed(&t, B9600);
    t.c_cc[VMIN] = 0;
    t.c_cc[VTIME] = 1;  // a read waits at most 100 ms
    tcsetattr(fd_, TCSANOW, &t);
  }
  ~HostLine() {
    if (fd_ >= 0) close(fd_);
  }
  bool IsOpen() const { return fd_ >= 0; }
  int Fd() const { return fd_; }
  void Poll() {
    const uint8_t query = QueryByte;
    ASSERT_EQ(write(fd_, &query, 1), 1);
  }
  // Whatever arrives within window (give or take a read); stops early once want bytes are in.
  Bytes Collect(milliseconds window, size_t want = 1024) {
    Bytes bytes;
    const auto deadline = std::chrono::steady_clock::now() + window;
    while (bytes.size() < want && std::chrono::steady_clock::now() < deadline) {
      uint8_t buffer[256];
      const ssize_t n = read(fd_, buffer, sizeof buffer);
      if (n > 0) bytes.insert(bytes.end(), buffer, buffer + n);
    }
    return bytes;
  }
  Bytes Ask(size_t want) {
    Poll();
    return Collect(milliseconds(3000), want);
  }

 private:
  int fd_;
};

class MeterSimulatorTest : public ::testing::Test {
 protected:
  // The simulator on COM5 of a scratch "prefix" (only its dosdevices folder), without registry.
  void SetUp() override {
    std::string pattern =
        (std::filesystem::temp_directory_path() / "meter_simulator_test_XXXXXX").string();
    folder_ = mkdtemp(&pattern[0]);
    mkdir((folder_ + "/dosdevices").c_str(), 0755);
    const std::string ready = folder_ + "/ready";
    const char* argv[] = {kSimulator,      "--prefix",     folder_.c_str(), "--com", "5",
                          "--no-registry", "--ready-file", ready.c_str(),   nullptr};
    ASSERT_EQ(posix_spawn(&pid_, argv[0], nullptr, nullptr, const_cast<char**>(argv), environ), 0);
    int port = 0;
    ASSERT_TRUE(WaitUntil([&] { return static_cast<bool>(std::ifstream(ready) >> port); },
                          milliseconds(10000)))
        << "simulator not ready";
    std::string error;
    control_ = MeterSimulatorClient::Connect(port, &error);
    ASSERT_NE(control_, nullptr) << error;
    line_ = std::make_unique<HostLine>(Link());
    ASSERT_TRUE(line_->IsOpen());
  }
  void TearDown() override {
    line_.reset();
    control_.reset();
    if (pid_ > 0) Stop();
    std::error_code ignored;
    std::filesystem::remove_all(folder_, ignored);
  }
  std::string Link() const { return folder_ + "/dosdevices/com5"; }
  bool LinkExists() const {
    struct stat info {};
    return lstat(Link().c_str(), &info) == 0;
  }
  // The exit status after SIGTERM.
  int Stop() {
    int status = -1;
    kill(pid_, SIGTERM);
    waitpid(pid_, &status, 0);
    pid_ = 0;
    return status;
  }

  std::string folder_;
  pid_t pid_ = 0;
  std::unique_ptr<MeterSimulatorClient> control_;
  std::unique_ptr<HostLine> line_;
};

TEST_F(MeterSimulatorTest, AwkwardMetersAnswerAsTheirModeSays) {
  const struct {
    const char* command;
    size_t early;  // bytes within 3 s (none: within 300 ms)
    size_t late;   // bytes in the 3 s after those
    int frames;    // whole frames, one after the other, at the start of the answer
  } modes[] = {{"mode silent", 0, 0, 0}, {"mode garbage", 19, 0, 0}, {"mode split 300", 10, 9, 1},
               {"mode long", 24, 0, 1},  {"mode double", 38, 0, 2},  {"mode late 600", 0, 19, 1}};
  int polls = 0;
  for (const auto& m : modes) {
    SCOPED_TRACE(m.command);
    ASSERT_EQ(control_->Command(m.command), "ok");
    line_->Poll();
    Bytes answer = line_->Collect(milliseconds(m.early > 0 ? 3000 : 300), m.early ? m.early : 1024);
    EXPECT_EQ(answer.size(), m.early);
    const Bytes rest = m.late > 0 ? line_->Collect(milliseconds(3000), m.late) : Bytes();
    EXPECT_EQ(rest.size(), m.late);
    answer.insert(answer.end(), rest.begin(), rest.end());
    ++polls;
    EXPECT_TRUE(WaitUntil([&] { return control_->Number("polls?") == polls; }, milliseconds(2000)));
    const uint8_t header[] = {0xAA, 0xDD, 0x00};
    EXPECT_EQ(std::search(answer.begin(), answer.end(), header, header + 3) != answer.end(),
              m.frames > 0);
    MeterReading previous;
    for (int i = 0; i < m.frames; ++i) {
      MeterReading reading;
      ASSERT_TRUE(answer.size() >= 19u * (i + 1) && DecodeFrame(&answer[19 * i], 19, &reading));
      if (i > 0) EXPECT_EQ(reading.nr, (previous.nr + 1) % 256);
      previous = reading;
    }
  }
  EXPECT_EQ(control_->Command("mode?"), "mode late");
}

TEST_F(MeterSimulatorTest, ReportsLineSettingsUnplugsAfterCountedPollsAndPlugsBackIn) {
  EXPECT_EQ(control_->Command("settings?").rfind("settings 9600 8 N 1 crtscts=0", 0), 0u);
  termios t{};
  tcgetattr(line_->Fd(), &t);
  cfsetspeed(&t, B4800);
  // A Linux pseudo-terminal keeps 8 data bits and no parity whatever it is told; speed and stop
  // bits it does keep.
  t.c_cflag |= CSTOPB;
  tcsetattr(line_->Fd(), TCSANOW, &t);
  EXPECT_EQ(control_->Command("settings?").substr(0, 19), "settings 4800 8 N 2");

  ASSERT_EQ(control_->Command("unplug-after 2"), "ok");
  EXPECT_EQ(line_->Ask(19).size(), 19u);
  EXPECT_EQ(line_->Ask(19).size(), 19u);
  EXPECT_TRUE(
      WaitUntil([&] { return control_->Command("plugged?") == "plugged 0"; }, milliseconds(3000)));
  EXPECT_FALSE(LinkExists());
  EXPECT_EQ(control_->Command("settings?"), "settings none");
  EXPECT_EQ(control_->Command("unplug"), "error not plugged");

  ASSERT_EQ(control_->Command("plug"), "ok");
  HostLine again(Link());
  ASSERT_TRUE(again.IsOpen());
  EXPECT_EQ(again.Ask(19).size(), 19u);
  EXPECT_EQ(control_->Command("plug"), "error already plugged");

  // reset plugs a pulled cable back in and forgets pending answers.
  ASSERT_EQ(control_->Command("mode late 300"), "ok");
  const int polls = control_->Number("polls?");
  again.Poll();
  ASSERT_TRUE(
      WaitUntil([&] { return control_->Number("polls?") == polls + 1; }, milliseconds(2000)));
  ASSERT_EQ(control_->Command("unplug"), "ok");
  ASSERT_EQ(control_->Command("reset"), "ok");
  EXPECT_EQ(control_->Command("plugged?"), "plugged 1");
  EXPECT_EQ(control_->Command("mode?"), "mode normal");
  EXPECT_EQ(control_->Number("polls?"), 0);

  // Terminated, it removes its COM link and ends normally.
  ASSERT_TRUE(LinkExists());
  const int status = Stop();
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  EXPECT_FALSE(LinkExists());
}

long long WallMicros() {
  timespec ts{};
  clock_gettime(CLOCK_REALTIME, &ts);
  return static_cast<long long>(ts.tv_sec) * 1000000 + ts.tv_nsec / 1000;
}

// Stamps are the latency benchmark's common clock: when each frame's last byte left the meter.
TEST_F(MeterSimulatorTest, AnswersPollsWithNumberedFramesOfTheSetValueAndStampsThem) {
  EXPECT_EQ(control_->Command("stamps?"), "stamps");
  ASSERT_EQ(control_->Command("value 4321 3 1"), "ok");
  const long long before = WallMicros();
  const Bytes first = line_->Ask(19);
  ASSERT_EQ(control_->Command("mode double"), "ok");
  const Bytes next = line_->Ask(38);
  // The frame may arrive here before the simulator reads its clock; its single loop has
  // stamped it by the time it answers the next poll.
  const long long after = WallMicros();
  MeterReading a, b;
  ASSERT_TRUE(first.size() == 19 && DecodeFrame(first.data(), 19, &a));
  ASSERT_TRUE(next.size() == 38 && DecodeFrame(next.data(), 19, &b));
  EXPECT_EQ(a.raw, 4321);
  EXPECT_EQ(a.rangeCode, 3);
  EXPECT_TRUE(a.overload);
  EXPECT_EQ(b.nr, (a.nr + 1) % 256);
  // The meter's clock is the host's.
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  EXPECT_EQ(a.year, 1900 + local.tm_year);
  EXPECT_EQ(a.month, local.tm_mon + 1);
  EXPECT_EQ(control_->Number("polls?"), 2);
  EXPECT_EQ(control_->Number("frames?"), 3);

  const std::string stamps = control_->Command("stamps?");
  int numbers[3] = {}, end = 0;
  long long times[3] = {};
  ASSERT_EQ(std::sscanf(stamps.c_str(), "stamps %d:%lld %d:%lld %d:%lld%n", &numbers[0], &times[0],
                        &numbers[1], &times[1], &numbers[2], &times[2], &end),
            6)
      << stamps;
  EXPECT_EQ(static_cast<size_t>(end), stamps.size()) << stamps;
  EXPECT_EQ(numbers[0], a.nr);
  EXPECT_EQ(numbers[1], (a.nr + 1) % 256);
  EXPECT_EQ(numbers[2], (a.nr + 2) % 256);
  EXPECT_GE(times[0], before);
  EXPECT_LE(times[0], after);
  EXPECT_EQ(times[1], times[2]) << "two frames of one write share its time";
  EXPECT_EQ(control_->Command("stamps?"), "stamps") << "a query forgets what it reported";
}

}  // namespace
