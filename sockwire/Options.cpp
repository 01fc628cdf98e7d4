// Socket options, one per call.
#include "netframe/LastError.h"
#include "sockwire.h"
#include "sockwire/SocketLibrary.h"

using netframe::Fail;
using sockwire::SocketLibrary;

namespace {

struct OptionName {
    int level;
    int name;
};

// The Winsock level and name of a library option; nothing for INET_OPTION_NONE and unknown
// values.
std::optional<OptionName> ToWinsockOption(std::uint32_t option) {
    switch (option) {
        case INET_OPTION_BROADCAST:
            return OptionName{winsock::WS_SOL_SOCKET, winsock::WS_SO_BROADCAST};
        case INET_OPTION_DONTROUTE:
            return OptionName{winsock::WS_SOL_SOCKET, winsock::WS_SO_DONTROUTE};
        case INET_OPTION_KEEPALIVE:
            return OptionName{winsock::WS_SOL_SOCKET, winsock::WS_SO_KEEPALIVE};
        case INET_OPTION_REUSEADDR:
            return OptionName{winsock::WS_SOL_SOCKET, winsock::WS_SO_REUSEADDR};
        case INET_OPTION_NODELAY:
            return OptionName{winsock::WS_IPPROTO_TCP, winsock::WS_TCP_NODELAY};
        default:
            return std::nullopt;
    }
}

}  // namespace

extern "C" {

int InetSetOption(SOCKET handle, std::uint32_t option, int enable) {
    if (!SocketLibrary::Instance().Lookup(handle)) {
        return INET_ERROR;
    }
    if (option == INET_OPTION_NONE) {
        return 0;
    }
    const auto name = ToWinsockOption(option);
    const std::int32_t value = enable;
    if (!name || SocketLibrary::Instance().Winsock().SetSockOpt(
                     handle, name->level, name->name, reinterpret_cast<const char*>(&value),
                     sizeof(value)) != 0) {
        return Fail(ERROR_INET_OPTION, INET_ERROR);
    }
    return 0;
}

int InetGetOption(SOCKET handle, std::uint32_t option, int* enabled) {
    if (!SocketLibrary::Instance().Lookup(handle)) {
        return INET_ERROR;
    }
    if (!enabled) {
        return Fail(ERROR_INET_PARAMETER, INET_ERROR);
    }
    *enabled = 0;
    if (option == INET_OPTION_NONE) {
        return 0;
    }
    const auto name = ToWinsockOption(option);
    std::int32_t value = 0;
    int length = sizeof(value);
    if (!name ||
        SocketLibrary::Instance().Winsock().GetSockOpt(
            handle, name->level, name->name, reinterpret_cast<char*>(&value), &length) != 0) {
        return Fail(ERROR_INET_OPTION, INET_ERROR);
    }
    *enabled = value != 0 ? 1 : 0;
    return 0;
}

}  // extern "C"
