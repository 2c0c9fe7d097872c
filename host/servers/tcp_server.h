// A small TCP server for the host's loop: one listening socket and its
// clients, all non-blocking, served whenever the host waits for input or
// runs its periodic update.  Nothing here ever waits: a client that sends
// nothing, half a command or garbage, or that stops reading, costs the host
// nothing; each client's buffers are bounded, and a client that overflows
// one is dropped.
#pragma once

#include <poll.h>

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace host {

// An address to listen on: "PORT" (the loopback address) or "ADDRESS:PORT"
// ("[ADDRESS]:PORT" for an IPv6 address).  Port 0 takes any free port.
struct Endpoint {
  std::string address = "127.0.0.1";
  int port = 0;
  std::string Text() const;
};
bool ParseEndpoint(const std::string& text, Endpoint* out, std::string* error);

class TcpServer {
 public:
  struct Limits {
    std::size_t max_clients = 16;
    std::size_t max_input = 256;         // bytes a client may leave unparsed
    std::size_t max_output = 64 * 1024;  // bytes queued for a client that does not read
  };
  struct Client {
    int id = 0;
    int fd = -1;
    std::string peer;  // "127.0.0.1:50312"
    std::string in;    // received, not yet taken by the protocol
    std::string out;   // to send
    bool dropped = false;
  };

  TcpServer(std::string name, Limits limits) : name_(std::move(name)), limits_(limits) {}
  virtual ~TcpServer();
  TcpServer(const TcpServer&) = delete;
  TcpServer& operator=(const TcpServer&) = delete;

  // Listens on `endpoint` (stopping what listened before); false with a
  // reason.
  bool Listen(const Endpoint& endpoint, std::string* error);
  // Closes the listening socket and every client.
  void Stop();
  bool listening() const { return listen_fd_ >= 0; }
  // What it listens on, with the port the system gave for port 0.
  const Endpoint& endpoint() const { return endpoint_; }
  const std::string& name() const { return name_; }
  std::size_t client_count() const { return clients_.size(); }

  // The descriptors a poll should wait on for this server.
  void AddDescriptors(std::vector<pollfd>* fds) const;
  // Accepts, reads and writes whatever is ready, without waiting.
  void Serve();

  // Queues bytes for a client and sends what the socket takes now.
  void Send(Client& client, std::string_view bytes);
  Client* Find(int id);
  std::vector<std::unique_ptr<Client>>& clients() { return clients_; }

  // Lines for the prompt (clients coming and going); taken once.
  std::vector<std::string> TakeNotices();

 protected:
  // New bytes are in client.in: take what makes whole messages.
  virtual void Received(Client& client) = 0;
  virtual void Forget(Client&) {}
  void Drop(Client& client, const std::string& why);
  void Notice(const std::string& line) { notices_.push_back(line); }

 private:
  void Accept();
  void Read(Client& client);
  void Flush(Client& client);
  void Sweep();

  std::string name_;
  Limits limits_;
  Endpoint endpoint_;
  int listen_fd_ = -1;
  int next_id_ = 1;
  std::vector<std::unique_ptr<Client>> clients_;
  std::vector<std::string> notices_;
};

}  // namespace host
