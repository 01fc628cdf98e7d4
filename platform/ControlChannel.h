#pragma once

#include <chrono>
#include <filesystem>
#include <functional>
#include <list>
#include <mutex>
#include <string>
#include <thread>

#include "platform/ControlFrame.h"

namespace platform {

// The running copy's private control socket, standing in for a registered window message and
// carrying the command line's requests: a Unix-domain socket (0600, and only peers of the same
// user are heard). A socket path longer than an address allows is reached through its folder.
//
// A listener thread accepts; each connection is served on a worker thread of its own (at most
// kMaxWorkers at once), so that a long command does not hold up a quit request. The handlers
// are called on those workers and must be safe to call from several at once.
class ControlChannel {
public:
    struct Handlers {
        // A peer sent the bare word "quit".
        std::function<void()> onQuit;
        // A peer sent a well-framed request; the reply goes back to it.
        std::function<ControlReply(const ControlRequest&)> onRequest;
        // A connection was refused (a stranger, bad framing, a deadline passed): a line for the
        // log.
        std::function<void(const std::string&)> onRefused;
    };

    static constexpr std::size_t kMaxWorkers = 8;
    // How long a peer may take to send its request, and the reply may take to be taken.
    static constexpr std::chrono::seconds kTransferDeadline{5};

    // Starts listening at `socketPath` (an old socket file there is replaced).
    // Throws std::system_error when the socket cannot be set up.
    ControlChannel(std::filesystem::path socketPath, Handlers handlers);
    // Stops listening, ends transfers in progress and waits for the workers; a worker inside a
    // handler is waited for, so the owner stops long work (a collection) first.
    ~ControlChannel();
    ControlChannel(const ControlChannel&) = delete;
    ControlChannel& operator=(const ControlChannel&) = delete;

    // Takes no more connections and ends the transfers in progress; handlers already called go
    // on until the destructor waits for them. Called by the owner's thread.
    void StopListening();

    // Asks the copy listening at `socketPath` to quit. False when nobody listens there.
    static bool RequestQuit(const std::filesystem::path& socketPath);

    enum class SendResult {
        Replied,
        // Nobody listens there (no copy, or one still starting or already gone).
        NotListening,
        // The socket cannot be reached (no permission, say); errno tells why.
        Unreachable,
        // The copy took the request but did not answer within the deadline.
        TimedOut,
        // The connection broke or the reply was not well framed.
        Broken,
    };
    // Sends `request` and waits up to `replyDeadline` for the reply, which goes to `reply`.
    static SendResult Send(const std::filesystem::path& socketPath, const ControlRequest& request,
                           std::chrono::milliseconds replyDeadline, ControlReply& reply);

private:
    struct Worker {
        std::thread thread;
        bool done = false;
    };

    void Listen();
    // Serves one connection and closes it.
    void Serve(int peerFd);
    void StartWorker(int peer);
    // Joins the workers that have finished. Called on the listener thread.
    void ReapWorkers();
    // Tells the owner why a connection was refused.
    void Refuse(const std::string& reason);

    std::filesystem::path path;
    Handlers handlers;
    // The socket's folder, held open: the socket is named through it when its path is long.
    int folderFd = -1;
    int listenFd = -1;
    // Readable once the channel stops; every wait of the listener and the workers watches it.
    int wakeFds[2] = {-1, -1};
    std::thread listener;
    // Guards `workers`: the listener adds and reaps them, each worker marks itself done.
    std::mutex workersMutex;
    std::list<Worker> workers;
};

}  // namespace platform
