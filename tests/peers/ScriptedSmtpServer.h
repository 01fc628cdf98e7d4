#pragma once

#include <openssl/ssl.h>

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "support/LoopbackSockets.h"

namespace moxeltest {

// An SMTP server that plays a script, for the faults and the exact bytes a real server does not
// show: refusals at every step, silence, endless lines, connections dropped in the data. It
// listens on a loopback port chosen by the system, serves one connection on a thread of its own
// and records every byte the client sends, as it arrives (after TLS, decrypted). After the
// script it keeps reading until the client closes. Built and inspected by one test thread.
class ScriptedSmtpServer {
public:
    struct Step {
        enum class Kind { Send, Expect, ExpectData, Pause, Close, StartTls };
        Kind kind;
        std::string bytes;
        std::chrono::milliseconds pause{};
    };

    // Sends the bytes exactly (no line end is added).
    static Step Send(std::string bytes) { return {Step::Kind::Send, std::move(bytes)}; }
    // Waits for one line of the client.
    static Step Expect() { return {Step::Kind::Expect, {}}; }
    // Waits for message content up to its end (CR LF "." CR LF).
    static Step ExpectData() { return {Step::Kind::ExpectData, {}}; }
    static Step Pause(std::chrono::milliseconds duration) {
        return {Step::Kind::Pause, {}, duration};
    }
    // Closes the connection; the steps after it are not played.
    static Step Close() { return {Step::Kind::Close, {}}; }
    // Runs the server side of a TLS handshake with the server's certificate.
    static Step StartTls() { return {Step::Kind::StartTls, {}}; }
    // Waits for one command and answers it.
    static std::vector<Step> Answer(std::string reply) {
        return {Expect(), Send(std::move(reply))};
    }

    // `certificate` and `key` (PEM files) are needed only by scripts with StartTls. A fixed
    // port that cannot be opened throws std::runtime_error.
    explicit ScriptedSmtpServer(std::vector<Step> script, std::filesystem::path certificate = {},
                                std::filesystem::path key = {}, std::uint16_t fixedPort = 0);
    ~ScriptedSmtpServer();
    ScriptedSmtpServer(const ScriptedSmtpServer&) = delete;
    ScriptedSmtpServer& operator=(const ScriptedSmtpServer&) = delete;

    std::uint16_t Port() const { return port; }

    // Every byte the client sent, once the connection has ended (or after `timeout`).
    std::string Transcript(std::chrono::milliseconds timeout = std::chrono::seconds(10));
    bool WaitForEnd(std::chrono::milliseconds timeout);

private:
    void Serve(std::vector<Step> script);
    bool Receive();  // more bytes into `partial`; false when the client closed
    bool ReadUntil(const std::string& terminator);
    bool ReadData();
    bool SendBytes(const std::string& bytes);
    bool PauseUnlessClosed(std::chrono::milliseconds duration);
    bool Handshake();

    struct SslFree {
        void operator()(SSL* session) const { SSL_free(session); }
    };
    struct ContextFree {
        void operator()(SSL_CTX* context) const { SSL_CTX_free(context); }
    };

    std::filesystem::path certificateFile;
    std::filesystem::path keyFile;
    std::uint16_t port = 0;
    Descriptor listener;
    Descriptor connection;                          // serving thread only
    std::unique_ptr<SSL_CTX, ContextFree> context;  // serving thread only
    std::unique_ptr<SSL, SslFree> ssl;              // serving thread only
    std::string partial;                            // serving thread only: not yet consumed
    int connectionFd = -1;   // guarded by mutex; for the destructor to end the connection
    bool ended = false;      // guarded by mutex
    bool stopping = false;   // guarded by mutex
    std::string transcript;  // guarded by mutex
    std::mutex mutex;
    std::condition_variable changed;
    std::thread server;
};

}  // namespace moxeltest
