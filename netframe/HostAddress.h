#pragma once

#include <cstdint>
#include <optional>

#include "netframe/Winsock.h"

namespace netframe {

// The first IPv4 address of a host lookup's answer; nothing for a missing or odd answer.
std::optional<std::uint32_t> FirstAddress(const winsock::HostEnt* host);

// A dotted address text as it stands (no lookup), otherwise the first address of the name
// (gethostbyname); nothing when neither gives one. "255.255.255.255" goes to the lookup.
// Any thread.
std::optional<std::uint32_t> ResolveHost(Winsock& winsock, const char* host);

}  // namespace netframe
