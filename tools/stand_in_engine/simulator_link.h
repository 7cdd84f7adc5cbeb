#pragma once

#include <cstdint>
#include <memory>
#include <string>

namespace stand_in {

// A script's line to the meter simulator's control port on 127.0.0.1 (tools/meter_simulator):
// one command line out, one reply line back.
class SimulatorLink {
  struct Token {};

 public:
  // Connects to the port named by LUMERO_METER_SIMULATOR_PORT; null with the reason in failure.
  static std::unique_ptr<SimulatorLink> FromEnvironment(std::string& failure);
  SimulatorLink(Token, uintptr_t socket) : socket(socket) {}
  ~SimulatorLink();
  SimulatorLink(const SimulatorLink&) = delete;
  SimulatorLink& operator=(const SimulatorLink&) = delete;

  // The reply without its line break; empty when the link failed.
  std::string Command(const std::string& line);

 private:
  uintptr_t socket;
  std::string pending;
};

// Wall-clock microseconds since 1970: the clock of the simulator's frame and unplug times.
int64_t UnixMicroseconds();

}  // namespace stand_in
