// The meter simulator itself, natively: a pseudo-terminal opened through the simulated COM link,
// the answers of every mode, the line-settings report, unplugging and plugging back.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "runner/meter/meter_frame.h"
#include "tests/support/meter_simulator_client.h"

extern char** environ;

namespace {

using std::chrono::milliseconds;

// The simulator on COM5 of a scratch "prefix" (only its dosdevices folder), without registry.
class SimulatorProcess {
 public:
  SimulatorProcess() {
    std::string pattern =
        (std::filesystem::temp_directory_path() / "meter_simulator_test_XXXXXX").string();
    folder_ = mkdtemp(&pattern[0]);
    mkdir((folder_ + "/dosdevices").c_str(), 0755);
    const std::string ready = folder_ + "/ready";
    std::vector<std::string> args = {LUMERO_METER_SIMULATOR_PATH,
                                     "--prefix",
                                     folder_,
                                     "--com",
                                     "5",
                                     "--no-registry",
                                     "--ready-file",
                                     ready};
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(&a[0]);
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn(&pid_, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    WaitUntil(
        [&] {
          std::ifstream in(ready);
          return static_cast<bool>(in >> port_);
        },
        milliseconds(10000));
  }
  ~SimulatorProcess() {
    if (pid_ > 0) {
      kill(pid_, SIGTERM);
      waitpid(pid_, nullptr, 0);
    }
    std::error_code ignored;
    std::filesystem::remove_all(folder_, ignored);
  }
  int Port() const { return port_; }
  std::string Link() const { return folder_ + "/dosdevices/com5"; }
  // Exit status after SIGTERM: the simulator must clean up and end normally.
  int Stop() {
    int status = -1;
    kill(pid_, SIGTERM);
    waitpid(pid_, &status, 0);
    pid_ = 0;
    return status;
  }

 private:
  std::string folder_;
  pid_t pid_ = 0;
  int port_ = 0;
};

// The host's end of the cable.
class HostLine {
 public:
  explicit HostLine(const std::string& path) {
    fd_ = open(path.c_str(), O_RDWR | O_NOCTTY);
    if (fd_ < 0) return;
    termios t{};
    tcgetattr(fd_, &t);
    cfmakeraw(&t);
    cfsetspeed(&t, B9600);
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
  // Whatever arrives within window; collection stops early once want bytes are in.
  std::vector<uint8_t> Collect(milliseconds window, size_t want = 1024) {
    std::vector<uint8_t> bytes;
    const auto deadline = std::chrono::steady_clock::now() + window;
    while (bytes.size() < want) {
      const auto left =
          std::chrono::duration_cast<milliseconds>(deadline - std::chrono::steady_clock::now());
      if (left.count() <= 0) break;
      pollfd p{fd_, POLLIN, 0};
      if (poll(&p, 1, static_cast<int>(left.count())) <= 0) break;
      uint8_t buffer[256];
      const ssize_t n = read(fd_, buffer, sizeof buffer);
      if (n <= 0) break;
      bytes.insert(bytes.end(), buffer, buffer + n);
    }
    return bytes;
  }

 private:
  int fd_ = -1;
};

bool HasHeader(const std::vector<uint8_t>& bytes) {
  for (size_t i = 0; i + 3 <= bytes.size(); ++i) {
    if (bytes[i] == 0xAA && bytes[i + 1] == 0xDD && bytes[i + 2] == 0x00) return true;
  }
  return false;
}

class MeterSimulatorTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_GT(simulator_.Port(), 0) << "simulator not ready";
    std::string error;
    control_ = MeterSimulatorClient::Connect(simulator_.Port(), &error);
    ASSERT_NE(control_, nullptr) << error;
    line_ = std::make_unique<HostLine>(simulator_.Link());
    ASSERT_TRUE(line_->IsOpen());
  }

  SimulatorProcess simulator_;
  std::unique_ptr<MeterSimulatorClient> control_;
  std::unique_ptr<HostLine> line_;
};

TEST_F(MeterSimulatorTest, AnswersEachPollWithAFrameOfTheSetValueAndNextNumber) {
  ASSERT_EQ(control_->Command("value 4321 3 1"), "ok");
  line_->Poll();
  const std::vector<uint8_t> first = line_->Collect(milliseconds(3000), 19);
  line_->Poll();
  const std::vector<uint8_t> second = line_->Collect(milliseconds(3000), 19);
  ASSERT_EQ(first.size(), 19u);
  ASSERT_EQ(second.size(), 19u);
  MeterReading a, b;
  ASSERT_TRUE(DecodeFrame(first.data(), first.size(), &a));
  ASSERT_TRUE(DecodeFrame(second.data(), second.size(), &b));
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
  EXPECT_EQ(control_->Number("frames?"), 2);
}

TEST_F(MeterSimulatorTest, ReportsTheLineSettingsTheHostApplied) {
  EXPECT_EQ(control_->Command("settings?").rfind("settings 9600 8 N 1 crtscts=0", 0), 0u);
  termios t{};
  tcgetattr(line_->Fd(), &t);
  cfsetspeed(&t, B4800);
  // A Linux pseudo-terminal keeps 8 data bits and no parity whatever it is told; speed and stop
  // bits it does keep.
  t.c_cflag |= CSTOPB;
  tcsetattr(line_->Fd(), TCSANOW, &t);
  EXPECT_EQ(control_->Command("settings?").substr(0, 19), "settings 4800 8 N 2");
}

TEST_F(MeterSimulatorTest, AwkwardMetersAnswerAsTheirModeSays) {
  ASSERT_EQ(control_->Command("mode silent"), "ok");
  line_->Poll();
  EXPECT_TRUE(line_->Collect(milliseconds(300)).empty());
  EXPECT_TRUE(WaitUntil([&] { return control_->Number("polls?") == 1; }, milliseconds(2000)));

  ASSERT_EQ(control_->Command("mode garbage"), "ok");
  line_->Poll();
  const std::vector<uint8_t> garbage = line_->Collect(milliseconds(3000), 19);
  EXPECT_EQ(garbage.size(), 19u);
  EXPECT_FALSE(HasHeader(garbage));

  ASSERT_EQ(control_->Command("mode split 300"), "ok");
  line_->Poll();
  EXPECT_EQ(line_->Collect(milliseconds(3000), 10).size(), 10u);
  EXPECT_EQ(line_->Collect(milliseconds(2000), 9).size(), 9u);

  ASSERT_EQ(control_->Command("mode long"), "ok");
  line_->Poll();
  const std::vector<uint8_t> longFrame = line_->Collect(milliseconds(3000), 24);
  EXPECT_EQ(longFrame.size(), 24u);
  EXPECT_TRUE(HasHeader(longFrame));

  ASSERT_EQ(control_->Command("mode double"), "ok");
  line_->Poll();
  const std::vector<uint8_t> two = line_->Collect(milliseconds(3000), 38);
  ASSERT_EQ(two.size(), 38u);
  MeterReading a, b;
  ASSERT_TRUE(DecodeFrame(two.data(), 19, &a));
  ASSERT_TRUE(DecodeFrame(two.data() + 19, 19, &b));
  EXPECT_EQ(b.nr, (a.nr + 1) % 256);

  ASSERT_EQ(control_->Command("mode late 600"), "ok");
  line_->Poll();
  EXPECT_TRUE(line_->Collect(milliseconds(300)).empty());
  EXPECT_EQ(line_->Collect(milliseconds(3000), 19).size(), 19u);

  EXPECT_EQ(control_->Command("mode?"), "mode late");
  EXPECT_EQ(control_->Command("mode bogus"), "error bad mode");
  EXPECT_EQ(control_->Command("mode long 300"), "error bad mode");
  EXPECT_EQ(control_->Command("value 1 16 0"), "error bad value");
  EXPECT_EQ(control_->Command("frobnicate"), "error unknown command (try help)");
}

TEST_F(MeterSimulatorTest, UnplugsAfterTheCountedPollsAndPlugsBackIn) {
  ASSERT_EQ(control_->Command("unplug-after 2"), "ok");
  line_->Poll();
  EXPECT_EQ(line_->Collect(milliseconds(3000), 19).size(), 19u);
  line_->Poll();
  EXPECT_EQ(line_->Collect(milliseconds(3000), 19).size(), 19u);
  EXPECT_TRUE(
      WaitUntil([&] { return control_->Command("plugged?") == "plugged 0"; }, milliseconds(3000)));
  struct stat info {};
  EXPECT_NE(lstat(simulator_.Link().c_str(), &info), 0) << "the COM link must be gone";
  EXPECT_EQ(control_->Command("settings?"), "settings none");
  EXPECT_EQ(control_->Command("unplug"), "error not plugged");

  ASSERT_EQ(control_->Command("plug"), "ok");
  HostLine again(simulator_.Link());
  ASSERT_TRUE(again.IsOpen());
  again.Poll();
  EXPECT_EQ(again.Collect(milliseconds(3000), 19).size(), 19u);
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
}

// The latency benchmark's common clock: the simulator tells when each frame's last byte left it.
TEST_F(MeterSimulatorTest, ReportsWhenEachWholeFrameWasWritten) {
  EXPECT_EQ(control_->Command("stamps?"), "stamps");
  const auto wallMicros = [] {
    timespec ts{};
    clock_gettime(CLOCK_REALTIME, &ts);
    return static_cast<long long>(ts.tv_sec) * 1000000 + ts.tv_nsec / 1000;
  };
  const long long before = wallMicros();
  line_->Poll();
  const std::vector<uint8_t> frame = line_->Collect(milliseconds(3000), 19);
  ASSERT_EQ(frame.size(), 19u);
  ASSERT_EQ(control_->Command("mode double"), "ok");
  line_->Poll();
  ASSERT_EQ(line_->Collect(milliseconds(3000), 38).size(), 38u);
  // The frame may arrive here before the simulator reads its clock; its single loop has
  // stamped it by the time it answers the next poll.
  const long long after = wallMicros();

  std::istringstream reply(control_->Command("stamps?"));
  std::string word;
  reply >> word;
  EXPECT_EQ(word, "stamps");
  std::vector<int> numbers;
  std::vector<long long> times;
  char colon = 0;
  int number = 0;
  long long micros = 0;
  while (reply >> number >> colon >> micros) {
    numbers.push_back(number);
    times.push_back(micros);
  }
  EXPECT_EQ(numbers, (std::vector<int>{frame[16], frame[16] + 1, frame[16] + 2}));
  ASSERT_EQ(times.size(), 3u);
  EXPECT_GE(times[0], before);
  EXPECT_LE(times[0], after);
  EXPECT_EQ(times[1], times[2]) << "two frames of one write share its time";
  EXPECT_EQ(control_->Command("stamps?"), "stamps") << "a query forgets what it reported";
}

TEST(MeterSimulator, RemovesItsComLinkWhenTerminated) {
  SimulatorProcess simulator;
  ASSERT_GT(simulator.Port(), 0);
  struct stat info {};
  ASSERT_EQ(lstat(simulator.Link().c_str(), &info), 0);
  const int status = simulator.Stop();
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  EXPECT_NE(lstat(simulator.Link().c_str(), &info), 0);
}

}  // namespace
