#include "tools/meter_simulator/pseudo_terminal.h"

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <stdexcept>

namespace {

[[noreturn]] void Fail(const char* what) {
  throw std::runtime_error(std::string(what) + ": " + std::strerror(errno));
}

unsigned BaudOf(speed_t speed) {
  switch (speed) {
    case B50:
      return 50;
    case B300:
      return 300;
    case B1200:
      return 1200;
    case B2400:
      return 2400;
    case B4800:
      return 4800;
    case B9600:
      return 9600;
    case B19200:
      return 19200;
    case B38400:
      return 38400;
    case B57600:
      return 57600;
    case B115200:
      return 115200;
    case B230400:
      return 230400;
    default:
      return 0;
  }
}

int DataBitsOf(tcflag_t cflag) {
  switch (cflag & CSIZE) {
    case CS5:
      return 5;
    case CS6:
      return 6;
    case CS7:
      return 7;
    default:
      return 8;
  }
}

}  // namespace

bool LineSettings::operator==(const LineSettings& o) const {
  return baud == o.baud && dataBits == o.dataBits && parity == o.parity && stopBits == o.stopBits &&
         rtsCts == o.rtsCts && xonXoffOut == o.xonXoffOut && xonXoffIn == o.xonXoffIn;
}

std::string LineSettings::Describe() const {
  char text[96];
  std::snprintf(text, sizeof text, "%u %d %c %d crtscts=%d ixon=%d ixoff=%d", baud, dataBits,
                parity, stopBits, rtsCts ? 1 : 0, xonXoffOut ? 1 : 0, xonXoffIn ? 1 : 0);
  return text;
}

PseudoTerminal::PseudoTerminal() {
  try {
    master_ = posix_openpt(O_RDWR | O_NOCTTY);
    if (master_ < 0) Fail("posix_openpt");
    if (fcntl(master_, F_SETFD, FD_CLOEXEC) != 0) Fail("fcntl");
    if (grantpt(master_) != 0 || unlockpt(master_) != 0) Fail("grantpt/unlockpt");
    const char* name = ptsname(master_);
    if (name == nullptr) Fail("ptsname");
    slavePath_ = name;
    slave_ = open(slavePath_.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (slave_ < 0) Fail("open slave");
    termios raw{};
    if (tcgetattr(slave_, &raw) != 0) Fail("tcgetattr");
    cfmakeraw(&raw);
    if (tcsetattr(slave_, TCSANOW, &raw) != 0) Fail("tcsetattr");
    const int flags = fcntl(master_, F_GETFL);
    if (flags < 0 || fcntl(master_, F_SETFL, flags | O_NONBLOCK) != 0) Fail("fcntl");
  } catch (...) {
    CloseBoth();
    throw;
  }
}

void PseudoTerminal::CloseBoth() {
  if (slave_ >= 0) close(slave_);
  if (master_ >= 0) close(master_);
  slave_ = -1;
  master_ = -1;
}

PseudoTerminal::~PseudoTerminal() { CloseBoth(); }

LineSettings PseudoTerminal::Settings() const {
  LineSettings settings;
  termios t{};
  if (tcgetattr(slave_, &t) != 0) return settings;
  settings.baud = BaudOf(cfgetospeed(&t));
  settings.dataBits = DataBitsOf(t.c_cflag);
  settings.parity = (t.c_cflag & PARENB) ? ((t.c_cflag & PARODD) ? 'O' : 'E') : 'N';
  settings.stopBits = (t.c_cflag & CSTOPB) ? 2 : 1;
  settings.rtsCts = (t.c_cflag & CRTSCTS) != 0;
  settings.xonXoffOut = (t.c_iflag & IXON) != 0;
  settings.xonXoffIn = (t.c_iflag & IXOFF) != 0;
  return settings;
}

bool PseudoTerminal::WriteAll(const unsigned char* bytes, size_t count) {
  while (count > 0) {
    const ssize_t written = write(master_, bytes, count);
    if (written > 0) {
      bytes += written;
      count -= static_cast<size_t>(written);
      continue;
    }
    if (written < 0 && errno == EINTR) continue;
    if (written < 0 && errno == EAGAIN) {
      pollfd p{master_, POLLOUT, 0};
      if (poll(&p, 1, 1000) <= 0) return false;
      continue;
    }
    return false;
  }
  return true;
}
