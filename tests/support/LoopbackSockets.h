#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <stdexcept>
#include <string>

namespace moxeltest {

// Plain POSIX sockets on 127.0.0.1, as the peers of the libraries under test. Each throws
// std::runtime_error when the system refuses.

// An owned descriptor, closed on destruction.
class Descriptor {
public:
    explicit Descriptor(int descriptor = -1) : fd(descriptor) {}
    ~Descriptor() { Close(); }
    Descriptor(Descriptor&& other) noexcept : fd(other.fd) { other.fd = -1; }
    Descriptor& operator=(Descriptor&& other) noexcept {
        Close();
        fd = other.fd;
        other.fd = -1;
        return *this;
    }
    int Get() const { return fd; }
    void Close() {
        if (fd >= 0) {
            ::close(fd);
            fd = -1;
        }
    }

private:
    int fd;
};

inline sockaddr_in LoopbackAddress(std::uint16_t port) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return address;
}

// A listening socket on a free loopback port; `port` receives the port.
inline Descriptor ListenOnLoopback(std::uint16_t& port, int backlog = 16) {
    Descriptor listener(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
    sockaddr_in address = LoopbackAddress(0);
    socklen_t length = sizeof(address);
    if (listener.Get() < 0 ||
        ::bind(listener.Get(), reinterpret_cast<sockaddr*>(&address), sizeof(address)) != 0 ||
        ::listen(listener.Get(), backlog) != 0 ||
        ::getsockname(listener.Get(), reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        throw std::runtime_error("cannot listen on loopback");
    }
    port = ntohs(address.sin_port);
    return listener;
}

inline Descriptor ConnectToLoopback(std::uint16_t port) {
    Descriptor connection(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
    const sockaddr_in address = LoopbackAddress(port);
    if (connection.Get() < 0 ||
        ::connect(connection.Get(), reinterpret_cast<const sockaddr*>(&address), sizeof(address)) !=
            0) {
        throw std::runtime_error("cannot connect to loopback port " + std::to_string(port));
    }
    return connection;
}

// The first connection that arrives within `timeout`; an empty Descriptor when none does.
inline Descriptor AcceptWithin(const Descriptor& listener, std::chrono::milliseconds timeout) {
    pollfd waiting{listener.Get(), POLLIN, 0};
    if (::poll(&waiting, 1, static_cast<int>(timeout.count())) == 1 && (waiting.revents & POLLIN)) {
        return Descriptor(::accept4(listener.Get(), nullptr, nullptr, SOCK_CLOEXEC));
    }
    return Descriptor();
}

inline Descriptor AcceptOne(const Descriptor& listener) {
    Descriptor accepted(::accept4(listener.Get(), nullptr, nullptr, SOCK_CLOEXEC));
    if (accepted.Get() < 0) {
        throw std::runtime_error("accept failed");
    }
    return accepted;
}

// A port on which nothing listens (bound and closed again; nobody else takes it that fast).
inline std::uint16_t UnusedLoopbackPort() {
    std::uint16_t port = 0;
    ListenOnLoopback(port);
    return port;
}

// Ends the connection with a reset instead of an orderly close.
inline void Reset(Descriptor& connection) {
    const linger abort{1, 0};
    ::setsockopt(connection.Get(), SOL_SOCKET, SO_LINGER, &abort, sizeof(abort));
    connection.Close();
}

inline void SendAll(const Descriptor& connection, const std::string& data) {
    std::size_t sent = 0;
    while (sent < data.size()) {
        const auto result =
            ::send(connection.Get(), data.data() + sent, data.size() - sent, MSG_NOSIGNAL);
        if (result <= 0) {
            throw std::runtime_error("send failed");
        }
        sent += static_cast<std::size_t>(result);
    }
}

// Receives exactly `count` bytes (fewer when the peer closes first).
inline std::string ReceiveCount(const Descriptor& connection, std::size_t count) {
    std::string data(count, '\0');
    std::size_t received = 0;
    while (received < count) {
        const auto result = ::recv(connection.Get(), data.data() + received, count - received, 0);
        if (result <= 0) {
            break;
        }
        received += static_cast<std::size_t>(result);
    }
    data.resize(received);
    return data;
}

}  // namespace moxeltest
