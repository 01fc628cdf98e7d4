#include "peers/ScriptedSmtpServer.h"

#include <poll.h>
#include <sys/socket.h>

#include <algorithm>

namespace moxeltest {

namespace {

constexpr auto kAcceptTimeout = std::chrono::seconds(30);

Descriptor ListenOnFixedPort(std::uint16_t port) {
    Descriptor listener(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
    const int reuse = 1;
    ::setsockopt(listener.Get(), SOL_SOCKET, SO_REUSEADDR, &reuse, sizeof(reuse));
    const sockaddr_in address = LoopbackAddress(port);
    if (listener.Get() < 0 ||
        ::bind(listener.Get(), reinterpret_cast<const sockaddr*>(&address), sizeof(address)) != 0 ||
        ::listen(listener.Get(), 1) != 0) {
        throw std::runtime_error("cannot listen on port " + std::to_string(port));
    }
    return listener;
}

}  // namespace

ScriptedSmtpServer::ScriptedSmtpServer(std::vector<Step> script, std::filesystem::path certificate,
                                       std::filesystem::path key, std::uint16_t fixedPort)
    : certificateFile(std::move(certificate)),
      keyFile(std::move(key)),
      port(fixedPort),
      listener(fixedPort ? ListenOnFixedPort(fixedPort) : ListenOnLoopback(port, 1)),
      server([this, steps = std::move(script)]() mutable { Serve(std::move(steps)); }) {}

ScriptedSmtpServer::~ScriptedSmtpServer() {
    {
        std::lock_guard lock(mutex);
        stopping = true;
        changed.notify_all();
        if (connectionFd >= 0) {
            ::shutdown(connectionFd, SHUT_RDWR);
        }
    }
    ::shutdown(listener.Get(), SHUT_RDWR);
    server.join();
}

bool ScriptedSmtpServer::Receive() {
    char chunk[16384];
    const int received = ssl ? SSL_read(ssl.get(), chunk, sizeof(chunk))
                             : static_cast<int>(::recv(connection.Get(), chunk, sizeof(chunk), 0));
    if (received <= 0) {
        return false;
    }
    partial.append(chunk, static_cast<std::size_t>(received));
    std::lock_guard lock(mutex);
    transcript.append(chunk, static_cast<std::size_t>(received));
    changed.notify_all();
    return true;
}

bool ScriptedSmtpServer::ReadUntil(const std::string& terminator) {
    for (;;) {
        const std::size_t end = partial.find(terminator);
        if (end != std::string::npos) {
            partial.erase(0, end + terminator.size());
            return true;
        }
        if (!Receive()) {
            return false;
        }
    }
}

bool ScriptedSmtpServer::ReadData() {
    for (;;) {
        // The content begins at the start of a line: an empty one is "." CR LF alone.
        const std::string pending = "\r\n" + partial;
        const std::size_t end = pending.find("\r\n.\r\n");
        if (end != std::string::npos) {
            partial.erase(0, end + 3);
            return true;
        }
        if (!Receive()) {
            return false;
        }
    }
}

bool ScriptedSmtpServer::SendBytes(const std::string& bytes) {
    if (ssl) {
        return bytes.empty() ||
               SSL_write(ssl.get(), bytes.data(), static_cast<int>(bytes.size())) > 0;
    }
    try {
        SendAll(connection, bytes);
        return true;
    } catch (const std::runtime_error&) {
        return false;
    }
}

bool ScriptedSmtpServer::PauseUnlessClosed(std::chrono::milliseconds duration) {
    const auto deadline = std::chrono::steady_clock::now() + duration;
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) {
            return true;
        }
        pollfd readable{connection.Get(), POLLIN, 0};
        if (::poll(&readable, 1, static_cast<int>(std::min<long long>(left.count(), 50))) == 1) {
            char next;
            // A client that gives up during the pause ends the conversation at once.
            if (::recv(connection.Get(), &next, 1, MSG_PEEK | MSG_DONTWAIT) <= 0) {
                return false;
            }
            std::unique_lock lock(mutex);
            changed.wait_for(lock, left, [this] { return stopping; });
        }
        std::lock_guard lock(mutex);
        if (stopping) {
            return false;
        }
    }
}

bool ScriptedSmtpServer::Handshake() {
    context.reset(SSL_CTX_new(TLS_server_method()));
    if (!context ||
        SSL_CTX_use_certificate_chain_file(context.get(), certificateFile.c_str()) != 1 ||
        SSL_CTX_use_PrivateKey_file(context.get(), keyFile.c_str(), SSL_FILETYPE_PEM) != 1) {
        return false;
    }
    ssl.reset(SSL_new(context.get()));
    SSL_set_fd(ssl.get(), connection.Get());
    return SSL_accept(ssl.get()) == 1;
}

void ScriptedSmtpServer::Serve(std::vector<Step> script) {
    connection = AcceptWithin(listener, std::chrono::milliseconds(kAcceptTimeout));
    {
        std::lock_guard lock(mutex);
        connectionFd = stopping ? -1 : connection.Get();
    }
    bool open = connection.Get() >= 0;
    for (const Step& step : script) {
        if (!open) {
            break;
        }
        switch (step.kind) {
            case Step::Kind::Send:
                open = SendBytes(step.bytes);
                break;
            case Step::Kind::Expect:
                open = ReadUntil("\n");
                break;
            case Step::Kind::ExpectData:
                open = ReadData();
                break;
            case Step::Kind::Pause:
                open = PauseUnlessClosed(step.pause);
                break;
            case Step::Kind::Close:
                open = false;
                break;
            case Step::Kind::StartTls:
                open = Handshake();
                break;
        }
    }
    while (open && Receive()) {
    }
    ssl.reset();
    std::lock_guard lock(mutex);
    connectionFd = -1;
    connection.Close();
    ended = true;
    changed.notify_all();
}

bool ScriptedSmtpServer::WaitForEnd(std::chrono::milliseconds timeout) {
    std::unique_lock lock(mutex);
    return changed.wait_for(lock, timeout, [this] { return ended; });
}

std::string ScriptedSmtpServer::Transcript(std::chrono::milliseconds timeout) {
    WaitForEnd(timeout);
    std::lock_guard lock(mutex);
    return transcript;
}

}  // namespace moxeltest
