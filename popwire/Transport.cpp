#include "popwire/Transport.h"

#include <algorithm>
#include <climits>
#include <string>
#include <utility>

#include "netframe/LastError.h"
#include "popwire/CancelCheck.h"
#include "popwire/Events.h"
#include "popwire/Notification.h"
#include "popwire/PopLibrary.h"
#include "popwire/TlsSession.h"

namespace popwire {

using netframe::Fail;

namespace {

constexpr std::chrono::milliseconds kDefaultWait(kDefaultTimeout * 1000);

netframe::Winsock& Winsock() {
    return PopLibrary::Instance().Winsock();
}

// Receives what the socket has, waiting for it first. Returns the count, 0 when the server
// closed the connection, -1 with the last error.
int ReceiveRaw(PopClient& client, char* buffer, int capacity) {
    for (;;) {
        // The socket does not block: what has arrived already is taken without a wait, which
        // on a busy download saves a readiness check per receive.
        const int received = Winsock().Recv(client.socket, buffer, capacity, 0);
        if (received >= 0) {
            return received;
        }
        if (Winsock().GetLastError() != winsock::WSAEWOULDBLOCK) {
            return Fail(ERROR_POP_READ, -1);
        }
        if (!AwaitSocket(client, Readiness::Read, ReceiveLimit(client), ERROR_POP_READ)) {
            return -1;
        }
    }
}

// Receives what the socket has now, without waiting: the count, 0 when the server closed the
// connection, -1 with ERROR_POP_BLOCKED when nothing has arrived, or ERROR_POP_READ.
int ReceiveNow(PopClient& client, char* buffer, int capacity) {
    const int received = Winsock().Recv(client.socket, buffer, capacity, 0);
    if (received >= 0) {
        return received;
    }
    return Fail(
        Winsock().GetLastError() == winsock::WSAEWOULDBLOCK ? ERROR_POP_BLOCKED : ERROR_POP_READ,
        -1);
}

// The socket as a channel that never waits for input: what a caller driven by read
// notifications reads from.
class ImmediateChannel : public ByteChannel {
public:
    explicit ImmediateChannel(PopClient& owner) : client(owner) {}
    int Receive(char* buffer, int capacity) override {
        return ReceiveNow(client, buffer, capacity);
    }
    bool Send(const char* data, int length) override;

private:
    PopClient& client;
};

// Sends every byte, waiting whenever the socket takes no more.
bool SendRaw(PopClient& client, const char* data, int length) {
    int sent = 0;
    while (sent < length) {
        const int taken = Winsock().Send(client.socket, data + sent, length - sent, 0);
        if (taken > 0) {
            sent += taken;
            continue;
        }
        if (taken < 0 && Winsock().GetLastError() != winsock::WSAEWOULDBLOCK) {
            return Fail(ERROR_POP_WRITE, false);
        }
        if (!AwaitSocket(client, Readiness::Write, SendLimit(client), ERROR_POP_WRITE)) {
            return false;
        }
    }
    return true;
}

bool ImmediateChannel::Send(const char* data, int length) {
    return SendRaw(client, data, length);
}

}  // namespace

WaitLimit ReceiveLimit(const PopClient& client) {
    if (client.timeout != 0) {
        return std::chrono::milliseconds(std::int64_t{client.timeout} * 1000);
    }
    return client.multiLine ? WaitLimit() : WaitLimit(kDefaultWait);
}

WaitLimit SendLimit(const PopClient& client) {
    return client.timeout != 0 ? std::chrono::milliseconds(std::int64_t{client.timeout} * 1000)
                               : kDefaultWait;
}

OperationDeadline::OperationDeadline(PopClient& owned, WaitLimit limit)
    : client(owned), owner(!owned.deadline && limit) {
    if (owner) {
        client.deadline = std::chrono::steady_clock::now() + *limit;
    }
}

OperationDeadline::~OperationDeadline() {
    if (owner) {
        client.deadline.reset();
    }
}

WaitLimit WithinDeadline(const PopClient& client, WaitLimit limit) {
    if (!client.deadline) {
        return limit;
    }
    const auto left = std::max(std::chrono::milliseconds(0),
                               std::chrono::ceil<std::chrono::milliseconds>(
                                   *client.deadline - std::chrono::steady_clock::now()));
    return limit ? std::min(*limit, left) : left;
}

winsock::TimeVal ToTimeVal(std::chrono::milliseconds limit) {
    // Winsock counts seconds in 32 bits: longer waits (2^31 seconds and more) end there.
    const std::int64_t seconds = std::min<std::int64_t>(limit.count() / 1000, INT32_MAX);
    return {static_cast<std::int32_t>(seconds),
            static_cast<std::int32_t>((limit.count() % 1000) * 1000)};
}

bool Break(PopClient& client) {
    if (client.brokenBy == 0) {
        const std::uint32_t cause = netframe::GetLastErrorCode();
        client.brokenBy = cause != ERROR_POP_NONE ? cause : ERROR_POP_READ;
    }
    return false;
}

bool CheckInStep(const PopClient& client) {
    return client.brokenBy == 0 ? true : Fail(client.brokenBy, false);
}

bool CancelPending(const PopClient& client) {
    return client.cancelRequested || CancelCheckSaysStop();
}

bool TakeCancel(PopClient& client) {
    // The thread's check is asked again at every wait, so a stop keeps ending them all.
    if (!client.cancelRequested.exchange(false) && !CancelCheckSaysStop()) {
        return false;
    }
    FailWithEvent(client, ERROR_POP_CANCELED, POP_EVENT_CANCEL);
    return true;
}

int SelectUnlessCancelled(PopClient& client, winsock::FdSet* readable, winsock::FdSet* writable,
                          winsock::FdSet* exceptional, WaitLimit limit) {
    using std::chrono::steady_clock;
    const bool bounded = limit.has_value();
    const auto end = bounded ? steady_clock::now() + *limit : steady_clock::time_point::max();
    for (;;) {
        if (CancelPending(client)) {
            return -1;
        }
        auto slice = kCancelSlice;
        if (bounded) {
            slice =
                std::clamp(std::chrono::ceil<std::chrono::milliseconds>(end - steady_clock::now()),
                           std::chrono::milliseconds(0), kCancelSlice);
        }
        // Select changes its sets; each slice asks the same question again.
        winsock::FdSet read = readable ? *readable : winsock::FdSet{};
        winsock::FdSet write = writable ? *writable : winsock::FdSet{};
        winsock::FdSet except = exceptional ? *exceptional : winsock::FdSet{};
        const winsock::TimeVal time = ToTimeVal(slice);
        const int ready = Winsock().Select(readable ? &read : nullptr, writable ? &write : nullptr,
                                           exceptional ? &except : nullptr, &time);
        if (ready != 0) {
            for (auto [set, found] : {std::pair(readable, &read), std::pair(writable, &write),
                                      std::pair(exceptional, &except)}) {
                if (set) {
                    *set = *found;
                }
            }
            return ready;
        }
        if (bounded && steady_clock::now() >= end) {
            return 0;
        }
    }
}

bool AwaitSocket(PopClient& client, Readiness readiness, WaitLimit limit, std::uint32_t failure) {
    winsock::FdSet set{1, {client.socket}};
    client.busy = true;
    const int ready = SelectUnlessCancelled(client, readiness == Readiness::Read ? &set : nullptr,
                                            readiness == Readiness::Write ? &set : nullptr, nullptr,
                                            WithinDeadline(client, limit));
    const int error = ready < 0 ? Winsock().GetLastError() : 0;
    client.busy = false;
    // Notifications that came during the wait belong after it.
    RepostPending(client);
    RepostDeferred();
    if (ready > 0) {
        return true;
    }
    // PopCancel during the wait: from another thread, or from a message handled meanwhile
    // (which ends the wait with WSAEINTR).
    if (TakeCancel(client)) {
        return false;
    }
    if (ready == 0) {
        return FailWithEvent(client, ERROR_POP_TIMEOUT, POP_EVENT_TIMEOUT);
    }
    return Fail(error == winsock::WSAEINPROGRESS ? ERROR_POP_BLOCKED : failure, false);
}

// Receives into the empty buffer: waiting as the client's rules say, or taking only what has
// arrived. The count, 0 when the server ended the session, -1 with the last error.
int Receive(PopClient& client, bool wait) {
    ReceiveBuffer& buffer = client.received;
    if (client.tls) {
        SocketChannel waiting(client);
        ImmediateChannel immediate(client);
        return client.tls->Read(wait ? static_cast<ByteChannel&>(waiting) : immediate,
                                buffer.bytes.data(), kReceiveBufferSize);
    }
    return wait ? ReceiveRaw(client, buffer.bytes.data(), kReceiveBufferSize)
                : ReceiveNow(client, buffer.bytes.data(), kReceiveBufferSize);
}

bool FillReceiveBuffer(PopClient& client) {
    if (TakeCancel(client)) {
        return false;
    }
    return StoreReceived(client, Receive(client, !client.readWithoutWaiting));
}

bool FillWithoutWaiting(PopClient& client) {
    return StoreReceived(client, Receive(client, false));
}

bool InputBuffered(const PopClient& client) {
    return !client.received.Empty() || !client.heldBack.Empty() ||
           (client.tls && client.tls->HasBufferedInput());
}

bool StoreReceived(PopClient& client, int received) {
    ReceiveBuffer& buffer = client.received;
    if (received == 0) {
        client.closed = true;
        return Fail(ERROR_POP_CLOSED, false);
    }
    if (received < 0) {
        return client.closed ? Fail(ERROR_POP_CLOSED, false) : false;
    }
    buffer.count = received;
    buffer.position = 0;
    return true;
}

bool SendData(PopClient& client, const char* data, int length) {
    // A command whose answer would not be read must not go out.
    if (TakeCancel(client)) {
        return false;
    }
    bool sent;
    if (client.tls) {
        SocketChannel channel(client);
        sent = client.tls->Write(channel, data, length);
    } else {
        sent = SendRaw(client, data, length);
    }
    // Part of a command may have gone out: the server's answer to it can no longer be told
    // apart from the next one's.
    return sent || Break(client);
}

int SocketChannel::Receive(char* buffer, int capacity) {
    return ReceiveRaw(client, buffer, capacity);
}

bool SocketChannel::Send(const char* data, int length) {
    return SendRaw(client, data, length);
}

void SayGoodbye(PopClient& client, winsock::Socket socket) {
    const std::string goodbye = client.tls->Goodbye();
    if (!goodbye.empty()) {
        Winsock().Send(socket, goodbye.data(), static_cast<int>(goodbye.size()), 0);
    }
}

}  // namespace popwire
