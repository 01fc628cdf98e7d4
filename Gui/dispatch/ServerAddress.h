#pragma once

#include <cstdint>
#include <string>

// Where a server setting points: a host and a port. A setting is "host" (the default port),
// "host:port", or an IPv6 address in brackets with or without a port ("[::1]:587"); a bare
// IPv6 address takes the default port. For the SMTP server: "host" is port 25, "host:587"
// submission, "host:465" TLS from the first byte.
struct ServerAddress {
    std::string host;
    std::int32_t port = 0;
};

inline constexpr std::int32_t kDefaultSmtpPort = 25;
// popwire takes port 0 as the standard POP3 port.
inline constexpr std::int32_t kDefaultPopPort = 0;

// Reads a setting; surrounding white space is ignored. An empty host, a port that is not a
// number from 1 to 65535, or a NUL byte throws Exception naming `what` ("SMTP server"), the
// setting as typed and the form it should have.
ServerAddress ParseServerAddress(const std::string& setting, std::int32_t defaultPort,
                                 const std::string& what);
// The SMTP server setting: port 25 unless given.
inline ServerAddress ParseSmtpServerAddress(const std::string& setting) {
    return ParseServerAddress(setting, kDefaultSmtpPort, "SMTP server");
}
// The POP3 server of POP-before-SMTP: popwire's standard port unless given.
inline ServerAddress ParsePopServerAddress(const std::string& setting) {
    return ParseServerAddress(setting, kDefaultPopPort, "POP3 server");
}
