// The LX200 server: planetarium programs follow the telescope with ":GR#"
// and ":GD#" and align it with ":Sr", ":Sd" and ":CM#".  A sync waits for
// the host (which works the plug-in's calibration list between two rounds
// of the loop); that client's further commands wait with it.
#pragma once

#include <functional>
#include <map>
#include <utility>
#include <vector>

#include "lx200_protocol.h"
#include "tcp_server.h"

namespace host {

class Lx200Server : public TcpServer {
 public:
  struct Request {
    int client = 0;
    std::string peer;
    lx200::Action action = lx200::Action::kNone;
    astro::Equatorial target;  // apparent place of the date
  };

  // `context` tells the server what it answers with, at the moment it answers.
  explicit Lx200Server(std::function<lx200::Context()> context)
      : TcpServer("LX200", Limits{16, lx200::kMaxCommand * 4, 64 * 1024}),
        context_(std::move(context)) {}

  // Syncs and gotos that came in since the last call.
  std::vector<Request> TakeRequests() { return std::exchange(requests_, {}); }
  // The answer to a client's sync; its waiting commands run on.
  void AnswerSync(int client, const std::string& text);

 protected:
  void Received(Client& client) override;
  void Forget(Client& client) override { states_.erase(client.id); }

 private:
  struct State {
    lx200::ClientState protocol;
    bool waiting = false;  // for the host's answer to a sync
  };
  std::function<lx200::Context()> context_;
  std::map<int, State> states_;
  std::vector<Request> requests_;
};

}  // namespace host
