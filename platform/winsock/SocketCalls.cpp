// The socket functions of the layer: each maps one Winsock call onto the POSIX descriptor of
// the socket, with Winsock's blocking behaviour and error numbers.
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/ioctl.h>
#include <sys/socket.h>

#include <cerrno>
#include <cstring>

#include "platform/windows/MessageWindows.h"
#include "platform/winsock/AsyncNotifier.h"
#include "platform/winsock/BlockingWait.h"
#include "platform/winsock/ErrorMapping.h"
#include "platform/winsock/LayerState.h"
#include "platform/winsock/SocketTable.h"
#include "platform/winsock/WinsockApi.h"

using namespace winsock;

namespace {

constexpr int kAddressLength = static_cast<int>(sizeof(SockAddrIn));
static_assert(sizeof(SockAddrIn) == sizeof(sockaddr_in));
static_assert(sizeof(Linger) == 4);

// The socket for a call, or null with the error set (not started, inside a blocking call,
// unknown socket).
std::shared_ptr<SocketEntry> Callable(Socket s) {
    if (!LayerState::CheckCallable()) {
        return nullptr;
    }
    auto entry = SocketTable::Instance().Find(s);
    if (!entry) {
        Fail(WSAENOTSOCK, 0);
    }
    return entry;
}

bool ToPosixAddress(const SockAddr* address, int length, sockaddr_in& posix) {
    if (!address || length < kAddressLength) {
        return Fail(WSAEFAULT, false);
    }
    std::memcpy(&posix, address, sizeof(posix));
    if (posix.sin_family != AF_INET) {
        return Fail(WSAEAFNOSUPPORT, false);
    }
    return true;
}

// Copies an address out; a null `address` asks for nothing.
bool FromPosixAddress(const sockaddr_in& posix, SockAddr* address, int* length) {
    if (!address) {
        return true;
    }
    if (!length || *length < kAddressLength) {
        return Fail(WSAEFAULT, false);
    }
    std::memcpy(address, &posix, sizeof(posix));
    *length = kAddressLength;
    return true;
}

bool IsBlocking(SocketEntry& entry) {
    std::lock_guard lock(entry.mutex);
    return !entry.nonBlocking;
}

// Runs `attempt` (a POSIX call on the descriptor that fails with EAGAIN when it would wait);
// for a blocking socket waits for `events` and tries again. Returns the call's result, or -1
// with the Winsock error set.
template <typename Attempt>
ssize_t Perform(const std::shared_ptr<SocketEntry>& entry, short events, Attempt attempt) {
    const bool blocking = IsBlocking(*entry);
    for (;;) {
        const ssize_t result = attempt();
        if (result >= 0) {
            return result;
        }
        const int error = errno;
        if (error == EINTR) {
            continue;
        }
        if (error != EAGAIN || !blocking) {
            return Fail(FromErrno(error), -1);
        }
        BlockingWait wait({entry});
        std::vector<pollfd> descriptor{{entry->fd, events, 0}};
        if (wait.Poll(descriptor, std::nullopt) < 0) {
            return -1;
        }
    }
}

// Winsock recv/send flags as POSIX flags; false for flags the layer does not know.
bool ToPosixFlags(int flags, int& posix) {
    if (flags & ~(WS_MSG_OOB | WS_MSG_PEEK | WS_MSG_DONTROUTE)) {
        return Fail(WSAEOPNOTSUPP, false);
    }
    posix = ((flags & WS_MSG_OOB) ? MSG_OOB : 0) | ((flags & WS_MSG_PEEK) ? MSG_PEEK : 0) |
            ((flags & WS_MSG_DONTROUTE) ? MSG_DONTROUTE : 0);
    return true;
}

// For receiving and sending on a stream: false with WSAENOTCONN unless it is connected.
bool CheckConnected(SocketEntry& entry) {
    std::lock_guard lock(entry.mutex);
    if (entry.type != WS_SOCK_STREAM) {
        return true;
    }
    entry.SettleConnectLocked();
    return entry.connected && !entry.listening ? true : Fail(WSAENOTCONN, false);
}

void Rearm(SocketEntry& entry, std::uint32_t bits) {
    std::lock_guard lock(entry.mutex);
    AsyncNotifier::Instance().RearmLocked(entry, bits);
}

// The POSIX level and name of a Winsock option that maps one to one; false when none does.
bool ToPosixOption(int level, int name, int& posixLevel, int& posixName) {
    if (level == WS_IPPROTO_TCP && name == WS_TCP_NODELAY) {
        posixLevel = IPPROTO_TCP;
        posixName = TCP_NODELAY;
        return true;
    }
    if (level != WS_SOL_SOCKET) {
        return false;
    }
    posixLevel = SOL_SOCKET;
    switch (name) {
        case WS_SO_REUSEADDR:
            posixName = SO_REUSEADDR;
            return true;
        case WS_SO_KEEPALIVE:
            posixName = SO_KEEPALIVE;
            return true;
        case WS_SO_DONTROUTE:
            posixName = SO_DONTROUTE;
            return true;
        case WS_SO_BROADCAST:
            posixName = SO_BROADCAST;
            return true;
        case WS_SO_SNDBUF:
            posixName = SO_SNDBUF;
            return true;
        case WS_SO_RCVBUF:
            posixName = SO_RCVBUF;
            return true;
        default:
            return false;
    }
}

int CopyIntOption(int value, char* out, int* length) {
    if (*length < static_cast<int>(sizeof(int))) {
        return Fail(WSAEFAULT, kSocketError);
    }
    std::memcpy(out, &value, sizeof(value));
    *length = sizeof(value);
    return 0;
}

// The Winsock error pending on the socket (SO_ERROR), cleared by reading it.
int TakeSocketError(SocketEntry& entry) {
    std::lock_guard lock(entry.mutex);
    entry.SettleConnectLocked();
    int error = entry.connectError;
    entry.connectError = 0;
    if (error == 0) {
        int posix = 0;
        socklen_t size = sizeof(posix);
        ::getsockopt(entry.fd, SOL_SOCKET, SO_ERROR, &posix, &size);
        error = posix ? FromErrno(posix) : 0;
    }
    return error;
}

// getpeername / getsockname with Winsock's checks and errors.
int QueryName(Socket s, SockAddr* address, int* length, int (*query)(int, sockaddr*, socklen_t*)) {
    const auto entry = Callable(s);
    if (!entry) {
        return kSocketError;
    }
    if (!address || !length) {
        return Fail(WSAEFAULT, kSocketError);
    }
    sockaddr_in posix{};
    socklen_t size = sizeof(posix);
    if (query(entry->fd, reinterpret_cast<sockaddr*>(&posix), &size) != 0) {
        return Fail(FromErrno(errno), kSocketError);
    }
    return FromPosixAddress(posix, address, length) ? 0 : kSocketError;
}

int ConnectBlocking(const std::shared_ptr<SocketEntry>& entry) {
    {
        BlockingWait wait({entry});
        std::vector<pollfd> descriptor{{entry->fd, POLLOUT, 0}};
        const int ready = wait.Poll(descriptor, std::nullopt);
        std::lock_guard lock(entry->mutex);
        entry->connectPending = true;
        if (ready < 0) {
            // The connect goes on; SO_ERROR or a later select tells how it ended.
            return kSocketError;
        }
    }
    std::lock_guard lock(entry->mutex);
    entry->SettleConnectLocked();
    if (entry->connectError) {
        const int error = entry->connectError;
        entry->connectError = 0;
        return Fail(error, kSocketError);
    }
    AsyncNotifier::Instance().UpdateLocked(*entry);
    return 0;
}

}  // namespace

WSOCK_API Socket wsock_socket(int family, int type, int protocol) {
    if (!LayerState::CheckCallable()) {
        return kInvalidSocket;
    }
    if (family != WS_AF_INET) {
        return Fail(WSAEAFNOSUPPORT, kInvalidSocket);
    }
    if (type != WS_SOCK_STREAM && type != WS_SOCK_DGRAM && type != WS_SOCK_RAW) {
        return Fail(WSAESOCKTNOSUPPORT, kInvalidSocket);
    }
    if ((type == WS_SOCK_STREAM && protocol != 0 && protocol != WS_IPPROTO_TCP) ||
        (type == WS_SOCK_DGRAM && protocol != 0 && protocol != WS_IPPROTO_UDP)) {
        return Fail(WSAEPROTONOSUPPORT, kInvalidSocket);
    }
    const int posixType = type == WS_SOCK_STREAM  ? SOCK_STREAM
                          : type == WS_SOCK_DGRAM ? SOCK_DGRAM
                                                  : SOCK_RAW;
    const int fd = ::socket(AF_INET, posixType | SOCK_NONBLOCK | SOCK_CLOEXEC, protocol);
    if (fd < 0) {
        return Fail(FromErrno(errno), kInvalidSocket);
    }
    return SocketTable::Instance().Add(fd, type)->id;
}

WSOCK_API int wsock_closesocket(Socket s) {
    // Allowed inside a blocking call too: a library that ends from a message handled there
    // must be able to let its sockets go (a wait on one of them ends with WSAEINTR).
    if (!LayerState::IsStarted()) {
        return Fail(WSANOTINITIALISED, kSocketError);
    }
    return SocketTable::Instance().Close(s) ? 0 : Fail(WSAENOTSOCK, kSocketError);
}

WSOCK_API int wsock_bind(Socket s, const SockAddr* address, int length) {
    const auto entry = Callable(s);
    sockaddr_in posix{};
    if (!entry || !ToPosixAddress(address, length, posix)) {
        return kSocketError;
    }
    if (::bind(entry->fd, reinterpret_cast<const sockaddr*>(&posix), sizeof(posix)) != 0) {
        return Fail(FromErrno(errno), kSocketError);
    }
    return 0;
}

WSOCK_API int wsock_listen(Socket s, int backlog) {
    const auto entry = Callable(s);
    if (!entry) {
        return kSocketError;
    }
    std::lock_guard lock(entry->mutex);
    if (entry->type != WS_SOCK_STREAM) {
        return Fail(WSAEOPNOTSUPP, kSocketError);
    }
    if (entry->connected || entry->connectPending) {
        return Fail(WSAEISCONN, kSocketError);
    }
    if (::listen(entry->fd, backlog) != 0) {
        return Fail(FromErrno(errno), kSocketError);
    }
    entry->listening = true;
    AsyncNotifier::Instance().UpdateLocked(*entry);
    return 0;
}

WSOCK_API Socket wsock_accept(Socket s, SockAddr* address, int* addressLength) {
    const auto entry = Callable(s);
    if (!entry) {
        return kInvalidSocket;
    }
    {
        std::lock_guard lock(entry->mutex);
        if (!entry->listening) {
            return Fail(WSAEINVAL, kInvalidSocket);
        }
    }
    if (address && (!addressLength || *addressLength < kAddressLength)) {
        return Fail(WSAEFAULT, kInvalidSocket);
    }
    sockaddr_in peer{};
    socklen_t peerLength = sizeof(peer);
    const ssize_t fd = Perform(entry, POLLIN, [&] {
        return ::accept4(entry->fd, reinterpret_cast<sockaddr*>(&peer), &peerLength,
                         SOCK_NONBLOCK | SOCK_CLOEXEC);
    });
    Rearm(*entry, WS_FD_ACCEPT);
    if (fd < 0) {
        return kInvalidSocket;
    }
    const auto accepted = SocketTable::Instance().Add(static_cast<int>(fd), WS_SOCK_STREAM);
    {
        std::lock_guard lock(accepted->mutex);
        accepted->connected = true;
    }
    FromPosixAddress(peer, address, addressLength);
    return accepted->id;
}

WSOCK_API int wsock_connect(Socket s, const SockAddr* address, int length) {
    const auto entry = Callable(s);
    sockaddr_in posix{};
    if (!entry || !ToPosixAddress(address, length, posix)) {
        return kSocketError;
    }
    bool blocking;
    {
        std::lock_guard lock(entry->mutex);
        if (entry->listening) {
            return Fail(WSAEINVAL, kSocketError);
        }
        if (entry->connectPending) {
            return Fail(WSAEALREADY, kSocketError);
        }
        if (entry->connected && entry->type == WS_SOCK_STREAM) {
            return Fail(WSAEISCONN, kSocketError);
        }
        blocking = !entry->nonBlocking;
    }
    const int result =
        ::connect(entry->fd, reinterpret_cast<const sockaddr*>(&posix), sizeof(posix));
    const int error = errno;
    if (result != 0 && error != EINPROGRESS) {
        return Fail(FromErrno(error), kSocketError);
    }
    if (entry->type != WS_SOCK_STREAM) {
        std::lock_guard lock(entry->mutex);
        entry->connected = true;
        return 0;
    }
    if (blocking) {
        return ConnectBlocking(entry);
    }
    // A non-blocking connect always finishes later, as in Winsock, even one that the system
    // completed at once: select and FD_CONNECT then report it.
    std::lock_guard lock(entry->mutex);
    entry->connectPending = true;
    AsyncNotifier::Instance().UpdateLocked(*entry);
    return Fail(WSAEWOULDBLOCK, kSocketError);
}

WSOCK_API int wsock_ioctlsocket(Socket s, long command, std::uint32_t* argument) {
    const auto entry = Callable(s);
    if (!entry) {
        return kSocketError;
    }
    if (!argument) {
        return Fail(WSAEFAULT, kSocketError);
    }
    if (command == WS_FIONBIO) {
        std::lock_guard lock(entry->mutex);
        if (*argument == 0 && entry->events != 0) {
            // Winsock keeps a socket with window notifications non-blocking.
            return Fail(WSAEINVAL, kSocketError);
        }
        entry->nonBlocking = *argument != 0;
        return 0;
    }
    if (command == WS_FIONREAD) {
        int count = 0;
        if (::ioctl(entry->fd, FIONREAD, &count) != 0) {
            return Fail(FromErrno(errno), kSocketError);
        }
        *argument = static_cast<std::uint32_t>(count);
        return 0;
    }
    return Fail(WSAEINVAL, kSocketError);
}

WSOCK_API int wsock_getpeername(Socket s, SockAddr* address, int* length) {
    return QueryName(s, address, length, &::getpeername);
}

WSOCK_API int wsock_getsockname(Socket s, SockAddr* address, int* length) {
    return QueryName(s, address, length, &::getsockname);
}

WSOCK_API int wsock_getsockopt(Socket s, int level, int name, char* value, int* length) {
    const auto entry = Callable(s);
    if (!entry) {
        return kSocketError;
    }
    if (!value || !length) {
        return Fail(WSAEFAULT, kSocketError);
    }
    if (level == WS_SOL_SOCKET) {
        switch (name) {
            case WS_SO_ACCEPTCONN: {
                std::lock_guard lock(entry->mutex);
                return CopyIntOption(entry->listening ? 1 : 0, value, length);
            }
            case WS_SO_ERROR:
                return CopyIntOption(TakeSocketError(*entry), value, length);
            case WS_SO_TYPE:
                return CopyIntOption(entry->type, value, length);
            case WS_SO_LINGER: {
                linger posix{};
                socklen_t size = sizeof(posix);
                if (*length < static_cast<int>(sizeof(Linger))) {
                    return Fail(WSAEFAULT, kSocketError);
                }
                if (::getsockopt(entry->fd, SOL_SOCKET, SO_LINGER, &posix, &size) != 0) {
                    return Fail(FromErrno(errno), kSocketError);
                }
                const Linger result{static_cast<std::uint16_t>(posix.l_onoff),
                                    static_cast<std::uint16_t>(posix.l_linger)};
                std::memcpy(value, &result, sizeof(result));
                *length = sizeof(result);
                return 0;
            }
            default:
                break;
        }
    }
    int posixLevel = 0;
    int posixName = 0;
    if (!ToPosixOption(level, name, posixLevel, posixName)) {
        return Fail(WSAENOPROTOOPT, kSocketError);
    }
    int posix = 0;
    socklen_t size = sizeof(posix);
    if (::getsockopt(entry->fd, posixLevel, posixName, &posix, &size) != 0) {
        return Fail(FromErrno(errno), kSocketError);
    }
    return CopyIntOption(posix, value, length);
}

WSOCK_API int wsock_setsockopt(Socket s, int level, int name, const char* value, int length) {
    const auto entry = Callable(s);
    if (!entry) {
        return kSocketError;
    }
    if (!value || length < static_cast<int>(sizeof(std::int32_t))) {
        return Fail(WSAEFAULT, kSocketError);
    }
    if (level == WS_SOL_SOCKET && name == WS_SO_LINGER) {
        Linger requested;
        std::memcpy(&requested, value, sizeof(requested));
        const linger posix{requested.onOff ? 1 : 0, requested.seconds};
        if (::setsockopt(entry->fd, SOL_SOCKET, SO_LINGER, &posix, sizeof(posix)) != 0) {
            return Fail(FromErrno(errno), kSocketError);
        }
        return 0;
    }
    int posixLevel = 0;
    int posixName = 0;
    if (!ToPosixOption(level, name, posixLevel, posixName)) {
        return Fail(WSAENOPROTOOPT, kSocketError);
    }
    std::int32_t posix;
    std::memcpy(&posix, value, sizeof(posix));
    if (::setsockopt(entry->fd, posixLevel, posixName, &posix, sizeof(posix)) != 0) {
        return Fail(FromErrno(errno), kSocketError);
    }
    return 0;
}

WSOCK_API int wsock_recv(Socket s, char* buffer, int length, int flags) {
    return wsock_recvfrom(s, buffer, length, flags, nullptr, nullptr);
}

WSOCK_API int wsock_recvfrom(Socket s, char* buffer, int length, int flags, SockAddr* from,
                             int* fromLength) {
    const auto entry = Callable(s);
    int posixFlags = 0;
    if (!entry || !ToPosixFlags(flags, posixFlags)) {
        return kSocketError;
    }
    if (length < 0 || (!buffer && length > 0) ||
        (from && (!fromLength || *fromLength < kAddressLength))) {
        return Fail(WSAEFAULT, kSocketError);
    }
    if (!CheckConnected(*entry)) {
        return kSocketError;
    }
    sockaddr_in sender{};
    socklen_t senderLength = sizeof(sender);
    const ssize_t received = Perform(entry, POLLIN, [&] {
        return ::recvfrom(entry->fd, buffer, static_cast<std::size_t>(length),
                          posixFlags | MSG_DONTWAIT, reinterpret_cast<sockaddr*>(&sender),
                          &senderLength);
    });
    // Any receive call lets the next FD_READ (or FD_OOB) be posted.
    Rearm(*entry, (flags & WS_MSG_OOB) ? WS_FD_OOB : WS_FD_READ);
    if (received < 0) {
        return kSocketError;
    }
    if (from && senderLength >= sizeof(sender)) {
        FromPosixAddress(sender, from, fromLength);
    }
    return static_cast<int>(received);
}

WSOCK_API int wsock_send(Socket s, const char* buffer, int length, int flags) {
    return wsock_sendto(s, buffer, length, flags, nullptr, 0);
}

WSOCK_API int wsock_sendto(Socket s, const char* buffer, int length, int flags, const SockAddr* to,
                           int toLength) {
    const auto entry = Callable(s);
    int posixFlags = 0;
    if (!entry || !ToPosixFlags(flags, posixFlags)) {
        return kSocketError;
    }
    if (length < 0 || (!buffer && length > 0)) {
        return Fail(WSAEFAULT, kSocketError);
    }
    sockaddr_in target{};
    if (to && !ToPosixAddress(to, toLength, target)) {
        return kSocketError;
    }
    if (!to && !CheckConnected(*entry)) {
        return kSocketError;
    }
    const auto* address = to ? reinterpret_cast<const sockaddr*>(&target) : nullptr;
    const socklen_t addressLength = to ? sizeof(target) : 0;
    // A blocking send returns when every byte is taken, as in Winsock; a non-blocking one
    // takes what fits.
    const bool blocking = IsBlocking(*entry);
    int sent = 0;
    do {
        const ssize_t result = Perform(entry, POLLOUT, [&] {
            return ::sendto(entry->fd, buffer + sent, static_cast<std::size_t>(length - sent),
                            posixFlags | MSG_NOSIGNAL | MSG_DONTWAIT, address, addressLength);
        });
        if (result < 0) {
            if (ThreadState::Current().lastError == WSAEWOULDBLOCK) {
                Rearm(*entry, WS_FD_WRITE);
            }
            return sent > 0 ? sent : kSocketError;
        }
        sent += static_cast<int>(result);
    } while (blocking && sent < length);
    return sent;
}

WSOCK_API int wsock_shutdown(Socket s, int how) {
    const auto entry = Callable(s);
    if (!entry) {
        return kSocketError;
    }
    const int posixHow = how == WS_SD_RECEIVE ? SHUT_RD
                         : how == WS_SD_SEND  ? SHUT_WR
                         : how == WS_SD_BOTH  ? SHUT_RDWR
                                              : -1;
    if (posixHow < 0) {
        return Fail(WSAEINVAL, kSocketError);
    }
    if (::shutdown(entry->fd, posixHow) != 0) {
        return Fail(FromErrno(errno), kSocketError);
    }
    return 0;
}

WSOCK_API int wsock_WSAAsyncSelect(Socket s, MOXEL_HWND window, std::uint32_t message,
                                   long events) {
    const auto entry = Callable(s);
    if (!entry) {
        return kSocketError;
    }
    const auto wanted =
        static_cast<std::uint32_t>(events) &
        (WS_FD_READ | WS_FD_WRITE | WS_FD_OOB | WS_FD_ACCEPT | WS_FD_CONNECT | WS_FD_CLOSE);
    if (wanted && !platform::IsWindow(window)) {
        return Fail(WSAEINVAL, kSocketError);
    }
    if (wanted && !AsyncNotifier::Instance().Available()) {
        return Fail(WSAENOBUFS, kSocketError);
    }
    std::lock_guard lock(entry->mutex);
    entry->nonBlocking = true;
    AsyncNotifier::Instance().SelectLocked(*entry, window, message, wanted);
    return 0;
}
