#include "postoffice/UpstreamServer.h"

#include <algorithm>
#include <cctype>

#include "core/Exception.h"

UpstreamServer UpstreamServer::Parse(const std::string& hostPart) {
    UpstreamServer server;
    const auto colon = hostPart.rfind(':');
    server.host = hostPart.substr(0, colon);
    if (colon != std::string::npos) {
        const std::string digits = hostPart.substr(colon + 1);
        // At most five digits, so that the number cannot overflow before it is checked.
        if (digits.empty() || digits.size() > 5 ||
            !std::all_of(digits.begin(), digits.end(),
                         [](unsigned char c) { return std::isdigit(c) != 0; })) {
            throw Exception("Invalid port in " + hostPart);
        }
        server.port = std::stoi(digits);
        if (server.port < 1 || server.port > 65535) {
            throw Exception("Invalid port in " + hostPart);
        }
    }
    if (server.host.empty()) {
        throw Exception("Invalid host in " + hostPart);
    }
    return server;
}
