// Smoke test of the meter simulator, natively: it answers a poll on its simulated COM link with a
// frame of the value set over its control channel, reports the poll and the line settings, names
// the allowed range of a bad parameter, plugs back on another COM number, and when terminated
// removes the link and ends normally. The Windows tests use it in every mode.
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "runner/meter/meter_frame.h"
#include "tests/support/meter_simulator_client.h"

extern char** environ;

namespace {

using namespace meter_link;

using std::chrono::milliseconds;

TEST(MeterSimulator, AnswersAPollAndEndsCleanly) {
  // COM5 of a scratch "prefix" (only its dosdevices folder), without registry.
  std::string pattern =
      (std::filesystem::temp_directory_path() / "meter_simulator_test_XXXXXX").string();
  ASSERT_NE(mkdtemp(&pattern[0]), nullptr);
  const std::string folder = pattern, link = folder + "/dosdevices/com5", ready = folder + "/ready";
  const std::string moved = folder + "/dosdevices/com6";
  ASSERT_EQ(mkdir((folder + "/dosdevices").c_str(), 0755), 0);
  // clang-format off
  const char* argv[] = {LUMERO_METER_SIMULATOR_PATH, "--prefix", folder.c_str(), "--com", "5",
                        "--no-registry", "--ready-file", ready.c_str(), nullptr};
  // clang-format on
  pid_t pid = 0;
  ASSERT_EQ(posix_spawn(&pid, argv[0], nullptr, nullptr, const_cast<char**>(argv), environ), 0);
  int port = 0;
  EXPECT_TRUE(WaitUntil([&] { return static_cast<bool>(std::ifstream(ready) >> port); },
                        milliseconds(10000)));
  std::string error;
  auto control = MeterSimulatorClient::Connect(port, &error);
  const int fd = open(link.c_str(), O_RDWR | O_NOCTTY);
  if (control != nullptr && fd >= 0) {
    termios t{};
    tcgetattr(fd, &t);
    cfmakeraw(&t);
    cfsetspeed(&t, B9600);
    t.c_cc[VMIN] = 0;
    t.c_cc[VTIME] = 1;  // a read waits at most 100 ms
    tcsetattr(fd, TCSANOW, &t);
    EXPECT_EQ(control->Command("settings?").rfind("settings 9600 8 N 1 crtscts=0", 0), 0u);
    EXPECT_EQ(control->Command("value 4321 3 1"), "ok");
    const uint8_t query = QueryByte;
    EXPECT_EQ(write(fd, &query, 1), 1);
    std::vector<uint8_t> frame;
    const auto deadline = std::chrono::steady_clock::now() + milliseconds(3000);
    while (frame.size() < kMeterFrameLength && std::chrono::steady_clock::now() < deadline) {
      uint8_t buffer[64];
      const ssize_t n = read(fd, buffer, sizeof buffer);
      if (n > 0) frame.insert(frame.end(), buffer, buffer + n);
    }
    MeterReading reading;
    EXPECT_TRUE(DecodeFrame(frame.data(), frame.size(), &reading));
    EXPECT_EQ(reading.raw, 4321);
    EXPECT_EQ(reading.rangeCode, 3);
    EXPECT_TRUE(reading.overload);
    EXPECT_EQ(control->Number("polls?"), 1);
    EXPECT_EQ(control->Command("mode long 300"), "error bad length 300 (19..256)");
    close(fd);
    EXPECT_EQ(control->Command("unplug"), "ok");
    EXPECT_EQ(control->Command("plug 6"), "ok");
    EXPECT_EQ(control->Command("com?"), "com COM6");
    EXPECT_EQ(access(moved.c_str(), F_OK), 0) << "no link for COM6";
    EXPECT_NE(access(link.c_str(), F_OK), 0) << "COM5 still linked";
  }
  EXPECT_NE(control, nullptr) << error;
  EXPECT_GE(fd, 0) << link;
  control.reset();
  int status = -1;
  kill(pid, SIGTERM);
  waitpid(pid, &status, 0);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  struct stat info {};
  EXPECT_NE(lstat(moved.c_str(), &info), 0) << "the COM link outlives the simulator";
  std::error_code ignored;
  std::filesystem::remove_all(folder, ignored);
}

}  // namespace
