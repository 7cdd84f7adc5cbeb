#include "tools/stand_in_engine/simulator_link.h"

#include <winsock2.h>
#include <ws2tcpip.h>

#include <windows.h>

#include <cwchar>
#include <optional>

#include "tools/stand_in_engine/environment.h"

namespace stand_in {
namespace {

// A reply comes at once; a silent simulator must not hold the script (and the engine's
// teardown, which joins it) for ever.
constexpr DWORD kReplyTimeoutMs = 10000;

}  // namespace

std::unique_ptr<SimulatorLink> SimulatorLink::FromEnvironment(std::string& failure) {
  const std::optional<std::wstring> port = EnvironmentText(L"LUMERO_METER_SIMULATOR_PORT");
  if (!port || port->empty()) {
    failure = "LUMERO_METER_SIMULATOR_PORT is not set";
    return nullptr;
  }
  static const bool started = [] {
    WSADATA data;
    return WSAStartup(MAKEWORD(2, 2), &data) == 0;
  }();
  const SOCKET s = started ? ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP) : INVALID_SOCKET;
  if (s == INVALID_SOCKET) {
    failure = "no socket for the simulator";
    return nullptr;
  }
  auto link = std::make_unique<SimulatorLink>(Token{}, static_cast<uintptr_t>(s));
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = htons(static_cast<u_short>(std::wcstoul(port->c_str(), nullptr, 10)));
  if (connect(s, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
    failure = "cannot connect to the simulator on port " + Utf8(*port);
    return nullptr;
  }
  const DWORD timeout = kReplyTimeoutMs;
  setsockopt(s, SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<const char*>(&timeout), sizeof timeout);
  const BOOL noDelay = TRUE;
  setsockopt(s, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&noDelay), sizeof noDelay);
  return link;
}

SimulatorLink::~SimulatorLink() { closesocket(static_cast<SOCKET>(socket)); }

std::string SimulatorLink::Command(const std::string& line) {
  const SOCKET s = static_cast<SOCKET>(socket);
  const std::string out = line + "\n";
  for (size_t sent = 0; sent < out.size();) {
    const int n = send(s, out.data() + sent, static_cast<int>(out.size() - sent), 0);
    if (n <= 0) {
      return "";
    }
    sent += static_cast<size_t>(n);
  }
  size_t end;
  while ((end = pending.find('\n')) == std::string::npos) {
    char buffer[512];
    const int n = recv(s, buffer, sizeof buffer, 0);
    if (n <= 0) {
      return "";
    }
    pending.append(buffer, static_cast<size_t>(n));
  }
  std::string reply = pending.substr(0, end);
  pending.erase(0, end + 1);
  return reply;
}

int64_t UnixMicroseconds() {
  FILETIME now;
  GetSystemTimePreciseAsFileTime(&now);
  const int64_t ticks = (static_cast<int64_t>(now.dwHighDateTime) << 32) | now.dwLowDateTime;
  // 100 ns ticks since 1601 to microseconds since 1970.
  return (ticks - 116444736000000000LL) / 10;
}

}  // namespace stand_in
