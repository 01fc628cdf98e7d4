#pragma once

#include <sys/types.h>

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

#include "support/TestDataDir.h"

namespace moxeltest {

// A real SMTP server for the tests: aiosmtpd (peers/aiosmtpd_sink.py) as a child process on a
// free loopback port, saving every message it accepts into a temporary folder. It stops when
// the object is destroyed. Used by one test thread.
class AiosmtpdSink {
public:
    // Starts the server; Port() is 0 when it did not come up (python3-aiosmtpd missing).
    AiosmtpdSink();
    ~AiosmtpdSink();
    AiosmtpdSink(const AiosmtpdSink&) = delete;
    AiosmtpdSink& operator=(const AiosmtpdSink&) = delete;

    std::uint16_t Port() const { return port; }
    // "127.0.0.1:<port>", the form of the SMTP server setting.
    std::string Address() const { return "127.0.0.1:" + std::to_string(port); }
    // The messages accepted so far (contents as received), in order of arrival.
    std::vector<std::string> Messages() const;
    // Waits until at least `count` messages arrived, at most `timeout`; the messages then.
    std::vector<std::string> WaitForMessages(std::size_t count,
                                             std::chrono::milliseconds timeout) const;

private:
    TempDir folder;
    pid_t pid = -1;
    int stdinWrite = -1;
    std::uint16_t port = 0;
};

}  // namespace moxeltest
