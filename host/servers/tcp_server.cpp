#include "tcp_server.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <utility>

namespace host {
namespace {

std::string PeerName(const sockaddr_storage& address) {
  char host[NI_MAXHOST] = "?", port[NI_MAXSERV] = "?";
  getnameinfo(reinterpret_cast<const sockaddr*>(&address), sizeof address, host, sizeof host, port,
              sizeof port, NI_NUMERICHOST | NI_NUMERICSERV);
  return std::string(host) + ":" + port;
}

// Bytes read from a client at one time: no more than its buffer may hold,
// so that the protocol takes whole messages before the buffer is checked.
constexpr std::size_t kReadChunk = 256;
// Reads from one client in one round, so that a client that floods the
// socket cannot keep the host from everything else.
constexpr int kReadsPerRound = 16;

}  // namespace

std::string Endpoint::Text() const {
  const bool v6 = address.find(':') != std::string::npos;
  return (v6 ? "[" + address + "]" : address) + ":" + std::to_string(port);
}

bool ParseEndpoint(const std::string& text, Endpoint* out, std::string* error) {
  Endpoint e;
  std::string port = text;
  if (!text.empty() && text.front() == '[') {
    const std::size_t close = text.find("]:");
    if (close == std::string::npos) {
      *error = "'" + text + "' is not [ADDRESS]:PORT";
      return false;
    }
    e.address = text.substr(1, close - 1);
    port = text.substr(close + 2);
  } else if (const std::size_t colon = text.rfind(':'); colon != std::string::npos) {
    e.address = text.substr(0, colon);
    port = text.substr(colon + 1);
  }
  if (e.address.empty() || port.empty() || port.size() > 5 ||
      port.find_first_not_of("0123456789") != std::string::npos || std::stoi(port) > 65535) {
    *error = "'" + text + "' is not [ADDRESS:]PORT with a port from 0 to 65535";
    return false;
  }
  e.port = std::stoi(port);
  *out = e;
  return true;
}

TcpServer::~TcpServer() { Stop(); }

bool TcpServer::Listen(const Endpoint& endpoint, std::string* error) {
  Stop();
  addrinfo hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  hints.ai_flags = AI_PASSIVE | AI_NUMERICSERV;
  addrinfo* found = nullptr;
  const std::string port = std::to_string(endpoint.port);
  if (const int rc = getaddrinfo(endpoint.address.c_str(), port.c_str(), &hints, &found); rc != 0) {
    *error = "cannot listen on " + endpoint.Text() + ": " + gai_strerror(rc);
    return false;
  }
  std::string why = "no address";
  for (addrinfo* a = found; a != nullptr; a = a->ai_next) {
    const int fd = socket(a->ai_family, a->ai_socktype | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0) {
      why = std::strerror(errno);
      continue;
    }
    const int one = 1;
    setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    if (bind(fd, a->ai_addr, a->ai_addrlen) != 0 || listen(fd, 8) != 0) {
      why = std::strerror(errno);
      close(fd);
      continue;
    }
    sockaddr_storage bound{};
    socklen_t length = sizeof bound;
    getsockname(fd, reinterpret_cast<sockaddr*>(&bound), &length);
    listen_fd_ = fd;
    endpoint_ = endpoint;
    const std::string name = PeerName(bound);
    endpoint_.port = std::stoi(name.substr(name.rfind(':') + 1));
    break;
  }
  freeaddrinfo(found);
  if (listen_fd_ < 0) {
    *error = "cannot listen on " + endpoint.Text() + ": " + why;
    return false;
  }
  return true;
}

void TcpServer::Stop() {
  for (auto& client : clients_) {
    if (client->fd >= 0) close(client->fd);
    Forget(*client);
  }
  clients_.clear();
  if (listen_fd_ >= 0) close(listen_fd_);
  listen_fd_ = -1;
}

void TcpServer::AddDescriptors(std::vector<pollfd>* fds) const {
  if (listen_fd_ >= 0) fds->push_back({listen_fd_, POLLIN, 0});
  for (const auto& client : clients_) {
    const short events = static_cast<short>(POLLIN | (client->out.empty() ? 0 : POLLOUT));
    fds->push_back({client->fd, events, 0});
  }
}

void TcpServer::Serve() {
  if (listen_fd_ < 0) return;
  Accept();
  for (std::size_t i = 0; i < clients_.size(); ++i) {
    Client& client = *clients_[i];
    if (!client.dropped) Read(client);
    if (!client.dropped) Flush(client);
  }
  Sweep();
}

void TcpServer::Accept() {
  for (;;) {
    sockaddr_storage address{};
    socklen_t length = sizeof address;
    const int fd = accept4(listen_fd_, reinterpret_cast<sockaddr*>(&address), &length,
                           SOCK_NONBLOCK | SOCK_CLOEXEC);
    if (fd < 0) {
      if (errno == EINTR || errno == ECONNABORTED) continue;
      return;  // EAGAIN: nobody else waits; anything else: try again next round
    }
    const std::string peer = PeerName(address);
    if (clients_.size() >= limits_.max_clients) {
      close(fd);
      Notice(name_ + ": turned away " + peer + " (already " + std::to_string(clients_.size()) +
             " clients)");
      continue;
    }
    const int one = 1;
    setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    auto client = std::make_unique<Client>();
    client->id = next_id_++;
    client->fd = fd;
    client->peer = peer;
    Notice(name_ + ": " + peer + " connected");
    clients_.push_back(std::move(client));
  }
}

void TcpServer::Read(Client& client) {
  for (int round = 0; round < kReadsPerRound && !client.dropped; ++round) {
    char buffer[kReadChunk];
    const ssize_t got = recv(client.fd, buffer, sizeof buffer, 0);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) return;
    if (got <= 0) {
      Drop(client, got == 0 ? "hung up" : std::strerror(errno));
      return;
    }
    client.in.append(buffer, static_cast<std::size_t>(got));
    Received(client);
    if (!client.dropped && client.in.size() > limits_.max_input) {
      Drop(client,
           "sent " + std::to_string(client.in.size()) + " bytes that make no message; dropped");
    }
  }
}

void TcpServer::Send(Client& client, std::string_view bytes) {
  if (client.dropped) return;
  client.out.append(bytes);
  if (client.out.size() > limits_.max_output) {
    Drop(client, "reads nothing of what it is sent; dropped");
    return;
  }
  Flush(client);
}

void TcpServer::Flush(Client& client) {
  while (!client.out.empty() && !client.dropped) {
    // MSG_NOSIGNAL: a client that hung up gives EPIPE, not a signal that
    // would end the host.
    const ssize_t sent = send(client.fd, client.out.data(), client.out.size(), MSG_NOSIGNAL);
    if (sent < 0 && errno == EINTR) continue;
    if (sent < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) return;
    if (sent < 0) {
      Drop(client, std::strerror(errno));
      return;
    }
    client.out.erase(0, static_cast<std::size_t>(sent));
  }
}

TcpServer::Client* TcpServer::Find(int id) {
  for (auto& client : clients_) {
    if (client->id == id && !client->dropped) return client.get();
  }
  return nullptr;
}

void TcpServer::Drop(Client& client, const std::string& why) {
  if (client.dropped) return;
  client.dropped = true;
  Notice(name_ + ": " + client.peer + " " + why);
}

void TcpServer::Sweep() {
  for (auto it = clients_.begin(); it != clients_.end();) {
    if ((*it)->dropped) {
      close((*it)->fd);
      Forget(**it);
      it = clients_.erase(it);
    } else {
      ++it;
    }
  }
}

std::vector<std::string> TcpServer::TakeNotices() { return std::exchange(notices_, {}); }

}  // namespace host
