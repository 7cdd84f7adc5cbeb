#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

// Test side of the meter simulator's control channel (one line per command, one reply line).
// Under Wine it uses Winsock, natively BSD sockets. The port comes from the environment that
// scripts/with-meter-simulator.sh sets up (with the COM name in LUMERO_METER_SIMULATOR_COM).
class MeterSimulatorClient {
  struct Token {};

 public:
  // Null (with the reason in *error) when no simulator is announced or it cannot be reached.
  static std::unique_ptr<MeterSimulatorClient> FromEnvironment(std::string* error);
  // The same, with the simulated meter reset to its defaults (a plugged cable, answering).
  static std::unique_ptr<MeterSimulatorClient> FromEnvironmentReset(std::string* error);
  static std::unique_ptr<MeterSimulatorClient> Connect(int port, std::string* error);
  MeterSimulatorClient(Token, std::intptr_t socket) : socket_(socket) {}
  ~MeterSimulatorClient();
  MeterSimulatorClient(const MeterSimulatorClient&) = delete;
  MeterSimulatorClient& operator=(const MeterSimulatorClient&) = delete;

  // Sends one command, returns the reply line without its line break ("" if the link failed).
  std::string Command(const std::string& line);
  // For replies of the form "word N" (polls?, frames?): N, or -1.
  int Number(const std::string& query);

 private:
  std::intptr_t socket_;
  std::string pending_;
};

// Polls condition every 20 ms until it holds or timeout passes; returns its last result.
bool WaitUntil(const std::function<bool()>& condition, std::chrono::milliseconds timeout);
