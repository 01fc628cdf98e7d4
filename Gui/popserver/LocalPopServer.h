#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <thread>

class EventReporter;
class PopPostOffice;
class ThreadSocketServer;

// How long the local POP3 server waits for its clients.
struct LocalPopServerLimits {
    // A client silent (or taking nothing) this long is dropped; its marks are dropped with it.
    std::chrono::milliseconds idle = std::chrono::seconds(60);
    // How long a stop waits for each session to end before it gives the session up.
    std::chrono::milliseconds sessionStop = std::chrono::seconds(60);
};

// The program's local POP3 server on loopback: a ThreadSocketServer of 5 POP3 sessions run on
// a thread of its own. Started and stopped by the application thread; the post office and the
// reporter outlive it.
class LocalPopServer {
public:
    // Receives lines for the application log (listening failures, refused clients); called on
    // the server's and the sessions' threads.
    using Log = std::function<void(const std::string&)>;

    static constexpr int kMaximumSessions = 5;
    static constexpr std::uint32_t kRefusalTimeoutSeconds = 120;

    LocalPopServer(PopPostOffice& postOffice, std::shared_ptr<EventReporter> reporter, Log log,
                   LocalPopServerLimits limits = {});
    // Stops when still running.
    ~LocalPopServer();
    LocalPopServer(const LocalPopServer&) = delete;
    LocalPopServer& operator=(const LocalPopServer&) = delete;

    // Starts serving on 127.0.0.1 and `port` (0: one the system chooses). A port that cannot be
    // listened on is written to the log with the reason; the program goes on without the
    // server.
    void Start(std::uint32_t port);
    // Waits until the server listens or has given up, at most `limit`; the port, or 0.
    std::uint32_t WaitUntilListening(std::chrono::milliseconds limit) const;
    // Ends the server thread, then every session: each is asked to stop at once and waited
    // for, within the session stop limit. Nothing a session marked without QUIT is removed.
    void Stop();

private:
    PopPostOffice& postOffice;
    std::shared_ptr<EventReporter> reporter;
    Log log;
    const LocalPopServerLimits limits;
    std::unique_ptr<ThreadSocketServer> server;
    std::atomic<bool> finished{false};
    std::thread thread;
};
