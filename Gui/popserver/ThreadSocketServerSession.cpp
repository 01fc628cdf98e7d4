#include "popserver/ThreadSocketServerSession.h"

#include <algorithm>

#include "core/Exception.h"
#include "popserver/ThreadSocketServer.h"

namespace {

constexpr std::uint32_t kAcceptTimeoutSeconds = 60;
// A piece that a writable connection takes at once, so that no single write blocks for long.
constexpr std::size_t kWritePiece = 16 * 1024;
constexpr std::uint32_t kWriteSliceMilliseconds = 200;

}  // namespace

ThreadSocketServerSession::~ThreadSocketServerSession() {
    if (worker.joinable()) {
        worker.join();
    }
}

void ThreadSocketServerSession::Notify(int code, std::intptr_t value) {
    server.Notify(code, value);
}

void ThreadSocketServerSession::Start() {
    // The previous worker has cleared `running` as its last step.
    if (worker.joinable()) {
        worker.join();
    }
    running = true;
    try {
        worker = std::thread([this] { Work(); });
    } catch (const std::system_error&) {
        running = false;
        throw;
    }
}

bool ThreadSocketServerSession::WaitForEnd(std::chrono::milliseconds limit) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (running.load()) {
        if (std::chrono::steady_clock::now() >= deadline) {
            if (worker.joinable()) {
                worker.detach();
            }
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    if (worker.joinable()) {
        worker.join();
    }
    return true;
}

void ThreadSocketServerSession::Work() {
    try {
        OnSessionStart();
        Accept();
        Serve();
    } catch (...) {
        // The session's own failures end it quietly; the slot is freed below.
    }
    connection.Disconnect();
    try {
        OnSessionEnd();
    } catch (...) {
        // Dropped by design: the connection is already closed.
    }
    running = false;
}

void ThreadSocketServerSession::Accept() {
    const SOCKET accepted = InetAccept(server.GetSocket(), kAcceptTimeoutSeconds);
    if (accepted == INVALID_SOCKET) {
        Notify(3, 0);
        throw Exception("Failure when trying to accept connection.");
    }
    connection.Attach(accepted);
    // Replies go out in pieces (WriteText); the last, short piece of each must not wait for the
    // client's delayed acknowledgement of the one before. Refused, it only costs speed.
    (void)connection.SetNoDelay();
    std::uint32_t peerAddress = 0;
    std::uint32_t peerPort = 0;
    if (!connection.GetPeerAddress(peerAddress, peerPort)) {
        Notify(4, 0);
        return;
    }
    Notify(5, accepted);
    Notify(6, static_cast<std::intptr_t>(peerPort));
}

void ThreadSocketServerSession::WriteText(const std::string& text) {
    std::size_t sent = 0;
    while (sent < text.size()) {
        // The limit counts from the last progress: a slow reader of a long letter is served.
        AwaitRoom(std::chrono::steady_clock::now() + writeLimit);
        const std::size_t piece = std::min(kWritePiece, text.size() - sent);
        const int result = connection.Write(text.data() + sent, static_cast<int>(piece));
        if (result < 0) {
            std::string reason = CInet::GetErrorString(CInet::GetLastError());
            throw Exception(reason.empty() ? "Unknown socket error" : reason);
        }
        sent += static_cast<std::size_t>(result);
    }
}

void ThreadSocketServerSession::AwaitRoom(std::chrono::steady_clock::time_point deadline) {
    for (;;) {
        if (IsStopRequested()) {
            throw Exception("Stopped while writing to the client");
        }
        if (connection.IsWritable(kWriteSliceMilliseconds)) {
            return;
        }
        if (std::chrono::steady_clock::now() >= deadline) {
            throw Exception("The client took nothing within the write limit");
        }
    }
}

void ThreadSocketServerSession::WriteLine(const std::string& line) {
    if (!line.empty()) {
        WriteText(line + "\r\n");
    }
}
