// Reading and writing in blocking mode, peers that go away, and the messages of a waiting
// thread.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <future>
#include <thread>

#include "SockwireTest.h"
#include "platform/windows/MessageWindows.h"
#include "support/LoopbackSockets.h"

namespace {

using namespace std::chrono_literals;
using sockwiretest::Loopback;
using sockwiretest::SockwireTest;

std::uint32_t LastError() {
    return InetGetLastError();
}

std::string Pattern(std::size_t size) {
    std::string data(size, '\0');
    for (std::size_t i = 0; i < size; ++i) {
        data[i] = static_cast<char>('a' + (i * 7) % 26);
    }
    return data;
}

// Serves one connection on a thread of its own: sends back whatever arrives until the peer
// closes. Returns the number of bytes echoed.
long EchoServer(std::promise<std::uint32_t>& portPromise) {
    std::uint32_t port = 0;
    const SOCKET listener = InetListen(Loopback(), 0);
    std::uint32_t address = 0;
    InetGetLocalAddress(listener, &address, &port);
    portPromise.set_value(port);
    const SOCKET connection = InetAccept(listener, 10);
    InetDisconnect(listener);
    long echoed = 0;
    char buffer[16384];
    for (;;) {
        const int received = InetRead(connection, buffer, sizeof(buffer));
        if (received <= 0) {
            break;
        }
        for (int sent = 0; sent < received;) {
            const int result = InetWrite(connection, buffer + sent, received - sent);
            if (result <= 0) {
                return -1;
            }
            sent += result;
        }
        echoed += received;
    }
    InetDisconnect(connection);
    return echoed;
}

TEST_F(SockwireTest, EchoesEverySizeOverLoopbackInBlockingMode) {
    std::promise<std::uint32_t> port;
    auto server = std::async(std::launch::async, [&] { return EchoServer(port); });
    const SOCKET client = InetConnectA("127.0.0.1", port.get_future().get(), INET_PROTOCOL_TCP, 10);
    ASSERT_NE(client, INVALID_SOCKET) << LastError();
    long total = 0;
    for (const std::size_t size : {1UL, 2UL, 100UL, 4096UL, 65536UL, 1UL << 20}) {
        SCOPED_TRACE(size);
        const std::string data = Pattern(size);
        // In pieces, so that neither side's buffers fill while the other one writes.
        constexpr std::size_t kPiece = 32768;
        std::string back;
        for (std::size_t offset = 0; offset < size; offset += kPiece) {
            const std::string piece = data.substr(offset, kPiece);
            ASSERT_TRUE(WriteAll(client, piece));
            back += ReadCount(client, piece.size());
        }
        EXPECT_EQ(back, data);
        total += static_cast<long>(size);
    }
    ASSERT_EQ(InetDisconnect(client), 0);
    EXPECT_EQ(server.get(), total) << "the server saw the orderly close after everything";
}

// A connection between the library (client) and a plain socket (peer).
class TransferTest : public SockwireTest {
protected:
    void SetUp() override {
        SockwireTest::SetUp();
        std::uint16_t port = 0;
        listener = moxeltest::ListenOnLoopback(port);
        client = InetConnectA("127.0.0.1", port, INET_PROTOCOL_TCP, 10);
        ASSERT_NE(client, INVALID_SOCKET) << LastError();
        peer = moxeltest::AcceptOne(listener);
    }

    moxeltest::Descriptor listener;
    moxeltest::Descriptor peer;
    SOCKET client = INVALID_SOCKET;
};

TEST_F(TransferTest, AReadOfNothingWaitsForDataAndLeavesItThere) {
    std::thread sender([&] {
        std::this_thread::sleep_for(100ms);
        moxeltest::SendAll(peer, "abc");
    });
    char buffer[8];
    EXPECT_EQ(InetRead(client, buffer, 0), 0);
    sender.join();
    EXPECT_EQ(ReadCount(client, 3), "abc");
}

TEST_F(TransferTest, AReadAfterThePeerClosedReturnsZero) {
    moxeltest::SendAll(peer, "last words");
    peer.Close();
    EXPECT_EQ(ReadCount(client, 10), "last words");
    char buffer[8];
    EXPECT_EQ(InetRead(client, buffer, sizeof(buffer)), 0);
    EXPECT_EQ(InetRead(client, buffer, sizeof(buffer)), 0);
    EXPECT_EQ(InetDisconnect(client), 0);
}

TEST_F(TransferTest, APeerThatVanishesMidReadFailsTheReadAndLeavesTheTableSound) {
    moxeltest::SendAll(peer, "partial");
    EXPECT_EQ(ReadCount(client, 7), "partial");
    moxeltest::Reset(peer);
    char buffer[64];
    EXPECT_EQ(InetRead(client, buffer, sizeof(buffer)), INET_ERROR);
    EXPECT_EQ(LastError(), static_cast<std::uint32_t>(ERROR_INET_READ));
    // The handle is still the caller's to close, and then gone.
    EXPECT_EQ(InetDisconnect(client), 0);
    EXPECT_EQ(InetRead(client, buffer, sizeof(buffer)), INET_ERROR);
    EXPECT_EQ(LastError(), static_cast<std::uint32_t>(ERROR_INET_HANDLE));
}

TEST_F(TransferTest, APeerThatVanishesMidWriteFailsTheWriteWithoutKillingTheProcess) {
    moxeltest::Reset(peer);
    const std::string block = Pattern(65536);
    int result = 0;
    for (int attempt = 0; attempt < 100 && result >= 0; ++attempt) {
        result = InetWrite(client, block.data(), static_cast<int>(block.size()));
    }
    EXPECT_EQ(result, INET_ERROR);
    EXPECT_EQ(LastError(), static_cast<std::uint32_t>(ERROR_INET_WRITE));
    EXPECT_EQ(InetIsConnected(client), 1);
    EXPECT_EQ(InetDisconnect(client), 0);
}

TEST_F(TransferTest, ClosingShutsTheSendingDirectionDownInOrder) {
    ASSERT_TRUE(WriteAll(client, "bye"));
    ASSERT_EQ(InetDisconnect(client), 0);
    EXPECT_EQ(moxeltest::ReceiveCount(peer, 10), "bye") << "data first, then the orderly end";
}

TEST_F(TransferTest, FlushDropsWhatIsWaiting) {
    moxeltest::SendAll(peer, Pattern(1000));
    std::uint32_t waiting = 0;
    ASSERT_EQ(InetIsReadable(client, 2000, &waiting), 1);
    EXPECT_GT(waiting, 0U);
    EXPECT_EQ(InetFlush(client), 0);
    EXPECT_EQ(InetIsReadable(client, 0, &waiting), 0);
    EXPECT_EQ(waiting, 0U);
    moxeltest::SendAll(peer, "next");
    EXPECT_EQ(ReadCount(client, 4), "next");
}

TEST_F(TransferTest, ReadableAndWritableTellWhatCanBeDoneNow) {
    std::uint32_t waiting = 99;
    EXPECT_EQ(InetIsReadable(client, 0, &waiting), 0);
    EXPECT_EQ(waiting, 0U);
    EXPECT_EQ(InetIsWritable(client, 0), 1);
    moxeltest::SendAll(peer, "12345");
    ASSERT_EQ(InetIsReadable(client, 5000, &waiting), 1);
    // The five bytes may still be arriving in parts; all of them are there soon.
    for (int i = 0; i < 100 && waiting < 5; ++i) {
        std::this_thread::sleep_for(10ms);
        InetIsReadable(client, 0, &waiting);
    }
    EXPECT_EQ(waiting, 5U);
}

// While InetRead waits, a message posted to a window of the waiting thread is handled; the
// handler finds the socket blocking and may not close it.
SOCKET blockedSocket = INVALID_SOCKET;
int disconnectResult = 0;
std::uint32_t disconnectError = 0;
int blockingSeen = 0;

std::intptr_t DuringTheWait(platform::WindowHandle, std::uint32_t message, std::uintptr_t,
                            std::intptr_t) {
    if (message == platform::WM_USER + 5) {
        blockingSeen = InetIsBlocking(blockedSocket);
        disconnectResult = InetDisconnect(blockedSocket);
        disconnectError = InetGetLastError();
    }
    return 0;
}

TEST_F(TransferTest, ABlockingWaitKeepsTheThreadsMessagesFlowing) {
    const platform::WindowHandle window = platform::CreateMessageWindow(&DuringTheWait);
    blockedSocket = client;
    std::thread other([&] {
        std::this_thread::sleep_for(100ms);
        platform::PostMessage(window, platform::WM_USER + 5, 0, 0);
        std::this_thread::sleep_for(200ms);
        moxeltest::SendAll(peer, "done");
    });
    EXPECT_EQ(ReadCount(client, 4), "done");
    other.join();
    EXPECT_EQ(blockingSeen, 1);
    EXPECT_EQ(disconnectResult, INET_ERROR);
    EXPECT_EQ(disconnectError, static_cast<std::uint32_t>(ERROR_INET_BLOCKED));
    EXPECT_EQ(InetIsConnected(client), 1) << "the socket survived the attempt";
    EXPECT_EQ(InetIsBlocking(client), 0);
    platform::DestroyWindow(window);
}

}  // namespace
