// Pushes 1 GB through a loopback connection with sockwire (blocking InetWrite/InetRead, each
// waiting for readiness as the library does) and the same through plain POSIX sockets, and
// prints the throughput of both. Usage: bench_sockwire_loopback [megabytes] [chunk bytes].
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <future>
#include <string>
#include <thread>
#include <vector>

#include "sockwire.h"

namespace {

struct Settings {
    long long bytes = 1000LL * 1000 * 1000;
    int chunk = 64 * 1024;
};

// Seconds taken by `transfer`, which returns the bytes that arrived.
double Measure(const std::function<long long()>& transfer, long long expected) {
    const auto started = std::chrono::steady_clock::now();
    const long long arrived = transfer();
    const std::chrono::duration<double> taken = std::chrono::steady_clock::now() - started;
    if (arrived != expected) {
        std::fprintf(stderr, "only %lld of %lld bytes arrived\n", arrived, expected);
        std::exit(1);
    }
    return taken.count();
}

long long SockwireTransfer(const Settings& settings) {
    std::promise<std::uint32_t> portPromise;
    auto receiver = std::async(std::launch::async, [&] {
        const SOCKET listener = InetListen(htonl(INADDR_LOOPBACK), 0);
        std::uint32_t address = 0;
        std::uint32_t port = 0;
        InetGetLocalAddress(listener, &address, &port);
        portPromise.set_value(port);
        const SOCKET connection = InetAccept(listener, 30);
        std::vector<char> buffer(static_cast<std::size_t>(settings.chunk));
        long long received = 0;
        for (int count; (count = InetRead(connection, buffer.data(), settings.chunk)) > 0;) {
            received += count;
        }
        InetDisconnect(connection);
        InetDisconnect(listener);
        return received;
    });
    const SOCKET sender =
        InetConnectA("127.0.0.1", portPromise.get_future().get(), INET_PROTOCOL_TCP, 30);
    const std::vector<char> data(static_cast<std::size_t>(settings.chunk), 'x');
    for (long long sent = 0; sent < settings.bytes;) {
        const int piece =
            static_cast<int>(std::min<long long>(settings.chunk, settings.bytes - sent));
        const int result = InetWrite(sender, data.data(), piece);
        if (result <= 0) {
            std::fprintf(stderr, "InetWrite failed: %u\n", InetGetLastError());
            std::exit(1);
        }
        sent += result;
    }
    InetDisconnect(sender);
    return receiver.get();
}

long long PosixTransfer(const Settings& settings) {
    const int listener = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof(address);
    ::bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof(address));
    ::listen(listener, 1);
    ::getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length);
    auto receiver = std::async(std::launch::async, [&] {
        const int connection = ::accept(listener, nullptr, nullptr);
        std::vector<char> buffer(static_cast<std::size_t>(settings.chunk));
        long long received = 0;
        for (ssize_t count; (count = ::recv(connection, buffer.data(), buffer.size(), 0)) > 0;) {
            received += count;
        }
        ::close(connection);
        return received;
    });
    const int sender = ::socket(AF_INET, SOCK_STREAM, 0);
    ::connect(sender, reinterpret_cast<sockaddr*>(&address), sizeof(address));
    const std::vector<char> data(static_cast<std::size_t>(settings.chunk), 'x');
    for (long long sent = 0; sent < settings.bytes;) {
        const auto piece =
            static_cast<std::size_t>(std::min<long long>(settings.chunk, settings.bytes - sent));
        const ssize_t result = ::send(sender, data.data(), piece, MSG_NOSIGNAL);
        if (result <= 0) {
            std::perror("send");
            std::exit(1);
        }
        sent += result;
    }
    ::shutdown(sender, SHUT_WR);
    ::close(sender);
    const long long received = receiver.get();
    ::close(listener);
    return received;
}

}  // namespace

int main(int argc, char** argv) {
    Settings settings;
    if (argc > 1) {
        settings.bytes = std::atoll(argv[1]) * 1000 * 1000;
    }
    if (argc > 2) {
        settings.chunk = std::atoi(argv[2]);
    }
    if (settings.bytes <= 0 || settings.chunk <= 0) {
        std::fprintf(stderr, "usage: %s [megabytes] [chunk bytes]\n", argv[0]);
        return 2;
    }
    if (InetInitializeA(nullptr, nullptr) != 1) {
        std::fprintf(stderr, "sockwire does not initialise: %u\n", InetGetLastError());
        return 1;
    }
    const double megabytes = static_cast<double>(settings.bytes) / 1e6;
    const double sockwireSeconds =
        Measure([&] { return SockwireTransfer(settings); }, settings.bytes);
    const double posixSeconds = Measure([&] { return PosixTransfer(settings); }, settings.bytes);
    InetUninitialize();
    std::printf("loopback transfer of %.0f MB in chunks of %d bytes\n", megabytes, settings.chunk);
    std::printf("  sockwire      %8.1f MB/s  (%.2f s)\n", megabytes / sockwireSeconds,
                sockwireSeconds);
    std::printf("  POSIX sockets %8.1f MB/s  (%.2f s)\n", megabytes / posixSeconds, posixSeconds);
    std::printf("  sockwire / POSIX: %.2f\n", posixSeconds / sockwireSeconds);
    return 0;
}
