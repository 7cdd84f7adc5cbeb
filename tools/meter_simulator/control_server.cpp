#include "tools/meter_simulator/control_server.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <stdexcept>

namespace {

const size_t kMaxLine = 4096;

void SendLine(int fd, std::string line) {
  line += "\n";
  const char* data = line.data();
  size_t left = line.size();
  while (left > 0) {
    const ssize_t sent = send(fd, data, left, MSG_NOSIGNAL);
    if (sent < 0 && errno == EINTR) continue;
    if (sent <= 0) return;
    data += sent;
    left -= static_cast<size_t>(sent);
  }
}

}  // namespace

ControlServer::ControlServer(int port, Handler handler) : handler_(std::move(handler)) {
  listener_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (listener_ < 0) throw std::runtime_error(std::string("socket: ") + std::strerror(errno));
  const int yes = 1;
  setsockopt(listener_, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = htons(static_cast<uint16_t>(port));
  socklen_t length = sizeof address;
  if (bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
      listen(listener_, 8) != 0 ||
      getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
    const std::string reason = std::strerror(errno);
    close(listener_);
    throw std::runtime_error("control port: " + reason);
  }
  port_ = ntohs(address.sin_port);
}

ControlServer::~ControlServer() {
  for (const Client& c : clients_) close(c.fd);
  close(listener_);
}

void ControlServer::AddPollFds(std::vector<pollfd>* fds) const {
  fds->push_back({listener_, POLLIN, 0});
  for (const Client& c : clients_) fds->push_back({c.fd, POLLIN, 0});
}

void ControlServer::Serve(const std::vector<pollfd>& fds) {
  std::vector<int> ready;
  bool newClient = false;
  for (const pollfd& p : fds) {
    if (p.revents == 0) continue;
    if (p.fd == listener_) {
      newClient = true;
    } else {
      ready.push_back(p.fd);
    }
  }
  for (int fd : ready) {
    for (size_t i = 0; i < clients_.size(); ++i) {
      if (clients_[i].fd != fd) continue;
      if (!ReadFrom(&clients_[i])) {
        close(fd);
        clients_.erase(clients_.begin() + static_cast<std::ptrdiff_t>(i));
      }
      break;
    }
  }
  if (newClient) Accept();
}

void ControlServer::Accept() {
  const int fd = accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
  if (fd < 0) return;
  const int yes = 1;
  setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &yes, sizeof yes);
  clients_.push_back({fd, {}});
}

bool ControlServer::ReadFrom(Client* client) {
  char buffer[512];
  const ssize_t n = recv(client->fd, buffer, sizeof buffer, 0);
  if (n < 0 && errno == EINTR) return true;
  if (n <= 0) return false;
  client->pending.append(buffer, static_cast<size_t>(n));
  size_t end;
  while ((end = client->pending.find('\n')) != std::string::npos) {
    std::string line = client->pending.substr(0, end);
    client->pending.erase(0, end + 1);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    SendLine(client->fd, handler_(line));
  }
  if (client->pending.size() > kMaxLine) {
    SendLine(client->fd, "error line too long");
    return false;
  }
  return true;
}
