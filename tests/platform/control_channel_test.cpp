#include <gtest/gtest.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <memory>
#include <thread>

#include "platform/ControlChannel.h"
#include "support/TestDataDir.h"

namespace {

using namespace std::chrono_literals;

constexpr uid_t kNobody = 65534;

// From a child process running as user `uid`: connects to `address`, sends "quit" and waits
// (at most 10 s) until the listener has closed the connection (unread data makes that a reset).
// True when it could connect and saw the connection closed.
bool SendQuitAs(uid_t uid, const sockaddr_un& address) {
    const pid_t child = ::fork();
    if (child == 0) {
        // Only async-signal-safe calls between fork and _exit.
        if (::setgid(uid) != 0 || ::setuid(uid) != 0) {
            ::_exit(2);
        }
        const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
        if (fd < 0 ||
            ::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof(address)) != 0) {
            ::_exit(3);
        }
        // May fail: a listener that refuses at once has closed the connection already.
        ::send(fd, "quit", 4, MSG_NOSIGNAL);
        pollfd closed{fd, POLLIN, 0};
        char byte = 0;
        ::_exit(::poll(&closed, 1, 10000) == 1 && ::read(fd, &byte, 1) <= 0 ? 0 : 4);
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

// The file modes keep other users away from the socket; should they fail (a folder opened by
// hand), the running copy still takes requests only from its own user.
TEST(ControlChannelTest, RefusesRequestsOfOtherUsers) {
    if (::geteuid() != 0) {
        GTEST_SKIP() << "needs root to act as another user";
    }
    moxeltest::TempDir folder;
    const auto socketPath = folder.Path() / "quit.sock";
    std::atomic<int> quits{0};
    platform::ControlChannel::Handlers handlers;
    handlers.onQuit = [&quits] { ++quits; };
    auto channel = std::make_unique<platform::ControlChannel>(socketPath, std::move(handlers));

    struct stat status {};
    ASSERT_EQ(::stat(socketPath.c_str(), &status), 0);
    EXPECT_EQ(status.st_mode & 07777, 0600u);

    // The owner is heard.
    ASSERT_TRUE(platform::ControlChannel::RequestQuit(socketPath));
    const auto deadline = std::chrono::steady_clock::now() + 10s;
    while (quits.load() == 0 && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(10ms);
    }
    ASSERT_EQ(quits.load(), 1);

    // Open the way on purpose, so that only the peer check stands between a stranger and us.
    ASSERT_EQ(::chmod(folder.Path().c_str(), 0711), 0);
    ASSERT_EQ(::chmod(socketPath.c_str(), 0666), 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strcpy(address.sun_path, socketPath.c_str());
    ASSERT_TRUE(SendQuitAs(kNobody, address));
    // The listener closed the stranger's connection; stopping it waits for whatever it did next.
    channel.reset();
    EXPECT_EQ(quits.load(), 1);
}

}  // namespace
