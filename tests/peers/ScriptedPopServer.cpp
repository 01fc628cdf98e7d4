#include "peers/ScriptedPopServer.h"

#include <poll.h>
#include <sys/socket.h>

#include <algorithm>

namespace moxeltest {

namespace {

constexpr auto kAcceptTimeout = std::chrono::seconds(30);

}  // namespace

ScriptedPopServer::ScriptedPopServer(std::vector<Step> script)
    : listener(ListenOnLoopback(port, 1)),
      server([this, steps = std::move(script)]() mutable { Serve(std::move(steps)); }) {}

ScriptedPopServer::~ScriptedPopServer() {
    {
        std::lock_guard lock(mutex);
        stopping = true;
        changed.notify_all();
        if (connectionFd >= 0) {
            ::shutdown(connectionFd, SHUT_RDWR);
        }
    }
    // Wakes an accept that still waits.
    ::shutdown(listener.Get(), SHUT_RDWR);
    server.join();
}

bool ScriptedPopServer::ReadLine(const Descriptor& connection) {
    for (;;) {
        const std::size_t end = partial.find('\n');
        if (end != std::string::npos) {
            std::string line = partial.substr(0, end);
            partial.erase(0, end + 1);
            if (!line.empty() && line.back() == '\r') {
                line.pop_back();
            }
            std::lock_guard lock(mutex);
            lines.push_back(std::move(line));
            changed.notify_all();
            return true;
        }
        char chunk[4096];
        const auto received = ::recv(connection.Get(), chunk, sizeof(chunk), 0);
        if (received <= 0) {
            return false;
        }
        partial.append(chunk, static_cast<std::size_t>(received));
    }
}

bool ScriptedPopServer::PauseUnlessClosed(const Descriptor& connection,
                                          std::chrono::milliseconds duration) {
    const auto deadline = std::chrono::steady_clock::now() + duration;
    bool watching = true;
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) {
            return true;
        }
        if (watching) {
            // A client that gives up during the pause ends the conversation at once.
            pollfd readable{connection.Get(), POLLIN, 0};
            if (::poll(&readable, 1, static_cast<int>(std::min<long long>(left.count(), 50))) ==
                1) {
                char next;
                const auto peeked = ::recv(connection.Get(), &next, 1, MSG_PEEK | MSG_DONTWAIT);
                if (peeked <= 0) {
                    return false;
                }
                // The client sent something: it is read after the pause.
                watching = false;
            }
        } else {
            std::unique_lock lock(mutex);
            changed.wait_for(lock, left, [this] { return stopping; });
        }
        std::lock_guard lock(mutex);
        if (stopping) {
            return false;
        }
    }
}

void ScriptedPopServer::Serve(std::vector<Step> script) {
    Descriptor connection = AcceptWithin(listener, std::chrono::milliseconds(kAcceptTimeout));
    {
        std::lock_guard lock(mutex);
        connectionFd = stopping ? -1 : connection.Get();
        connected = connectionFd >= 0;
        changed.notify_all();
    }
    bool open = connection.Get() >= 0;
    for (const Step& step : script) {
        if (!open) {
            break;
        }
        switch (step.kind) {
            case Step::Kind::Send:
                try {
                    SendAll(connection, step.bytes);
                } catch (const std::runtime_error&) {
                    open = false;
                }
                break;
            case Step::Kind::Expect:
                open = ReadLine(connection);
                break;
            case Step::Kind::Pause:
                open = PauseUnlessClosed(connection, step.pause);
                break;
            case Step::Kind::Close:
                open = false;
                break;
        }
    }
    while (open && ReadLine(connection)) {
    }
    std::lock_guard lock(mutex);
    connectionFd = -1;
    connection.Close();
    ended = true;
    changed.notify_all();
}

bool ScriptedPopServer::WaitForEnd(std::chrono::milliseconds timeout) {
    std::unique_lock lock(mutex);
    return changed.wait_for(lock, timeout, [this] { return ended; });
}

bool ScriptedPopServer::WaitForConnection(std::chrono::milliseconds timeout) {
    std::unique_lock lock(mutex);
    return changed.wait_for(lock, timeout, [this] { return connected; });
}

std::vector<std::string> ScriptedPopServer::Received(std::chrono::milliseconds timeout) {
    WaitForEnd(timeout);
    std::lock_guard lock(mutex);
    return lines;
}

}  // namespace moxeltest
