#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "support/LoopbackSockets.h"

namespace moxeltest {

// A POP3 server that plays a script, for the faults a real server cannot be made to show:
// garbage, endless lines, missing greetings, answers cut off, connections closed in the
// middle, silence. It listens on a loopback port chosen by the system, serves one connection
// on a thread of its own and records every line the client sends. After the script it keeps
// reading (and recording) until the client closes. Built and inspected by one test thread.
class ScriptedPopServer {
public:
    // One step of the script.
    struct Step {
        enum class Kind { Send, Expect, Pause, Close };
        Kind kind;
        std::string bytes;                // Send: what goes out, as it stands
        std::chrono::milliseconds pause;  // Pause: how long nothing happens
    };

    // Sends the bytes exactly (no line end is added).
    static Step Send(std::string bytes) { return {Step::Kind::Send, std::move(bytes), {}}; }
    // Waits for one line of the client and records it; the script ends when the client closes.
    static Step Expect() { return {Step::Kind::Expect, {}, {}}; }
    // Does nothing for a while (a slow server).
    static Step Pause(std::chrono::milliseconds duration) {
        return {Step::Kind::Pause, {}, duration};
    }
    // Closes the connection; the steps after it are not played.
    static Step Close() { return {Step::Kind::Close, {}, {}}; }
    // Waits for one command and answers it.
    static std::vector<Step> Answer(std::string reply) {
        return {Expect(), Send(std::move(reply))};
    }

    explicit ScriptedPopServer(std::vector<Step> script);
    // Ends the connection (if still open) and the serving thread.
    ~ScriptedPopServer();
    ScriptedPopServer(const ScriptedPopServer&) = delete;
    ScriptedPopServer& operator=(const ScriptedPopServer&) = delete;

    std::uint16_t Port() const { return port; }

    // The lines the client sent (without CR LF), once the connection has ended, or what came
    // until `timeout` passed.
    std::vector<std::string> Received(std::chrono::milliseconds timeout = std::chrono::seconds(10));

    // True once the connection has ended (by the script or by the client) within `timeout`.
    bool WaitForEnd(std::chrono::milliseconds timeout);
    // True once a client has connected, within `timeout`.
    bool WaitForConnection(std::chrono::milliseconds timeout);

private:
    void Serve(std::vector<Step> script);
    // Waits for `duration`; false when the client closed the connection or the server stops.
    bool PauseUnlessClosed(const Descriptor& connection, std::chrono::milliseconds duration);
    // Reads one line into the record; false when the client closed or the server stops.
    bool ReadLine(const Descriptor& connection);

    std::uint16_t port = 0;  // before the listener, which sets it
    Descriptor listener;
    int connectionFd = -1;           // guarded by mutex; for the destructor to end the connection
    bool connected = false;          // guarded by mutex
    bool ended = false;              // guarded by mutex
    bool stopping = false;           // guarded by mutex
    std::vector<std::string> lines;  // guarded by mutex
    std::string partial;             // serving thread only
    std::mutex mutex;
    std::condition_variable changed;
    std::thread server;
};

}  // namespace moxeltest
