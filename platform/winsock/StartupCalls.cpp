// Start-up, errors, the blocking hook, byte order, address texts and the database functions.
#include <arpa/inet.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "platform/winsock/BlockingWait.h"
#include "platform/winsock/HostDatabase.h"
#include "platform/winsock/LayerState.h"
#include "platform/winsock/ThreadState.h"
#include "platform/winsock/WinsockApi.h"

using namespace winsock;

namespace {

constexpr std::uint16_t kHighestVersion = 0x0101;  // 1.1: major in the low byte
constexpr char kDescription[] = "Moxel Winsock 1.1 layer over POSIX sockets";

}  // namespace

WSOCK_API int wsock_WSAStartup(std::uint16_t version, WsaData* data) {
    const int major = version & 0xFF;
    const int minor = version >> 8;
    if (major < 1 || (major == 1 && minor < 1)) {
        return WSAVERNOTSUPPORTED;
    }
    if (!data) {
        return WSAEFAULT;
    }
    *data = {};
    data->version = kHighestVersion;
    data->highVersion = kHighestVersion;
    std::snprintf(data->description, sizeof(data->description), "%s", kDescription);
    std::snprintf(data->systemStatus, sizeof(data->systemStatus), "Running");
    data->maxSockets = 32767;
    data->maxUdpDatagram = 65467;
    LayerState::Start();
    return 0;
}

WSOCK_API int wsock_WSACleanup() {
    // Also inside a blocking call (from a message handled there): the last cleanup closes every
    // socket, which ends that call with WSAEINTR.
    return LayerState::Cleanup() ? 0 : Fail(WSANOTINITIALISED, kSocketError);
}

WSOCK_API void wsock_WSASetLastError(int error) {
    ThreadState::Current().lastError = error;
}

WSOCK_API int wsock_WSAGetLastError() {
    return ThreadState::Current().lastError;
}

WSOCK_API int wsock_WSAIsBlocking() {
    return ThreadState::Current().blocking ? 1 : 0;
}

WSOCK_API int wsock_WSAUnhookBlockingHook() {
    // Also from inside the hook: a library that ends there takes its hook along.
    if (!LayerState::IsStarted()) {
        return Fail(WSANOTINITIALISED, kSocketError);
    }
    ThreadState::Current().hook = nullptr;
    return 0;
}

WSOCK_API BlockingHook wsock_WSASetBlockingHook(BlockingHook hook) {
    if (!LayerState::CheckCallable()) {
        return nullptr;
    }
    if (!hook) {
        return Fail(WSAEFAULT, nullptr);
    }
    ThreadState& thread = ThreadState::Current();
    const BlockingHook previous = thread.hook ? thread.hook : &DefaultBlockingHook;
    thread.hook = hook == &DefaultBlockingHook ? nullptr : hook;
    return previous;
}

WSOCK_API int wsock_WSACancelBlockingCall() {
    if (!LayerState::IsStarted()) {
        return Fail(WSANOTINITIALISED, kSocketError);
    }
    ThreadState& thread = ThreadState::Current();
    if (!thread.blocking) {
        return Fail(WSAEINVAL, kSocketError);
    }
    thread.cancelled = true;
    return 0;
}

WSOCK_API std::uint32_t wsock_htonl(std::uint32_t value) {
    return htonl(value);
}
WSOCK_API std::uint16_t wsock_htons(std::uint16_t value) {
    return htons(value);
}
WSOCK_API std::uint32_t wsock_ntohl(std::uint32_t value) {
    return ntohl(value);
}
WSOCK_API std::uint16_t wsock_ntohs(std::uint16_t value) {
    return ntohs(value);
}

WSOCK_API std::uint32_t wsock_inet_addr(const char* text) {
    // The classic parser: "a.b.c.d" and the shorter forms, octal and hexadecimal parts;
    // an empty text is no address.
    if (!text || !*text) {
        return WS_INADDR_NONE;
    }
    in_addr parsed{};
    return ::inet_aton(text, &parsed) ? parsed.s_addr : WS_INADDR_NONE;
}

WSOCK_API char* wsock_inet_ntoa(InAddr address) {
    thread_local char text[16];
    const auto* bytes = reinterpret_cast<const unsigned char*>(&address.address);
    std::snprintf(text, sizeof(text), "%u.%u.%u.%u", bytes[0], bytes[1], bytes[2], bytes[3]);
    return text;
}

WSOCK_API HostEnt* wsock_gethostbyname(const char* name) {
    return LayerState::CheckCallable() ? HostDatabase::Current().ByName(name) : nullptr;
}

WSOCK_API HostEnt* wsock_gethostbyaddr(const char* address, int length, int type) {
    return LayerState::CheckCallable() ? HostDatabase::Current().ByAddress(address, length, type)
                                       : nullptr;
}

WSOCK_API int wsock_gethostname(char* name, int length) {
    if (!LayerState::CheckCallable()) {
        return kSocketError;
    }
    if (!name || length <= 0) {
        return Fail(WSAEFAULT, kSocketError);
    }
    if (::gethostname(name, static_cast<std::size_t>(length)) != 0 ||
        std::memchr(name, '\0', static_cast<std::size_t>(length)) == nullptr) {
        return Fail(WSAEFAULT, kSocketError);
    }
    return 0;
}

WSOCK_API ServEnt* wsock_getservbyname(const char* name, const char* protocol) {
    return LayerState::CheckCallable() ? HostDatabase::Current().ServiceByName(name, protocol)
                                       : nullptr;
}

WSOCK_API ServEnt* wsock_getservbyport(int port, const char* protocol) {
    return LayerState::CheckCallable() ? HostDatabase::Current().ServiceByPort(port, protocol)
                                       : nullptr;
}

WSOCK_API ProtoEnt* wsock_getprotobyname(const char* name) {
    return LayerState::CheckCallable() ? HostDatabase::Current().ProtocolByName(name) : nullptr;
}

WSOCK_API ProtoEnt* wsock_getprotobynumber(int number) {
    return LayerState::CheckCallable() ? HostDatabase::Current().ProtocolByNumber(number) : nullptr;
}
