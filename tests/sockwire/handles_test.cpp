// Handles: unknown, closed and foreign handles, null pointers and the size of the table.
#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <thread>
#include <vector>

#include "SockwireTest.h"
#include "support/LoopbackSockets.h"

namespace {

using sockwiretest::Loopback;
using sockwiretest::RecordEvent;
using sockwiretest::SockwireTest;

// One call of the interface with what it must return and the error it must leave.
struct Expectation {
    const char* label;
    std::function<long long()> call;
    long long result;
    std::uint32_t error;
};

void Check(const std::vector<Expectation>& expectations) {
    for (const auto& item : expectations) {
        SCOPED_TRACE(item.label);
        InetSetLastError(0);
        EXPECT_EQ(item.call(), item.result);
        EXPECT_EQ(InetGetLastError(), item.error);
    }
}

std::vector<Expectation> CallsWithHandle(SOCKET handle, std::uint32_t error) {
    static char buffer[16];
    static std::uint32_t number;
    static int flag;
    return {
        {"InetAccept", [=] { return InetAccept(handle, 1); }, INVALID_SOCKET, error},
        {"InetAsyncAccept", [=] { return InetAsyncAccept(handle, 1, nullptr, 0); }, INVALID_SOCKET,
         error},
        {"InetAsyncNotify", [=] { return InetAsyncNotify(handle, nullptr, 0); }, INET_ERROR, error},
        {"InetEnableEvents", [=] { return InetEnableEvents(handle, nullptr, 0); }, INET_ERROR,
         error},
        {"InetDisableEvents", [=] { return InetDisableEvents(handle); }, INET_ERROR, error},
        {"InetRegisterEvent", [=] { return InetRegisterEvent(handle, 1, &RecordEvent, 0); },
         INET_ERROR, error},
        {"InetFreezeEvents", [=] { return InetFreezeEvents(handle, 1); }, 0, error},
        {"InetIsBlocking", [=] { return InetIsBlocking(handle); }, 0, error},
        {"InetDisconnect", [=] { return InetDisconnect(handle); }, INET_ERROR, error},
        {"InetFlush", [=] { return InetFlush(handle); }, INET_ERROR, error},
        {"InetRead", [=] { return InetRead(handle, buffer, sizeof(buffer)); }, INET_ERROR, error},
        {"InetWrite", [=] { return InetWrite(handle, "x", 1); }, INET_ERROR, error},
        {"InetIsConnected", [=] { return InetIsConnected(handle); }, 0, error},
        {"InetIsListening", [=] { return InetIsListening(handle); }, 0, error},
        {"InetIsReadable", [=] { return InetIsReadable(handle, 0, &number); }, 0, error},
        {"InetIsWritable", [=] { return InetIsWritable(handle, 0); }, 0, error},
        {"InetSetOption", [=] { return InetSetOption(handle, INET_OPTION_KEEPALIVE, 1); },
         INET_ERROR, error},
        {"InetGetOption", [=] { return InetGetOption(handle, INET_OPTION_KEEPALIVE, &flag); },
         INET_ERROR, error},
        {"InetGetPeerAddress", [=] { return InetGetPeerAddress(handle, &number, &number); },
         INET_ERROR, error},
        {"InetGetLocalAddress", [=] { return InetGetLocalAddress(handle, &number, &number); },
         INET_ERROR, error},
    };
}

TEST_F(SockwireTest, EveryFunctionRefusesAnUnknownOrClosedHandle) {
    const SOCKET closed = InetListen(Loopback(), 0);
    ASSERT_NE(closed, INVALID_SOCKET);
    ASSERT_EQ(InetDisconnect(closed), 0);
    for (const SOCKET handle : {closed, static_cast<SOCKET>(123456789)}) {
        SCOPED_TRACE(handle);
        Check(CallsWithHandle(handle, ERROR_INET_HANDLE));
    }
}

TEST_F(SockwireTest, AddressOutputsSayUnknownWhenTheHandleIsBad) {
    std::uint32_t address = 5;
    std::uint32_t port = 5;
    EXPECT_EQ(InetGetPeerAddress(4242, &address, &port), INET_ERROR);
    EXPECT_EQ(address, 0xFFFFFFFFU);
    EXPECT_EQ(port, 0U);
    address = port = 5;
    EXPECT_EQ(InetGetLocalAddress(4242, &address, &port), INET_ERROR);
    EXPECT_EQ(address, 0xFFFFFFFFU);
    EXPECT_EQ(port, 0U);
}

TEST_F(SockwireTest, NullPointersAndBadLengthsAreRefusedWithoutHarm) {
    SOCKET client = INVALID_SOCKET;
    SOCKET server = INVALID_SOCKET;
    Connect(client, server);
    char buffer[16];
    const std::vector<Expectation> expectations = {
        {"InetRead null buffer", [&] { return InetRead(client, nullptr, 10); }, INET_ERROR,
         ERROR_INET_PARAMETER},
        {"InetRead negative", [&] { return InetRead(client, buffer, -1); }, INET_ERROR,
         ERROR_INET_PARAMETER},
        {"InetWrite null data", [&] { return InetWrite(client, nullptr, 1); }, INET_ERROR,
         ERROR_INET_PARAMETER},
        {"InetWrite negative", [&] { return InetWrite(client, "x", -1); }, INET_ERROR,
         ERROR_INET_PARAMETER},
        {"InetGetOption null", [&] { return InetGetOption(client, INET_OPTION_NODELAY, nullptr); },
         INET_ERROR, ERROR_INET_PARAMETER},
        {"InetGetPeerAddress null outputs",
         [&] { return InetGetPeerAddress(client, nullptr, nullptr); }, 0, 0},
        {"InetGetLocalAddress null outputs",
         [&] { return InetGetLocalAddress(client, nullptr, nullptr); }, 0, 0},
        {"InetIsWritable", [&] { return InetIsWritable(client, 0); }, 1, 0},
        {"InetIsReadable null output", [&] { return InetIsReadable(client, 0, nullptr); }, 0, 0},
        {"InetRegisterEvent null callback",
         [&] { return InetRegisterEvent(client, INET_EVENT_READ, nullptr, 0); }, 0, 0},
        {"InetConnectA null host", [] { return InetConnectA(nullptr, 80, 6, 1); }, INVALID_SOCKET,
         ERROR_INET_HOSTNAME},
        {"InetConnectW null host", [] { return InetConnectW(nullptr, 80, 6, 1); }, INVALID_SOCKET,
         ERROR_INET_HOSTNAME},
        {"InetConnectExW null host", [] { return InetConnectExW(nullptr, 80, 6, 1, 0, 0, 0); },
         INVALID_SOCKET, ERROR_INET_HOSTNAME},
        {"InetAsyncConnectA null host",
         [] { return InetAsyncConnectA(nullptr, 80, 6, 1, nullptr, 0); }, INVALID_SOCKET,
         ERROR_INET_HOSTNAME},
        {"InetAsyncConnectExW null host",
         [] { return InetAsyncConnectExW(nullptr, 80, 6, 1, 0, 0, 0, nullptr, 0); }, INVALID_SOCKET,
         ERROR_INET_HOSTNAME},
        {"InetGetHostAddressA null", [] { return InetGetHostAddressA(nullptr); }, 0xFFFFFFFF,
         ERROR_INET_HOSTNAME},
        {"InetGetHostAddressW null", [] { return InetGetHostAddressW(nullptr); }, 0xFFFFFFFF,
         ERROR_INET_HOSTNAME},
        {"InetGetHostNameA null", [] { return InetGetHostNameA(Loopback(), nullptr, 10); },
         INET_ERROR, ERROR_INET_PARAMETER},
        {"InetGetHostNameW no room",
         [] {
             char16_t name[4];
             return InetGetHostNameW(Loopback(), name, 0);
         },
         INET_ERROR, ERROR_INET_PARAMETER},
        {"InetGetLocalNameA null", [] { return InetGetLocalNameA(nullptr, 10); }, INET_ERROR,
         ERROR_INET_PARAMETER},
        {"InetGetLocalNameW null", [] { return InetGetLocalNameW(nullptr, 10); }, INET_ERROR,
         ERROR_INET_PARAMETER},
        {"InetGetErrorStringW null", [] { return InetGetErrorStringW(28005, nullptr, 10); }, 0, 0},
        {"InetEnableTraceA null", [] { return InetEnableTraceA(nullptr, 0); }, 0, 0},
        {"InetEnableTraceW null", [] { return InetEnableTraceW(nullptr, 0); }, 0, 0},
        {"InetDisableTrace", [] { return InetDisableTrace(); }, 0, 0},
    };
    Check(expectations);
    InetFormatAddressA(Loopback(), nullptr, 16);
    InetFormatAddressW(Loopback(), nullptr, 16);
}

TEST_F(SockwireTest, AHandleBelongsToTheThreadThatMadeIt) {
    SOCKET client = INVALID_SOCKET;
    SOCKET server = INVALID_SOCKET;
    Connect(client, server);
    std::thread([&] { Check(CallsWithHandle(client, ERROR_INET_HANDLE)); }).join();
    // The owner still has it, whole.
    EXPECT_EQ(InetIsConnected(client), 1);
    ASSERT_TRUE(WriteAll(client, "still mine"));
    EXPECT_EQ(ReadCount(server, 10), "still mine");
}

TEST_F(SockwireTest, OnlyTheOwnerMayWaitForAConnectionOnABlockingListener) {
    // Another thread's accept is refused before it waits, so it never holds the owner's accept
    // (or close) off, not even when it would wait without limit for nothing.
    for (const bool waiting : {true, false}) {
        SCOPED_TRACE(waiting ? "a connection waits" : "nothing waits and no limit is set");
        std::uint32_t port = 0;
        const SOCKET listener = Listen(port);
        moxeltest::Descriptor peer;
        if (waiting) {
            peer = moxeltest::ConnectToLoopback(static_cast<std::uint16_t>(port));
        }
        SOCKET accepted = 0;
        std::uint32_t error = 0;
        std::thread foreign([&] {
            accepted = InetAccept(listener, waiting ? 5 : 0);
            error = InetGetLastError();
        });
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        if (!waiting) {
            peer = moxeltest::ConnectToLoopback(static_cast<std::uint16_t>(port));
        }
        const SOCKET mine = InetAccept(listener, 5);
        EXPECT_NE(mine, INVALID_SOCKET) << InetGetLastError();
        foreign.join();
        EXPECT_EQ(accepted, INVALID_SOCKET);
        EXPECT_EQ(error, static_cast<std::uint32_t>(ERROR_INET_HANDLE));
        InetDisconnect(mine);
        InetDisconnect(listener);
    }
}

TEST_F(SockwireTest, TheTableHoldsTwoHundredFiftySixSockets) {
    std::vector<SOCKET> sockets;
    for (int i = 0; i < 256; ++i) {
        const SOCKET listener = InetListen(Loopback(), 0);
        ASSERT_NE(listener, INVALID_SOCKET) << "socket " << i << ": " << InetGetLastError();
        sockets.push_back(listener);
    }
    EXPECT_EQ(InetListen(Loopback(), 0), INVALID_SOCKET);
    EXPECT_EQ(InetGetLastError(), static_cast<std::uint32_t>(ERROR_INET_NOHANDLES));
    EXPECT_EQ(InetConnectA("127.0.0.1", 9, INET_PROTOCOL_TCP, 1), INVALID_SOCKET);
    EXPECT_EQ(InetGetLastError(), static_cast<std::uint32_t>(ERROR_INET_NOHANDLES));

    // A connection that arrives while the table is full is closed, not left hanging.
    std::uint32_t address = 0;
    std::uint32_t port = 0;
    ASSERT_EQ(InetGetLocalAddress(sockets.back(), &address, &port), 0);
    moxeltest::Descriptor peer = moxeltest::ConnectToLoopback(static_cast<std::uint16_t>(port));
    EXPECT_EQ(InetAccept(sockets.back(), 5), INVALID_SOCKET);
    EXPECT_EQ(InetGetLastError(), static_cast<std::uint32_t>(ERROR_INET_NOHANDLES));
    EXPECT_EQ(moxeltest::ReceiveCount(peer, 1), "");

    ASSERT_EQ(InetDisconnect(sockets.front()), 0);
    EXPECT_NE(InetListen(Loopback(), 0), INVALID_SOCKET) << "a freed slot is used again";
}

}  // namespace
