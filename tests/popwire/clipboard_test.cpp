// The clipboard forms against a real X server (Xvfb) and xclip, where both are installed.
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "PopwireTest.h"

namespace {

using namespace std::chrono_literals;
using namespace popwiretest;
using Step = ScriptedPopServer;

bool Installed(const char* program) {
    return std::system((std::string("command -v ") + program + " >/dev/null 2>&1").c_str()) == 0;
}

// An Xvfb display of its own for the test's lifetime, named in DISPLAY; Xvfb picks a free
// display number and tells it once it accepts clients.
class VirtualDisplay {
public:
    VirtualDisplay() {
        int ends[2];
        if (::pipe(ends) != 0) {
            return;
        }
        pid = ::fork();
        if (pid == 0) {
            ::close(ends[0]);
            const std::string fd = std::to_string(ends[1]);
            ::execlp("Xvfb", "Xvfb", "-displayfd", fd.c_str(), "-nolisten", "tcp", nullptr);
            ::_exit(127);
        }
        ::close(ends[1]);
        std::string number;
        pollfd ready{ends[0], POLLIN, 0};
        char digit = 0;
        while (::poll(&ready, 1, 10'000) == 1 && ::read(ends[0], &digit, 1) == 1 && digit != '\n') {
            number += digit;
        }
        ::close(ends[0]);
        if (!number.empty()) {
            ::setenv("DISPLAY", (":" + number).c_str(), 1);
            ::unsetenv("WAYLAND_DISPLAY");
        }
    }
    ~VirtualDisplay() {
        if (pid > 0) {
            ::kill(pid, SIGTERM);
            ::waitpid(pid, nullptr, 0);
        }
        ::unsetenv("DISPLAY");
    }
    bool Running() const { return std::getenv("DISPLAY") != nullptr; }

private:
    pid_t pid = -1;
};

TEST_F(PopwireTest, AStoredMessageOnTheClipboardIsSentFromIt) {
    if (!Installed("Xvfb") || !Installed("xclip")) {
        GTEST_SKIP() << "needs Xvfb and xclip";
    }
    const VirtualDisplay display;
    ASSERT_TRUE(display.Running());
    ScriptedPopServer server(
        Join(Greeting(), Login(1, 20), Step::Answer("+OK 1 20\r\n"), Step::Answer("+OK 1 uid\r\n"),
             Step::Answer(MultiLine("Subject: hi\r\n\r\nbody\r\n")), Step::Answer("+OK go on\r\n"),
             Step::Expect(), Step::Expect(), Step::Expect(), Step::Expect(), Step::Expect(),
             Step::Send("+OK sent\r\n"), Step::Answer("+OK bye\r\n")));
    const HCLIENT client = ConnectAndLogin(server);
    ASSERT_EQ(PopStoreMessageA(client, 1, nullptr), 0) << LastError();
    const auto started = std::chrono::steady_clock::now();
    ASSERT_EQ(PopSendMessageA(client, nullptr), 0) << LastError();
    EXPECT_LT(std::chrono::steady_clock::now() - started, 3s);
    EXPECT_EQ(PopDisconnect(client), 0);
    EXPECT_EQ(server.Received(),
              (Lines{"USER user", "PASS pass", "STAT", "LIST 1", "UIDL 1", "RETR 1", "XTND XMIT",
                     "Subject: hi", "", "body", "", ".", "QUIT"}));
}

}  // namespace
