#include "popserver/PeerOwner.h"

#include <fstream>
#include <sstream>
#include <string>

namespace {

// An end "AABBCCDD:PPPP" of /proc/net/tcp; the address is the kernel's network-order value
// printed as a native number, which on this machine reads back as sockwire's value.
struct Endpoint {
    std::uint32_t address = 0;
    std::uint32_t port = 0;
};

bool ParseHex(const std::string& text, std::uint32_t& value) {
    if (text.empty() || text.size() > 8) {
        return false;
    }
    try {
        std::size_t used = 0;
        value = static_cast<std::uint32_t>(std::stoul(text, &used, 16));
        return used == text.size();
    } catch (const std::exception&) {
        return false;
    }
}

bool ParseEndpoint(const std::string& text, Endpoint& endpoint) {
    const std::size_t colon = text.find(':');
    if (colon == std::string::npos) {
        return false;
    }
    std::string address = text.substr(0, colon);
    if (address.size() == 32) {
        // IPv6: only an IPv4-mapped address (::ffff:a.b.c.d) can be one of our loopback peers.
        if (address.compare(0, 16, std::string(16, '0')) != 0 ||
            address.compare(16, 8, "FFFF0000") != 0) {
            return false;
        }
        address = address.substr(24);
    }
    return ParseHex(address, endpoint.address) && ParseHex(text.substr(colon + 1), endpoint.port);
}

std::optional<uid_t> FindIn(const char* table, const Endpoint& peer, const Endpoint& local) {
    std::ifstream file(table);
    std::string line;
    std::getline(file, line);  // column titles
    while (std::getline(file, line)) {
        std::istringstream fields(line);
        std::string slot;
        std::string localText;
        std::string remoteText;
        std::string state;
        std::string queues;
        std::string timer;
        std::string retransmits;
        long long uid = -1;
        if (!(fields >> slot >> localText >> remoteText >> state >> queues >> timer >>
              retransmits >> uid)) {
            continue;
        }
        Endpoint entryLocal;
        Endpoint entryRemote;
        if (!ParseEndpoint(localText, entryLocal) || !ParseEndpoint(remoteText, entryRemote)) {
            continue;
        }
        if (entryLocal.address == peer.address && entryLocal.port == peer.port &&
            entryRemote.address == local.address && entryRemote.port == local.port && uid >= 0) {
            return static_cast<uid_t>(uid);
        }
    }
    return std::nullopt;
}

}  // namespace

std::optional<uid_t> FindPeerOwner(std::uint32_t peerAddress, std::uint32_t peerPort,
                                   std::uint32_t localAddress, std::uint32_t localPort) {
    const Endpoint peer{peerAddress, peerPort};
    const Endpoint local{localAddress, localPort};
    if (auto owner = FindIn("/proc/net/tcp", peer, local)) {
        return owner;
    }
    return FindIn("/proc/net/tcp6", peer, local);
}
