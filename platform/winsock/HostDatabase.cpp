#include "platform/winsock/HostDatabase.h"

#include <netdb.h>
#include <netinet/in.h>

#include <algorithm>
#include <cstring>
#include <memory>

#include "platform/winsock/ErrorMapping.h"
#include "platform/winsock/ThreadState.h"

namespace winsock {

namespace {

constexpr std::size_t kDatabaseBufferSize = 4096;

}  // namespace

HostDatabase& HostDatabase::Current() {
    thread_local HostDatabase database;
    return database;
}

HostEnt* HostDatabase::FillHost(const std::string& name,
                                const std::vector<std::uint32_t>& addresses) {
    hostName = name;
    hostAddresses = addresses;
    hostAddressList.clear();
    for (auto& address : hostAddresses) {
        hostAddressList.push_back(reinterpret_cast<char*>(&address));
    }
    hostAddressList.push_back(nullptr);
    host.name = hostName.data();
    host.aliases = noAliases;
    host.addressType = WS_AF_INET;
    host.length = sizeof(std::uint32_t);
    host.addressList = hostAddressList.data();
    return &host;
}

HostEnt* HostDatabase::ByName(const char* name) {
    if (!name) {
        return Fail(WSAEFAULT, nullptr);
    }
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_CANONNAME;
    addrinfo* found = nullptr;
    // An empty name means this machine, as in Winsock.
    const int status = ::getaddrinfo(*name ? name : "localhost", nullptr, &hints, &found);
    if (status != 0) {
        return Fail(FromResolverError(status), nullptr);
    }
    std::unique_ptr<addrinfo, decltype(&::freeaddrinfo)> list(found, ::freeaddrinfo);
    std::vector<std::uint32_t> addresses;
    for (const addrinfo* item = found; item; item = item->ai_next) {
        const auto* address = reinterpret_cast<const sockaddr_in*>(item->ai_addr);
        const std::uint32_t value = address->sin_addr.s_addr;
        if (std::find(addresses.begin(), addresses.end(), value) == addresses.end()) {
            addresses.push_back(value);
        }
    }
    if (addresses.empty()) {
        return Fail(WSANO_DATA, nullptr);
    }
    return FillHost(found->ai_canonname ? found->ai_canonname : name, addresses);
}

HostEnt* HostDatabase::ByAddress(const char* address, int length, int type) {
    if (!address || length < static_cast<int>(sizeof(std::uint32_t))) {
        return Fail(WSAEFAULT, nullptr);
    }
    if (type != WS_AF_INET) {
        return Fail(WSAEAFNOSUPPORT, nullptr);
    }
    sockaddr_in posix{};
    posix.sin_family = AF_INET;
    std::memcpy(&posix.sin_addr.s_addr, address, sizeof(std::uint32_t));
    char name[NI_MAXHOST];
    const int status = ::getnameinfo(reinterpret_cast<const sockaddr*>(&posix), sizeof(posix), name,
                                     sizeof(name), nullptr, 0, NI_NAMEREQD);
    if (status != 0) {
        return Fail(FromResolverError(status), nullptr);
    }
    return FillHost(name, {posix.sin_addr.s_addr});
}

ServEnt* HostDatabase::FillService(const servent& found) {
    serviceName = found.s_name;
    serviceProtocol = found.s_proto;
    service = {serviceName.data(), noAliases, static_cast<std::int16_t>(found.s_port),
               serviceProtocol.data()};
    return &service;
}

ProtoEnt* HostDatabase::FillProtocol(const protoent& found) {
    protocolName = found.p_name;
    protocol = {protocolName.data(), noAliases, static_cast<std::int16_t>(found.p_proto)};
    return &protocol;
}

ServEnt* HostDatabase::ServiceByName(const char* name, const char* protocolFilter) {
    if (!name) {
        return Fail(WSAEFAULT, nullptr);
    }
    servent entry{};
    servent* result = nullptr;
    char buffer[kDatabaseBufferSize];
    if (::getservbyname_r(name, protocolFilter, &entry, buffer, sizeof(buffer), &result) != 0 ||
        !result) {
        return Fail(WSANO_DATA, nullptr);
    }
    return FillService(*result);
}

ServEnt* HostDatabase::ServiceByPort(int port, const char* protocolFilter) {
    servent entry{};
    servent* result = nullptr;
    char buffer[kDatabaseBufferSize];
    if (::getservbyport_r(port, protocolFilter, &entry, buffer, sizeof(buffer), &result) != 0 ||
        !result) {
        return Fail(WSANO_DATA, nullptr);
    }
    return FillService(*result);
}

ProtoEnt* HostDatabase::ProtocolByName(const char* name) {
    if (!name) {
        return Fail(WSAEFAULT, nullptr);
    }
    protoent entry{};
    protoent* result = nullptr;
    char buffer[kDatabaseBufferSize];
    if (::getprotobyname_r(name, &entry, buffer, sizeof(buffer), &result) != 0 || !result) {
        return Fail(WSANO_DATA, nullptr);
    }
    return FillProtocol(*result);
}

ProtoEnt* HostDatabase::ProtocolByNumber(int number) {
    protoent entry{};
    protoent* result = nullptr;
    char buffer[kDatabaseBufferSize];
    if (::getprotobynumber_r(number, &entry, buffer, sizeof(buffer), &result) != 0 || !result) {
        return Fail(WSANO_DATA, nullptr);
    }
    return FillProtocol(*result);
}

}  // namespace winsock
