#pragma once

#include <csignal>
#include <memory>
#include <string>
#include <vector>

#include "tools/meter_simulator/control_server.h"
#include "tools/meter_simulator/meter_behaviour.h"
#include "tools/meter_simulator/pseudo_terminal.h"
#include "tools/meter_simulator/wine_com_device.h"

struct SimulatorOptions {
  WineDeviceOptions device;
  int controlPort = 0;
  std::string readyFile;  // receives the control port once everything is in place
  bool verbose = false;
};

// The simulated meter on its cable: a pseudo-terminal mapped as a COM port of a Wine prefix,
// the answers to polls, and the control channel. Single-threaded; Run() owns the loop.
class Simulator {
 public:
  explicit Simulator(SimulatorOptions options);  // throws std::runtime_error
  ~Simulator();
  Simulator(const Simulator&) = delete;
  Simulator& operator=(const Simulator&) = delete;

  // Serves until a "quit" command or until *stop becomes non-zero (set by a signal handler;
  // the caller blocks those signals, Run() waits with them unblocked).
  void Run(volatile std::sig_atomic_t* stop, const sigset_t& waitMask);

 private:
  std::string Handle(const std::string& line);
  void Plug();
  void Unplug();
  // A plugged, normal meter with counters at zero and no answers pending.
  void Reset();
  void ReadPolls(int64_t nowMs);
  void WriteDue(int64_t nowMs);
  // Notes the time of the frames a write carried whole (header at a multiple of 19 bytes).
  void RecordFrames(const std::vector<uint8_t>& bytes, int64_t micros);
  void ReportSettingsChange();
  void WriteReadyFile() const;
  int WaitMilliseconds(int64_t nowMs) const;

  SimulatorOptions options_;
  WineComDevice device_;
  MeterBehaviour meter_;
  std::unique_ptr<PseudoTerminal> line_;
  std::vector<PlannedWrite> queue_;  // ordered by due time
  std::string lastSettings_;
  // Number byte and CLOCK_REALTIME (microseconds) of each whole frame written, for "stamps?".
  std::vector<std::pair<int, int64_t>> sentFrames_;
  // CLOCK_REALTIME (microseconds) of the last pull of the cable, 0 before the first.
  int64_t unpluggedAtMicros_ = 0;
  std::unique_ptr<ControlServer> control_;
  bool quit_ = false;
};
