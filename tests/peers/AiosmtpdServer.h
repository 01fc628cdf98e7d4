#pragma once

#include <sys/types.h>

#include <cstdint>
#include <filesystem>
#include <string>

namespace moxeltest {

// A real SMTP server: aiosmtpd (peers/aiosmtpd_sink.py) as a child process on a free loopback
// port, saving each message it accepts into `folder` as <n>.eml and <n>.envelope, with AUTH
// PLAIN/LOGIN for "tester"/"secret". It stops when the object is destroyed (its standard input
// closes). Port() is 0 when it did not start. Built and used by one test thread.
class AiosmtpdServer {
public:
    explicit AiosmtpdServer(const std::filesystem::path& folder);
    ~AiosmtpdServer();
    AiosmtpdServer(const AiosmtpdServer&) = delete;
    AiosmtpdServer& operator=(const AiosmtpdServer&) = delete;

    std::uint16_t Port() const { return port; }

private:
    std::uint16_t port = 0;
    pid_t pid = -1;
    int stdinWrite = -1;
};

// The whole content of a file; empty when it cannot be read.
std::string ReadWholeFile(const std::filesystem::path& path);

}  // namespace moxeltest
