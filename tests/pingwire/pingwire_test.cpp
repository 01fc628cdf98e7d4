// pingwire through its C interface: echoes on loopback, its failures, and both socket paths
// in network namespaces of the test's own.
#include "pingwire.h"

#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <functional>
#include <string>
#include <vector>

#include "Namespace.h"

namespace {

using pingwiretest::EchoInNamespace;
using pingwiretest::Network;
using pingwiretest::Outcome;

enum Error : int {
    kParameter = 29001,
    kHandle = 29002,
    kNotInitialized = 29003,
    kHostName = 29004,
    kNoHost = 29005,
    kSocket = 29006,
    kSend = 29007,
    kTimeout = 29008,
};

bool HasIpv6Loopback() {
    const int probe = ::socket(AF_INET6, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (probe < 0) {
        return false;
    }
    sockaddr_in6 address{};
    address.sin6_family = AF_INET6;
    address.sin6_addr = in6addr_loopback;
    const bool bound = ::bind(probe, reinterpret_cast<sockaddr*>(&address), sizeof(address)) == 0;
    ::close(probe);
    return bound;
}

class PingwireTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_NE(IcmpInitializeA(nullptr, nullptr), 0); }
    void TearDown() override { IcmpUninitialize(); }
};

// Opens a handle to `host` with `timeout`, echoes `count` times and returns the last echo's
// outcome.
Outcome Echo(const char* host, int timeout = 1000, int count = 1) {
    Outcome outcome{-1, 0};
    const int handle = IcmpOpen(0);
    if (handle == -1 || IcmpSetTimeout(handle, timeout) != 0 || IcmpSetHostA(handle, host) != 0) {
        return {-1, IcmpGetLastError()};
    }
    for (int echo = 0; echo < count; ++echo) {
        outcome.result = IcmpEcho(handle);
        outcome.code = IcmpGetLastError();
    }
    IcmpClose(handle);
    return outcome;
}

TEST_F(PingwireTest, LoopbackAnswersEveryEcho) {
    for (const char* host : {"127.0.0.1", "::1", "localhost"}) {
        SCOPED_TRACE(host);
        if (std::string(host) == "::1" && !HasIpv6Loopback()) {
            continue;
        }
        // Several echoes on one handle: each is matched to its own sequence number.
        const Outcome outcome = Echo(host, 2000, 3);
        EXPECT_GE(outcome.result, 0);
        EXPECT_EQ(outcome.code, 0);
    }
    if (!HasIpv6Loopback()) {
        GTEST_SKIP() << "no IPv6 loopback: ::1 was not tried";
    }
}

TEST_F(PingwireTest, RefusesWhatItCannotDo) {
    const int open = IcmpOpen(0);
    ASSERT_NE(open, -1);
    const int closed = IcmpOpen(0);
    ASSERT_EQ(IcmpClose(closed), 0);
    // A failed change of host must not leave the old one as the target.
    ASSERT_EQ(IcmpSetHostA(open, "127.0.0.1"), 0);
    struct Case {
        const char* label;
        std::function<int()> call;
        int code;
    };
    const std::vector<Case> cases = {
        {"unknown host name", [&] { return IcmpSetHostA(open, "no-such-host.invalid"); },
         kHostName},
        {"echo after the host failed", [&] { return IcmpEcho(open); }, kNoHost},
        {"null host", [&] { return IcmpSetHostA(open, nullptr); }, kParameter},
        {"empty host", [&] { return IcmpSetHostA(open, ""); }, kParameter},
        {"time-out 0", [&] { return IcmpSetTimeout(open, 0); }, kParameter},
        {"time-out -1", [&] { return IcmpSetTimeout(open, -1); }, kParameter},
        {"time-out above a minute", [&] { return IcmpSetTimeout(open, 60001); }, kParameter},
        {"flags", [] { return IcmpOpen(1); }, kParameter},
        {"closed handle: echo", [&] { return IcmpEcho(closed); }, kHandle},
        {"closed handle: host", [&] { return IcmpSetHostA(closed, "127.0.0.1"); }, kHandle},
        {"closed handle: time-out", [&] { return IcmpSetTimeout(closed, 100); }, kHandle},
        {"closed handle: close", [&] { return IcmpClose(closed); }, kHandle},
        {"never opened", [] { return IcmpEcho(-1); }, kHandle},
    };
    for (const Case& failure : cases) {
        SCOPED_TRACE(failure.label);
        EXPECT_EQ(failure.call(), -1);
        EXPECT_EQ(IcmpGetLastError(), failure.code);
    }
    EXPECT_EQ(IcmpSetTimeout(open, 1), 0);
    EXPECT_EQ(IcmpSetTimeout(open, 60000), 0);
    EXPECT_EQ(IcmpClose(open), 0);
}

TEST_F(PingwireTest, EachErrorCodeHasAText) {
    for (int code :
         {kParameter, kHandle, kNotInitialized, kHostName, kNoHost, kSocket, kSend, kTimeout}) {
        SCOPED_TRACE(code);
        char text[256];
        EXPECT_GT(IcmpGetErrorStringA(code, text, sizeof(text)), 0);
    }
    char small[8];
    EXPECT_EQ(IcmpGetErrorStringA(kTimeout, small, sizeof(small)), 7);
    EXPECT_EQ(IcmpGetErrorStringA(12345, small, sizeof(small)), 0);
    EXPECT_EQ(IcmpGetErrorStringA(kTimeout, nullptr, 8), 0);
}

TEST(PingwireLifetime, HandlesEndWithTheLastRelease) {
    EXPECT_EQ(IcmpOpen(0), -1);
    EXPECT_EQ(IcmpGetLastError(), kNotInitialized);
    ASSERT_NE(IcmpInitializeA(nullptr, nullptr), 0);
    ASSERT_NE(IcmpInitializeA(nullptr, nullptr), 0);
    const int handle = IcmpOpen(0);
    ASSERT_NE(handle, -1);
    EXPECT_EQ(IcmpUninitialize(), 0);
    EXPECT_EQ(IcmpSetTimeout(handle, 100), 0) << "one initialisation is still in force";
    EXPECT_EQ(IcmpUninitialize(), 0);
    EXPECT_EQ(IcmpUninitialize(), -1);
    ASSERT_NE(IcmpInitializeA(nullptr, nullptr), 0);
    EXPECT_EQ(IcmpSetTimeout(handle, 100), -1);
    EXPECT_EQ(IcmpGetLastError(), kHandle);
    IcmpUninitialize();
}

// Both kinds of socket, silence and foreign traffic, each in a namespace of its own so the
// machine's settings stay as they are.
TEST(PingwirePaths, EchoesOnEitherSocketAndNeverWaitsPastTheTimeOut) {
    if (!pingwiretest::NamespacesAvailable()) {
        GTEST_SKIP() << "network namespaces need root here";
    }
    struct Case {
        const char* label;
        Network network;
        const char* host;
        int result;  // -1, or 0 for "any round trip"
        int code;
    };
    const std::vector<Case> cases = {
        {"datagram socket, IPv4",
         {.datagramAllowed = true, .rawAllowed = false},
         "127.0.0.1",
         0,
         0},
        {"datagram socket, IPv6", {.datagramAllowed = true, .rawAllowed = false}, "::1", 0, 0},
        {"raw socket, IPv4", {.datagramAllowed = false}, "127.0.0.1", 0, 0},
        {"raw socket, IPv6", {.datagramAllowed = false}, "::1", 0, 0},
        {"no socket allowed",
         {.datagramAllowed = false, .rawAllowed = false},
         "127.0.0.1",
         -1,
         kSocket},
        {"no route", {}, "192.0.2.1", -1, kSend},
        {"silent host, raw", {.loopbackSilent = true}, "127.0.0.1", -1, kTimeout},
        {"silent host, raw, IPv6", {.loopbackSilent = true}, "::1", -1, kTimeout},
        {"silent host, datagram",
         {.datagramAllowed = true, .rawAllowed = false, .loopbackSilent = true},
         "127.0.0.1",
         -1,
         kTimeout},
        // Replies with our sequence numbers but another identifier must not count, and a
        // steady stream of packets must not push the deadline back.
        {"foreign traffic, raw",
         {.loopbackSilent = true, .foreignTraffic = true},
         "127.0.0.1",
         -1,
         kTimeout},
    };
    for (const Case& test : cases) {
        SCOPED_TRACE(test.label);
        const auto outcome = EchoInNamespace(test.network, [&] {
            IcmpInitializeA(nullptr, nullptr);
            // Several echoes, so a silent host is waited for more than once.
            const Outcome last = Echo(test.host, 300, 3);
            IcmpUninitialize();
            return last;
        });
        ASSERT_TRUE(outcome.has_value()) << "the echo did not return";
        if (test.result == -1) {
            EXPECT_EQ(outcome->result, -1);
        } else {
            EXPECT_GE(outcome->result, 0);
        }
        EXPECT_EQ(outcome->code, test.code);
    }
}

}  // namespace
