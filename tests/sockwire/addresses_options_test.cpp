// Address texts, name lookups and socket options.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstring>
#include <string>

#include "SockwireTest.h"

namespace {

using sockwiretest::Loopback;
using sockwiretest::SockwireTest;

std::uint32_t LastError() {
    return InetGetLastError();
}

// The address whose bytes are a, b, c, d with `a` lowest.
std::uint32_t Bytes(std::uint32_t a, std::uint32_t b, std::uint32_t c, std::uint32_t d) {
    return a | (b << 8) | (c << 16) | (d << 24);
}

TEST(SockwireAddressTextTest, FormatsLowestByteFirstTruncatedToTheCapacity) {
    struct Case {
        std::uint32_t address;
        int capacity;
        const char* text;
    };
    const Case cases[] = {
        {Bytes(127, 0, 0, 1), 16, "127.0.0.1"}, {Bytes(127, 0, 0, 1), 4, "127"},
        {Bytes(127, 0, 0, 1), 1, ""},           {Bytes(255, 255, 255, 255), 16, "255.255.255.255"},
        {Bytes(10, 1, 2, 3), 7, "10.1.2"},      {0, 16, "0.0.0.0"},
    };
    for (const auto& item : cases) {
        SCOPED_TRACE(item.text);
        char buffer[32];
        std::memset(buffer, 'x', sizeof(buffer));
        InetFormatAddressA(item.address, buffer, item.capacity);
        EXPECT_STREQ(buffer, item.text);
        char16_t wide[32];
        InetFormatAddressW(item.address, wide, item.capacity);
        EXPECT_EQ(std::u16string(wide),
                  std::u16string(item.text, item.text + std::strlen(item.text)));
    }
    char untouched[4] = "abc";
    InetFormatAddressA(Bytes(1, 2, 3, 4), untouched, 0);
    EXPECT_STREQ(untouched, "abc");
}

TEST_F(SockwireTest, DottedAddressesNeedNoLookupAndNamesResolve) {
    EXPECT_EQ(InetGetHostAddressA("10.1.2.3"), Bytes(10, 1, 2, 3));
    EXPECT_EQ(InetGetHostAddressW(u"192.168.0.20"), Bytes(192, 168, 0, 20));
    EXPECT_EQ(InetGetHostAddressA("localhost"), Loopback());
    EXPECT_EQ(InetGetHostAddressA(""), 0xFFFFFFFFU);
    EXPECT_EQ(LastError(), static_cast<std::uint32_t>(ERROR_INET_HOSTNAME));
    EXPECT_EQ(InetGetHostAddressA("no-such-host.invalid"), 0xFFFFFFFFU);
    EXPECT_EQ(LastError(), static_cast<std::uint32_t>(ERROR_INET_HOSTNAME));
}

TEST_F(SockwireTest, HostNamesOfAddressesAndOfThisMachine) {
    char name[64];
    ASSERT_EQ(InetGetHostNameA(Loopback(), name, sizeof(name)), 0) << LastError();
    EXPECT_STREQ(name, "localhost");
    char shortName[5];
    ASSERT_EQ(InetGetHostNameA(Loopback(), shortName, sizeof(shortName)), 0);
    EXPECT_STREQ(shortName, "loca");
    char16_t wide[64];
    ASSERT_EQ(InetGetHostNameW(Loopback(), wide, 64), 0);
    EXPECT_EQ(std::u16string(wide), u"localhost");

    for (const std::uint32_t bad : {0U, 0xFFFFFFFFU}) {
        EXPECT_EQ(InetGetHostNameA(bad, name, sizeof(name)), INET_ERROR);
        EXPECT_EQ(LastError(), static_cast<std::uint32_t>(ERROR_INET_HOSTADDRESS));
    }

    char expected[256] = {};
    ASSERT_EQ(::gethostname(expected, sizeof(expected)), 0);
    char local[256];
    ASSERT_EQ(InetGetLocalNameA(local, sizeof(local)), 0);
    EXPECT_STREQ(local, expected);
    char16_t localWide[256];
    ASSERT_EQ(InetGetLocalNameW(localWide, 256), 0);
    EXPECT_EQ(std::u16string(localWide).size(), std::strlen(expected));
    char tiny[1];
    EXPECT_EQ(InetGetLocalNameA(tiny, 1), INET_ERROR) << "no room for the name";
    EXPECT_EQ(LastError(), static_cast<std::uint32_t>(ERROR_INET_LOCALHOST));
    EXPECT_EQ(InetGetLocalNameA(local, 0), INET_ERROR);
    EXPECT_EQ(LastError(), static_cast<std::uint32_t>(ERROR_INET_PARAMETER));

    std::uint32_t address = 0;
    std::uint32_t port = 7;
    ASSERT_EQ(InetGetLocalAddress(INVALID_SOCKET, &address, &port), 0);
    EXPECT_NE(address, 0xFFFFFFFFU) << "the first address of this machine";
    EXPECT_EQ(port, 0U);
}

TEST_F(SockwireTest, BothEndsOfAConnectionKnowEachOther) {
    SOCKET client = INVALID_SOCKET;
    SOCKET server = INVALID_SOCKET;
    Connect(client, server);
    std::uint32_t clientAddress = 0;
    std::uint32_t clientPort = 0;
    std::uint32_t peerAddress = 0;
    std::uint32_t peerPort = 0;
    ASSERT_EQ(InetGetLocalAddress(client, &clientAddress, &clientPort), 0);
    ASSERT_EQ(InetGetPeerAddress(server, &peerAddress, &peerPort), 0);
    EXPECT_EQ(clientAddress, Loopback());
    EXPECT_EQ(peerAddress, Loopback());
    EXPECT_EQ(peerPort, clientPort);
    EXPECT_NE(clientPort, 0U);

    std::uint32_t serverPort = 0;
    std::uint32_t towardsPort = 0;
    ASSERT_EQ(InetGetLocalAddress(server, &peerAddress, &serverPort), 0);
    ASSERT_EQ(InetGetPeerAddress(client, &peerAddress, &towardsPort), 0);
    EXPECT_EQ(serverPort, towardsPort);
}

TEST_F(SockwireTest, AListenerOnAFreePortTellsWhichPortItGot) {
    const SOCKET listener = InetListen(Loopback(), 0);
    ASSERT_NE(listener, INVALID_SOCKET);
    std::uint32_t address = 0;
    std::uint32_t port = 0;
    ASSERT_EQ(InetGetLocalAddress(listener, &address, &port), 0);
    EXPECT_EQ(address, Loopback());
    EXPECT_GT(port, 0U);
    EXPECT_EQ(InetConnectA("127.0.0.1", port, INET_PROTOCOL_TCP, 5) != INVALID_SOCKET, true);
}

TEST_F(SockwireTest, OptionsAreSetAndReadOneAtATime) {
    SOCKET client = INVALID_SOCKET;
    SOCKET server = INVALID_SOCKET;
    Connect(client, server);
    struct Case {
        const char* label;
        std::uint32_t option;
    };
    const Case cases[] = {
        {"keep-alive", INET_OPTION_KEEPALIVE},
        {"no delay", INET_OPTION_NODELAY},
        {"address reuse", INET_OPTION_REUSEADDR},
        {"do not route", INET_OPTION_DONTROUTE},
    };
    for (const auto& item : cases) {
        SCOPED_TRACE(item.label);
        int enabled = -1;
        ASSERT_EQ(InetSetOption(client, item.option, 1), 0) << LastError();
        ASSERT_EQ(InetGetOption(client, item.option, &enabled), 0);
        EXPECT_EQ(enabled, 1);
        ASSERT_EQ(InetSetOption(client, item.option, 0), 0);
        ASSERT_EQ(InetGetOption(client, item.option, &enabled), 0);
        EXPECT_EQ(enabled, 0);
    }
    int enabled = -1;
    EXPECT_EQ(InetSetOption(client, INET_OPTION_NONE, 1), 0);
    EXPECT_EQ(InetGetOption(client, INET_OPTION_NONE, &enabled), 0);
    EXPECT_EQ(enabled, 0);
    for (const std::uint32_t unknown : {3U, 5U, 32U, 0xFFFFFFFFU}) {
        SCOPED_TRACE(unknown);
        EXPECT_EQ(InetSetOption(client, unknown, 1), INET_ERROR);
        EXPECT_EQ(LastError(), static_cast<std::uint32_t>(ERROR_INET_OPTION));
        EXPECT_EQ(InetGetOption(client, unknown, &enabled), INET_ERROR);
        EXPECT_EQ(LastError(), static_cast<std::uint32_t>(ERROR_INET_OPTION));
    }
    // A listening socket has no TCP_NODELAY to speak of on every system, but broadcast is a
    // datagram option: the stream refuses it or accepts it; either way the answer is read back.
    const SOCKET listener = InetListen(Loopback(), 0);
    EXPECT_EQ(InetGetOption(listener, INET_OPTION_REUSEADDR, &enabled), 0);
    EXPECT_EQ(enabled, 1) << "listeners reuse their address";
}

}  // namespace
