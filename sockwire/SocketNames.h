#pragma once

#include <cstdint>
#include <optional>

#include "platform/winsock/WinsockApi.h"
#include "sockwire/InetClient.h"

namespace sockwire {

// Asks Winsock for the socket's own address and port and records them in the record. False
// (the record unchanged) when Winsock has none.
bool RecordLocalAddress(InetClient& client);
// The same for the peer's address and port.
bool RecordPeerAddress(InetClient& client);

// The first IPv4 address of a host lookup's answer; nothing for a missing or odd answer.
std::optional<std::uint32_t> FirstAddress(const winsock::HostEnt* host);

// A dotted address text as it stands (no lookup), otherwise the first address of the name;
// nothing when neither gives one. "255.255.255.255" goes to the lookup.
std::optional<std::uint32_t> ResolveHost(const char* host);

}  // namespace sockwire
