#include "tools/meter_simulator/wine_com_device.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <stdexcept>
#include <vector>

extern char** environ;

namespace {

const char kDeviceSubkey[] = "System\\CurrentControlSet\\Enum\\USB\\VID_10C4&PID_EA60\\";
const char kPortsClass[] = "{4d36e978-e325-11ce-bfc1-08002be10318}";
const int kWineLimitMs = 30000;

// .reg text as UTF-16LE with a byte-order mark: Wine's importer reads hex(7) data of an ANSI
// file as narrow text, so the multi-string only survives in a Unicode file.
std::string Utf16Le(const std::string& ascii) {
  std::string out = "\xff\xfe";
  for (char c : ascii) {
    out.push_back(c);
    out.push_back('\0');
  }
  return out;
}

std::string MultiStringHex(const std::vector<std::string>& strings) {
  std::string hex;
  char byte[8];
  auto add = [&](unsigned char c) {
    std::snprintf(byte, sizeof byte, "%s%02x,00", hex.empty() ? "" : ",", c);
    hex += byte;
  };
  for (const std::string& s : strings) {
    for (char c : s) add(static_cast<unsigned char>(c));
    add(0);
  }
  add(0);
  return hex;
}

}  // namespace

WineComDevice::WineComDevice(WineDeviceOptions options) : options_(std::move(options)) {
  if (options_.instance.empty())
    options_.instance = "LUMEROSIM" + std::to_string(options_.comNumber);
}

WineComDevice::~WineComDevice() { Unplug(); }

void WineComDevice::MoveTo(int comNumber) {
  if (!plugged_) options_.comNumber = comNumber;
}

std::string WineComDevice::ComName() const { return "COM" + std::to_string(options_.comNumber); }

std::string WineComDevice::RegistryKey() const {
  return std::string("HKLM\\") + kDeviceSubkey + options_.instance;
}

std::string WineComDevice::LinkPath() const {
  return options_.prefix + "/dosdevices/com" + std::to_string(options_.comNumber);
}

bool WineComDevice::RunWine(const std::vector<std::string>& arguments) const {
  std::vector<std::string> all = {options_.wine};
  all.insert(all.end(), arguments.begin(), arguments.end());
  std::vector<char*> argv;
  for (std::string& a : all) argv.push_back(&a[0]);
  argv.push_back(nullptr);
  // Wine and the server it may start must not keep our output open.
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
  setenv("WINEPREFIX", options_.prefix.c_str(), 1);
  pid_t pid = 0;
  const int spawned = posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (spawned != 0) return false;
  // A wine whose server has died waits for ever; give up on it, so that unplugging and ending
  // still finish.
  int status = 0;
  pid_t done = 0;
  for (int waitedMs = 0; (done = waitpid(pid, &status, WNOHANG)) == 0; waitedMs += 10) {
    if (waitedMs == kWineLimitMs) kill(pid, SIGKILL);
    usleep(10000);
  }
  return done == pid && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

void WineComDevice::AddRegistryDevice() const {
  // A .reg file spells the root key out.
  const std::string key = std::string("HKEY_LOCAL_MACHINE\\") + kDeviceSubkey + options_.instance;
  const std::string text =
      "Windows Registry Editor Version 5.00\r\n\r\n[" + key + "]\r\n\"HardwareID\"=hex(7):" +
      MultiStringHex({"USB\\VID_10C4&PID_EA60&REV_0100", "USB\\VID_10C4&PID_EA60"}) +
      "\r\n\"ClassGUID\"=\"" + kPortsClass + "\"\r\n\r\n[" + key +
      "\\Device Parameters]\r\n\"PortName\"=\"" + ComName() + "\"\r\n\r\n";
  const std::string file = Utf16Le(text);
  std::string pattern =
      (std::filesystem::temp_directory_path() / "meter_simulator_XXXXXX").string();
  char* path = &pattern[0];
  const int fd = mkstemp(path);
  if (fd < 0) throw std::runtime_error("mkstemp failed");
  const bool written = write(fd, file.data(), file.size()) == static_cast<ssize_t>(file.size());
  close(fd);
  const std::string windowsPath = std::string("Z:") + path;
  const bool imported = written && RunWine({"reg", "import", windowsPath});
  unlink(path);
  if (!imported) throw std::runtime_error("wine reg import of " + key + " failed");
}

void WineComDevice::Plug(const std::string& slavePath) {
  Unplug();
  const std::string link = LinkPath();
  unlink(link.c_str());
  if (symlink(slavePath.c_str(), link.c_str()) != 0) {
    throw std::runtime_error("symlink " + link + ": " + std::strerror(errno));
  }
  plugged_ = true;
  if (options_.registry) AddRegistryDevice();
}

void WineComDevice::Unplug() {
  if (!plugged_) return;
  plugged_ = false;
  unlink(LinkPath().c_str());
  if (options_.registry) RemoveStale();
}

void WineComDevice::RemoveStale() {
  if (!options_.registry) return;
  const std::string key = RegistryKey();
  RunWine({"reg", "delete", key, "/f"});
}
