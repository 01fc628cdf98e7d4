#pragma once

#include <cstdint>
#include <string>

// Where the SMTP server setting points: a host and a port. The setting is "host" (port 25),
// "host:port" (587 for submission, 465 for TLS from the first byte), or an IPv6 address in
// brackets with or without a port ("[::1]:587"); a bare IPv6 address takes port 25.
struct SmtpServerAddress {
    static constexpr std::int32_t kDefaultPort = 25;

    std::string host;
    std::int32_t port = kDefaultPort;
};

// Reads the setting; surrounding white space is ignored. An empty host, a port that is not a
// number from 1 to 65535, or a NUL byte throws Exception naming the setting as typed and the
// form it should have.
SmtpServerAddress ParseSmtpServerAddress(const std::string& setting);
