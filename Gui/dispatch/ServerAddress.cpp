#include "dispatch/ServerAddress.h"

#include <cctype>
#include <string_view>

#include "core/Exception.h"
#include "core/Format.h"

namespace {

constexpr std::int32_t kHighestPort = 65535;

[[noreturn]] void Refuse(const std::string& what, const std::string& setting,
                         const std::string& reason) {
    throw Exception(
        Format("The %1% \"%2%\" cannot be used: %3%. Write it as host or host:port, "
               "for example smtp.example.com:587",
               what, setting, reason));
}

std::string_view Trimmed(std::string_view text) {
    const auto isSpace = [](char c) { return std::isspace(static_cast<unsigned char>(c)) != 0; };
    while (!text.empty() && isSpace(text.front())) {
        text.remove_prefix(1);
    }
    while (!text.empty() && isSpace(text.back())) {
        text.remove_suffix(1);
    }
    return text;
}

std::int32_t ParsePort(const std::string& what, const std::string& setting,
                       std::string_view digits) {
    if (digits.empty() || digits.size() > 5) {
        Refuse(what, setting, "the port is not a number from 1 to 65535");
    }
    std::int32_t port = 0;
    for (const char c : digits) {
        if (c < '0' || c > '9') {
            Refuse(what, setting, "the port is not a number from 1 to 65535");
        }
        port = port * 10 + (c - '0');
    }
    if (port < 1 || port > kHighestPort) {
        Refuse(what, setting, "the port is not a number from 1 to 65535");
    }
    return port;
}

}  // namespace

ServerAddress ParseServerAddress(const std::string& setting, std::int32_t defaultPort,
                                 const std::string& what) {
    if (setting.find('\0') != std::string::npos) {
        Refuse(what, setting.substr(0, setting.find('\0')), "it holds a NUL byte");
    }
    const std::string_view text = Trimmed(setting);
    ServerAddress address;
    address.port = defaultPort;
    std::string_view host = text;
    std::string_view rest;
    if (!text.empty() && text.front() == '[') {
        const auto close = text.find(']');
        if (close == std::string_view::npos) {
            Refuse(what, setting, "the bracket of the address is not closed");
        }
        host = text.substr(1, close - 1);
        rest = text.substr(close + 1);
        if (!rest.empty() && rest.front() != ':') {
            Refuse(what, setting, "only a port may follow the bracketed address");
        }
    } else if (text.find(':') == text.rfind(':') && text.find(':') != std::string_view::npos) {
        // One colon: host and port. Several without brackets: an IPv6 address on port 25.
        const auto colon = text.find(':');
        host = text.substr(0, colon);
        rest = text.substr(colon);
    }
    if (host.empty()) {
        Refuse(what, setting, "the host name is empty");
    }
    if (!rest.empty()) {
        address.port = ParsePort(what, setting, rest.substr(1));
    }
    address.host = std::string(host);
    return address;
}
