#pragma once

#include <cstdint>
#include <string>

// The POP3 server of a protected account as its letter box key names it: the key's host part,
// "pop.example.com" or "pop.example.com:995". Without a port the server is on 110. A plain value.
struct UpstreamServer {
    std::string host;
    std::int32_t port = 110;

    // Splits a key's host part at its last ":". Throws Exception "Invalid port in <text>" when
    // the port is empty, not a decimal number or outside 1..65535, and "Invalid host in <text>"
    // when the host is empty.
    static UpstreamServer Parse(const std::string& hostPart);
};
