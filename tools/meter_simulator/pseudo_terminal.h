#pragma once

#include <string>

// Line settings as the host program left them on the terminal.
struct LineSettings {
  unsigned baud = 0;
  int dataBits = 0;
  char parity = '?';  // N, E, O
  int stopBits = 0;
  bool rtsCts = false;
  bool xonXoffOut = false;
  bool xonXoffIn = false;

  bool operator==(const LineSettings& other) const;
  bool operator!=(const LineSettings& other) const { return !(*this == other); }
  // "9600 8 N 1 crtscts=0 ixon=0 ixoff=0"
  std::string Describe() const;
};

// A pseudo-terminal in raw mode: the meter's end is the master, the host opens the slave. The
// simulator keeps a slave descriptor of its own open, so the master never sees a hang-up while
// the host has the port closed, and the line settings can be read at any time.
class PseudoTerminal {
 public:
  PseudoTerminal();  // throws std::runtime_error
  ~PseudoTerminal();
  PseudoTerminal(const PseudoTerminal&) = delete;
  PseudoTerminal& operator=(const PseudoTerminal&) = delete;

  int MasterFd() const { return master_; }
  const std::string& SlavePath() const { return slavePath_; }
  LineSettings Settings() const;
  // Writes all bytes, waiting while the terminal's queue is full; false on failure.
  bool WriteAll(const unsigned char* bytes, size_t count);

 private:
  void CloseBoth();

  int master_ = -1;
  int slave_ = -1;
  std::string slavePath_;
};
