#include "stellarium_server.h"

namespace host {

void StellariumServer::SendPosition(double ra, double dec, std::int64_t time_us) {
  const auto message = stellarium::PositionMessage(ra, dec, time_us);
  const std::string_view bytes(reinterpret_cast<const char*>(message.data()), message.size());
  for (auto& client : clients()) Send(*client, bytes);
}

void StellariumServer::Received(Client& client) {
  for (;;) {
    stellarium::Goto target;
    switch (stellarium::NextMessage(client.in, &target)) {
      case stellarium::Parse::kNeedMore:
        return;
      case stellarium::Parse::kGoto:
        requests_.push_back({client.peer, target});
        break;
      case stellarium::Parse::kSkipped:
        break;
      case stellarium::Parse::kBad:
        Drop(client, "does not speak Stellarium's telescope protocol; dropped");
        return;
    }
  }
}

}  // namespace host
