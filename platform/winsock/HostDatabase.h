#pragma once

#include <netdb.h>

#include <string>
#include <vector>

#include "platform/winsock/WinsockApi.h"

namespace winsock {

// The calling thread's buffers for the database functions: each call of a kind overwrites the
// previous answer of that kind, as Winsock's per-thread buffers do.
class HostDatabase {
public:
    static HostDatabase& Current();

    // IPv4 addresses of a host name (or dotted text); null with the Winsock error set.
    HostEnt* ByName(const char* name);
    // The name of an IPv4 address; null with the Winsock error set.
    HostEnt* ByAddress(const char* address, int length, int type);
    ServEnt* ServiceByName(const char* name, const char* protocol);
    ServEnt* ServiceByPort(int port, const char* protocol);
    ProtoEnt* ProtocolByName(const char* name);
    ProtoEnt* ProtocolByNumber(int number);

private:
    HostEnt* FillHost(const std::string& name, const std::vector<std::uint32_t>& addresses);
    ServEnt* FillService(const servent& found);
    ProtoEnt* FillProtocol(const protoent& found);

    std::string hostName;
    std::vector<std::uint32_t> hostAddresses;
    std::vector<char*> hostAddressList;
    char* noAliases[1] = {nullptr};
    HostEnt host{};

    std::string serviceName;
    std::string serviceProtocol;
    ServEnt service{};

    std::string protocolName;
    ProtoEnt protocol{};
};

}  // namespace winsock
