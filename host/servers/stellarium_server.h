// The server of Stellarium's telescope protocol: the telescope's position to
// every client a few times a second, and the clients' gotos to the host.
#pragma once

#include <utility>
#include <vector>

#include "stellarium_protocol.h"
#include "tcp_server.h"

namespace host {

class StellariumServer : public TcpServer {
 public:
  struct Request {
    std::string peer;
    stellarium::Goto target;  // J2000
  };

  StellariumServer()
      : TcpServer("Stellarium", Limits{16, stellarium::kMaxMessage * 2, 16 * 1024}) {}

  // The position message to every client.
  void SendPosition(double ra_j2000, double dec_j2000, std::int64_t time_us);
  std::vector<Request> TakeRequests() { return std::exchange(requests_, {}); }

 protected:
  void Received(Client& client) override;

 private:
  std::vector<Request> requests_;
};

}  // namespace host
