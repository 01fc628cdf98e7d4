#pragma once

#include <sys/types.h>

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "support/TestDataDir.h"

namespace moxeltest {

// A throw-away Postfix instance on loopback, the real MTA of the tests. Everything lives in a
// temporary folder: main.cf and master.cf, the queue, the data folder, the log, and a folder
// "mail" that receives every letter accepted for any recipient as one file, written by a pipe
// transport; nothing is relayed anywhere and no DNS is asked. Its smtpd listens on a free port
// of 127.0.0.1. Independent of any system-wide Postfix. Postfix only starts as root (see
// Available()). Used by one test thread.
class PostfixServer {
public:
    struct Options {
        // Recipients whose RCPT TO smtpd refuses (554 5.7.1 ... Recipient address rejected).
        std::vector<std::string> refusedRecipients;
    };

    // Whether Postfix is installed and may be started by this process.
    static bool Available();

    PostfixServer();
    explicit PostfixServer(Options options);
    // Stops Postfix (if running) and removes its folder.
    ~PostfixServer();
    PostfixServer(const PostfixServer&) = delete;
    PostfixServer& operator=(const PostfixServer&) = delete;

    // Starts Postfix and waits until smtpd accepts connections. Throws std::runtime_error with
    // Postfix's log when it does not come up.
    void Start();
    // "postfix stop", then waits for the master to end; whatever is left after the deadline is
    // killed. Does nothing when it is not running.
    void Stop();

    std::uint16_t Port() const { return port; }

    // Waits until at least `count` letters were delivered (at most `timeout`) and returns the
    // texts delivered so far, oldest first, as Postfix wrote them: LF line ends, its own
    // Received header on top.
    std::vector<std::string> WaitForLetters(std::size_t count, std::chrono::milliseconds timeout);

    // A delivered letter without the Received header that Postfix put on top.
    static std::string WithoutTrace(const std::string& letter);

    // Postfix's log so far, for failure messages.
    std::string Log() const;

private:
    std::filesystem::path Root() const { return folder.Path(); }
    void PrepareFolders();
    void WriteConfiguration() const;
    bool WaitUntilListening(std::chrono::milliseconds timeout) const;
    pid_t MasterPid() const;
    void KillLeftovers(pid_t master) const;

    Options options;
    TempDir folder;
    std::uint16_t port = 0;
    bool running = false;
};

}  // namespace moxeltest
