#include "lx200_server.h"

namespace host {

void Lx200Server::Received(Client& client) {
  State& state = states_[client.id];
  std::optional<lx200::Context> context;
  while (!state.waiting && !client.dropped) {
    const std::optional<std::string> command = lx200::NextCommand(client.in);
    if (!command) break;
    if (!context) context = context_();
    const lx200::Reply reply = lx200::Answer(*command, state.protocol, *context);
    if (!reply.text.empty()) Send(client, reply.text);
    if (reply.action != lx200::Action::kNone) {
      requests_.push_back({client.id,
                           client.peer,
                           reply.action,
                           {*state.protocol.target_ra, *state.protocol.target_dec}});
      state.waiting = reply.action == lx200::Action::kSync;
    }
  }
}

void Lx200Server::AnswerSync(int id, const std::string& text) {
  Client* client = Find(id);
  if (client == nullptr) return;
  State& state = states_[id];
  state.waiting = false;
  Send(*client, text);
  Received(*client);
}

}  // namespace host
