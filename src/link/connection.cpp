// Operations 26 and 27: opening, configuring and closing the serial port.
#include "link/link.h"

namespace ctl {

void ConnectPort() {}
void DisconnectPort() {}
bool ConfigurePort(plat::Handle /*port*/) { return false; }

}  // namespace ctl
