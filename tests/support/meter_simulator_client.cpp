#include "tests/support/meter_simulator_client.h"

#include <cstdlib>
#include <thread>

#ifdef _WIN32
#include <winsock2.h>
#include <ws2tcpip.h>
#else
#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>
using SOCKET = int;  // the Winsock names for the BSD ones
constexpr SOCKET INVALID_SOCKET = -1;
inline int closesocket(SOCKET s) { return close(s); }
#endif

std::unique_ptr<MeterSimulatorClient> MeterSimulatorClient::FromEnvironment(std::string* error) {
  const char* port = std::getenv("LUMERO_METER_SIMULATOR_PORT");
  if (port != nullptr && *port != '\0') return Connect(std::atoi(port), error);
  *error = "LUMERO_METER_SIMULATOR_PORT is not set (run under scripts/with-meter-simulator.sh)";
  return nullptr;
}

std::unique_ptr<MeterSimulatorClient> MeterSimulatorClient::FromEnvironmentReset(
    std::string* error) {
  auto client = FromEnvironment(error);
  if (client == nullptr) return nullptr;
  const std::string reply = client->Command("reset");
  if (reply == "ok") return client;
  *error = "the simulator answered \"" + reply + "\" to reset";
  return nullptr;
}

std::unique_ptr<MeterSimulatorClient> MeterSimulatorClient::Connect(int port, std::string* error) {
#ifdef _WIN32
  static const bool started = [] {
    WSADATA data;
    return WSAStartup(MAKEWORD(2, 2), &data) == 0;
  }();
  if (!started) return *error = "sockets unavailable", nullptr;
#endif
  const SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = htons(static_cast<uint16_t>(port));
  if (s == INVALID_SOCKET ||
      connect(s, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
    if (s != INVALID_SOCKET) closesocket(s);
    return *error = "cannot connect to the simulator on port " + std::to_string(port), nullptr;
  }
  int yes = 1;
  setsockopt(s, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&yes), sizeof yes);
  return std::make_unique<MeterSimulatorClient>(Token{}, static_cast<std::intptr_t>(s));
}

MeterSimulatorClient::~MeterSimulatorClient() { closesocket(static_cast<SOCKET>(socket_)); }

std::string MeterSimulatorClient::Command(const std::string& line) {
  const SOCKET s = static_cast<SOCKET>(socket_);
  const std::string out = line + "\n";
  for (size_t sent = 0; sent < out.size();) {
    const int n = send(s, out.data() + sent, static_cast<int>(out.size() - sent), 0);
    if (n <= 0) return "";
    sent += static_cast<size_t>(n);
  }
  size_t end;
  while ((end = pending_.find('\n')) == std::string::npos) {
    char buffer[512];
    const int n = recv(s, buffer, sizeof buffer, 0);
    if (n <= 0) return "";
    pending_.append(buffer, static_cast<size_t>(n));
  }
  const std::string reply = pending_.substr(0, end);
  pending_.erase(0, end + 1);
  return reply;
}

int MeterSimulatorClient::Number(const std::string& query) {
  const std::string reply = Command(query);
  const size_t space = reply.find(' ');
  return space == std::string::npos ? -1 : std::atoi(reply.c_str() + space + 1);
}

bool WaitUntil(const std::function<bool()>& condition, std::chrono::milliseconds timeout) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  while (!condition() && std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return condition();
}
