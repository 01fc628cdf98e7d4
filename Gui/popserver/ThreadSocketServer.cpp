#include "popserver/ThreadSocketServer.h"

#include <poll.h>

#include <array>
#include <chrono>

#include "core/Exception.h"
#include "platform/windows/MessageWindows.h"

ThreadSocketServer::ThreadSocketServer(std::string addressIn, std::uint32_t portIn,
                                       int maximumSessionsIn, std::uint32_t refusalTimeoutIn,
                                       std::unique_ptr<ThreadSocketServerSessionFactory> factoryIn)
    : maximumSessions(maximumSessionsIn),
      factory(std::move(factoryIn)),
      refusalTimeout(refusalTimeoutIn),
      address(std::move(addressIn)),
      port(portIn) {}

ThreadSocketServer::~ThreadSocketServer() {
    StopSessions();
}

void ThreadSocketServer::Run() {
    // A stop asked for before the thread got here still counts: Run is called once.
    if (initialized) {
        throw Exception("Not initialized properly");
    }
    initialized = true;
    sessions.resize(static_cast<std::size_t>(maximumSessions));

    const std::uint32_t hostAddress = GetHostAddress(address.c_str());
    if (hostAddress == 0xFFFFFFFFU || !Listen(hostAddress, port)) {
        const std::string reason = CInet::GetErrorString(CInet::GetLastError());
        throw Exception("Failed when listening for connection",
                        Exception(reason.empty() ? "Unknown socket error" : reason));
    }
    std::uint32_t localAddress = 0;
    std::uint32_t localPort = 0;
    InetGetLocalAddress(socket, &localAddress, &localPort);
    listeningPort = localPort;

    while (!stopRequested.load()) {
        platform::Message message;
        if (platform::PeekMessage(message)) {
            platform::DispatchMessage(message);
            continue;
        }
        Idle();
    }
    // The listener and its window belong to this thread: close them here.
    Disconnect();
}

void ThreadSocketServer::Notify(int, std::intptr_t) {}

void ThreadSocketServer::RequestStop() {
    stopRequested = true;
    wake.Raise();
}

void ThreadSocketServer::Idle() {
    // Asleep until a notification (an accept, a close) or a stop comes: a server with nothing to
    // do costs nothing. The limit only bounds the wait should a wake-up ever be missed.
    constexpr int kLongestWaitMs = 1000;
    std::array<pollfd, 2> watched{
        {{platform::MessageQueueDescriptor(), POLLIN, 0}, {wake.Descriptor(), POLLIN, 0}}};
    ::poll(watched.data(), watched.size(), kLongestWaitMs);
    wake.Clear();
}

std::intptr_t ThreadSocketServer::OnSocketError(std::intptr_t parameter, std::uint32_t error) {
    Notify(8, static_cast<std::intptr_t>((parameter & 0xFFFF) | (error << 16U)));
    return 0;
}

std::intptr_t ThreadSocketServer::OnAccept() {
    for (auto& slot : sessions) {
        if (slot && slot->IsRunning()) {
            continue;
        }
        try {
            if (!slot) {
                slot = factory->CreateSession(*this);
            }
            slot->Start();
        } catch (const std::exception&) {
            // No thread to serve it: the client must not wait for a greeting that never comes.
            RefuseConnection();
        }
        return 0;
    }
    Notify(2, 0);
    RefuseConnection();
    return 0;
}

std::intptr_t ThreadSocketServer::OnClose() {
    const SOCKET former = socket;
    InetDisconnect(socket);
    socket = INVALID_SOCKET;
    Notify(7, former);
    return 0;
}

void ThreadSocketServer::RefuseConnection() {
    CInetAsync refused;
    if (AcceptInto(refusalTimeout, refused)) {
        refused.Disconnect();
    }
}

void ThreadSocketServer::StopSessions() {
    // All are asked first, so that they end side by side rather than one after another.
    for (auto& session : sessions) {
        if (session) {
            session->RequestStop();
        }
    }
    for (auto& session : sessions) {
        if (!session) {
            continue;
        }
        if (!session->WaitForEnd(sessionStopLimit)) {
            // Its thread still uses it: abandoned rather than freed under it.
            (void)session.release();
        }
        session.reset();
    }
}
