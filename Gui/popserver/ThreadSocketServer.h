#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "popserver/CInetAsync.h"
#include "popserver/ThreadSocketServerSession.h"
#include "popserver/ThreadSocketServerSessionFactory.h"
#include "popserver/WakeSignal.h"

// A TCP server without a protocol: listens on one address and port, learns of each connection
// through a notification on its own thread, and hands it to a free session slot, whose worker
// thread accepts and serves it. A connection with every slot busy is accepted and closed at
// once. Run and the handlers run on the server thread, which owns the listening socket and the
// window; RequestStop may come from any thread. The owner waits for Run to return before the
// server is destroyed.
class ThreadSocketServer : public CInetAsync {
public:
    ThreadSocketServer(std::string address, std::uint32_t port, int maximumSessions,
                       std::uint32_t refusalTimeout,
                       std::unique_ptr<ThreadSocketServerSessionFactory> factory);
    // Stops and deletes every session (60 seconds at most each).
    ~ThreadSocketServer() override;

    // Listens and serves until RequestStop; closes the listener before it returns. Throws
    // Exception "Not initialized properly" on a second call, "Failed when listening for
    // connection" (with the library's reason as its cause) when it cannot listen.
    void Run();
    // Any thread; wakes the server thread at once.
    void RequestStop();
    // The port actually listened on (useful with port 0); 0 before listening.
    std::uint32_t GetListeningPort() const { return listeningPort.load(); }
    // How long a session may take to end when the server is destroyed.
    void SetSessionStopLimit(std::chrono::milliseconds limit) { sessionStopLimit = limit; }

    virtual void Notify(int code, std::intptr_t value);

protected:
    // Waits for the next notification or a stop.
    virtual void Idle();
    std::intptr_t OnSocketError(std::intptr_t parameter, std::uint32_t error) override;
    std::intptr_t OnAccept() override;
    std::intptr_t OnClose() override;

private:
    void RefuseConnection();
    void StopSessions();

    std::vector<std::unique_ptr<ThreadSocketServerSession>> sessions;
    bool initialized = false;
    int maximumSessions;
    std::unique_ptr<ThreadSocketServerSessionFactory> factory;
    std::uint32_t refusalTimeout;
    std::string address;
    std::uint32_t port;
    std::atomic<bool> stopRequested{false};
    WakeSignal wake;
    std::atomic<std::uint32_t> listeningPort{0};
    std::chrono::milliseconds sessionStopLimit{std::chrono::seconds(60)};
};
