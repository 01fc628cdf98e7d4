#pragma once

#include "platform/winsock/WinsockApi.h"
#include "sockwire/InetClient.h"

namespace sockwire {

// Asks Winsock for the socket's own address and port and records them in the record. False
// (the record unchanged) when Winsock has none.
bool RecordLocalAddress(InetClient& client);
// The same for the peer's address and port.
bool RecordPeerAddress(InetClient& client);

}  // namespace sockwire
