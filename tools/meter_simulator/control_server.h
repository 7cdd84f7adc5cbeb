#pragma once

#include <poll.h>

#include <functional>
#include <string>
#include <vector>

// The simulator's control channel: a TCP listener on 127.0.0.1 with a line protocol. Every line
// received is handed to the handler, whose result goes back as one reply line.
class ControlServer {
 public:
  using Handler = std::function<std::string(const std::string& line)>;

  // port 0 picks a free one; throws std::runtime_error.
  ControlServer(int port, Handler handler);
  ~ControlServer();
  ControlServer(const ControlServer&) = delete;
  ControlServer& operator=(const ControlServer&) = delete;

  int Port() const { return port_; }
  // Descriptors to wait on; Serve() afterwards handles whatever poll reported.
  void AddPollFds(std::vector<pollfd>* fds) const;
  void Serve(const std::vector<pollfd>& fds);

 private:
  struct Client {
    int fd;
    std::string pending;
  };

  void Accept();
  // False when the client has gone.
  bool ReadFrom(Client* client);

  int listener_ = -1;
  int port_ = 0;
  Handler handler_;
  std::vector<Client> clients_;
};
