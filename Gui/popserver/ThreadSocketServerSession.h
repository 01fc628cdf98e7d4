#pragma once

#include <atomic>
#include <chrono>
#include <string>
#include <thread>

#include "popserver/CInet.h"

class ThreadSocketServer;

// One slot of the server: serves one accepted connection at a time on a worker thread of its
// own, and is reused for later connections. The server thread starts it and asks it to stop;
// everything else runs on the worker thread, which owns the connection.
class ThreadSocketServerSession {
public:
    explicit ThreadSocketServerSession(ThreadSocketServer& serverIn) : server(serverIn) {}
    // The worker must have ended (WaitForEnd) before the session is destroyed.
    virtual ~ThreadSocketServerSession();
    ThreadSocketServerSession(const ThreadSocketServerSession&) = delete;
    ThreadSocketServerSession& operator=(const ThreadSocketServerSession&) = delete;

    virtual void Notify(int code, std::intptr_t value);
    // Asks a running conversation to end soon; any thread.
    virtual void RequestStop() = 0;

    bool IsRunning() const { return running.load(); }
    // Server thread: starts the worker that accepts a pending connection and serves it.
    void Start();
    // Waits for the worker, at most `limit`; true when it ended. One that did not end is left
    // to run on its own and the session must then be kept alive (it is abandoned).
    bool WaitForEnd(std::chrono::milliseconds limit);

protected:
    virtual void Serve() {}
    virtual void OnSessionStart() {}
    virtual void OnSessionEnd() {}
    // Whether the conversation is to end now; a long write checks it between its pieces.
    virtual bool IsStopRequested() const { return false; }
    // How long a write may wait for a client that takes nothing.
    void SetWriteLimit(std::chrono::milliseconds limit) { writeLimit = limit; }

    // Write the whole text in pieces, continuing after partial writes; throw Exception with the
    // library's text, or "Unknown socket error", when the connection fails. Between pieces it
    // waits for room in short slices, so that a client that stops reading keeps a stop request
    // waiting a moment at most: it throws when a stop is requested (IsStopRequested) or when
    // the client takes nothing for the write limit.
    void WriteText(const std::string& text);
    // Sends `line` and CR LF; an empty line sends nothing.
    void WriteLine(const std::string& line);

    ThreadSocketServer& server;
    CInet connection;

private:
    void Work();
    void Accept();
    // Waits until the connection takes bytes again; throws on a stop request or at `deadline`.
    void AwaitRoom(std::chrono::steady_clock::time_point deadline);

    std::thread worker;
    // Set before the worker starts; read by the worker.
    std::chrono::milliseconds writeLimit{std::chrono::seconds(60)};
    // Written by the worker last of all, read by the server thread.
    std::atomic<bool> running{false};
};
