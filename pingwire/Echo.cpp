#include "pingwire/Echo.h"

#include <poll.h>
#include <sys/socket.h>

#include <array>
#include <cerrno>

#include "pingwire/EchoSocket.h"
#include "pingwire/Errors.h"

namespace pingwire {

namespace {

using Clock = std::chrono::steady_clock;

// Large enough for any reply to our small request, IPv4 header included.
constexpr std::size_t kReceiveBuffer = 2048;

// Whether `reply` answers our request. A datagram socket's kernel replaced our identifier with
// its own and delivers only replies that carry it, so there the sequence alone decides.
bool Answers(const EchoSocket& socket, const EchoId& reply, const EchoId& request) {
    return socket.IsRaw() ? reply == request : reply.sequence == request.sequence;
}

// Milliseconds until `deadline`, rounded up so that the wait does not spin; 0 when past.
int RemainingMilliseconds(Clock::time_point deadline) {
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now());
    return left.count() > 0 ? static_cast<int>(left.count()) : 0;
}

// Waits for the reply on `socket` until `deadline`: true when it came, false with the last
// error set.
bool AwaitReply(const EchoSocket& socket, int family, const EchoId& request,
                Clock::time_point deadline) {
    std::array<std::uint8_t, kReceiveBuffer> buffer{};
    for (;;) {
        const int wait = RemainingMilliseconds(deadline);
        if (wait == 0) {
            return Fail(kErrorTimeout, false);
        }
        pollfd ready{socket.Descriptor(), POLLIN, 0};
        const int polled = ::poll(&ready, 1, wait);
        if (polled < 0 && errno != EINTR) {
            return Fail(kErrorReceive, false);
        }
        if (polled <= 0) {
            continue;
        }
        const ssize_t received = ::recv(socket.Descriptor(), buffer.data(), buffer.size(), 0);
        if (received < 0) {
            if (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR) {
                continue;
            }
            return Fail(kErrorReceive, false);
        }
        const auto reply =
            ParseEchoReply(std::span(buffer.data(), static_cast<std::size_t>(received)), family,
                           socket.HeaderInFront());
        if (reply && Answers(socket, *reply, request)) {
            return true;
        }
    }
}

}  // namespace

int EchoOnce(const Target& target, std::chrono::milliseconds timeout, EchoId id) {
    const Clock::time_point start = Clock::now();
    const Clock::time_point deadline = start + timeout;
    const int family = target.Family();
    const auto socket = EchoSocket::Open(family);
    if (!socket) {
        return Fail(kErrorSocket, -1);
    }
    const auto request = MakeEchoRequest(family, id);
    const auto* address = reinterpret_cast<const sockaddr*>(&target.address);
    if (::sendto(socket->Descriptor(), request.data(), request.size(), 0, address, target.length) !=
        static_cast<ssize_t>(request.size())) {
        return Fail(kErrorSend, -1);
    }
    if (!AwaitReply(*socket, family, id, deadline)) {
        return -1;
    }
    const auto elapsed =
        std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start);
    netframe::SetLastErrorCode(kErrorNone);
    return static_cast<int>(elapsed.count());
}

}  // namespace pingwire
