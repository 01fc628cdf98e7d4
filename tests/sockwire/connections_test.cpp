// Connecting, listening and accepting, with the failures of each.
#include <dirent.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <chrono>
#include <thread>

#include "SockwireTest.h"
#include "platform/windows/MessageWindows.h"
#include "support/LoopbackSockets.h"

namespace {

using namespace std::chrono_literals;
using sockwiretest::Loopback;
using sockwiretest::RecordedEventIds;
using sockwiretest::recordedEvents;
using sockwiretest::RecordEvent;
using sockwiretest::SockwireTest;

// Descriptors open in this process: a socket left behind shows up here.
int OpenDescriptors() {
    int count = 0;
    if (DIR* folder = ::opendir("/proc/self/fd")) {
        while (::readdir(folder)) {
            ++count;
        }
        ::closedir(folder);
    }
    return count;
}

std::uint32_t LastError() {
    return InetGetLastError();
}

// The descriptors open once the process and this thread hold what they keep for good (the
// notification watcher, the thread's message queue and wake-up descriptors): a closed socket
// and a short wait make sure of that.
int DescriptorsAfterWarmUp() {
    const SOCKET listener = InetListen(Loopback(), 0);
    InetIsReadable(listener, 1, nullptr);
    InetDisconnect(listener);
    return OpenDescriptors();
}

class ConnectionsTest : public SockwireTest {
protected:
    void SetUp() override {
        SockwireTest::SetUp();
        recordedEvents.clear();
    }
};

TEST_F(ConnectionsTest, HostNamesThatAreEmptyOrUnknownAreRefused) {
    const int before = DescriptorsAfterWarmUp();
    EXPECT_EQ(InetConnectA("", 80, INET_PROTOCOL_TCP, 1), INVALID_SOCKET);
    EXPECT_EQ(LastError(), static_cast<std::uint32_t>(ERROR_INET_HOSTNAME));
    EXPECT_EQ(InetConnectA("no-such-host.invalid", 80, INET_PROTOCOL_TCP, 1), INVALID_SOCKET);
    EXPECT_EQ(LastError(), static_cast<std::uint32_t>(ERROR_INET_HOSTNAME));
    EXPECT_EQ(InetConnectW(u"", 80, INET_PROTOCOL_TCP, 1), INVALID_SOCKET);
    EXPECT_EQ(LastError(), static_cast<std::uint32_t>(ERROR_INET_HOSTNAME));
    EXPECT_EQ(OpenDescriptors(), before);
}

TEST_F(ConnectionsTest, ARefusedConnectLeavesNoHandleBehind) {
    const int before = DescriptorsAfterWarmUp();
    const std::uint16_t port = moxeltest::UnusedLoopbackPort();
    for (int attempt = 0; attempt < 3; ++attempt) {
        EXPECT_EQ(InetConnectA("127.0.0.1", port, INET_PROTOCOL_TCP, 5), INVALID_SOCKET);
        EXPECT_EQ(LastError(), static_cast<std::uint32_t>(ERROR_INET_CONNECT));
    }
    EXPECT_EQ(OpenDescriptors(), before);
}

TEST_F(ConnectionsTest, AConnectThatGetsNoAnswerTimesOut) {
    // A listener whose backlog is full drops further connection requests unanswered.
    std::uint16_t port = 0;
    moxeltest::Descriptor listener = moxeltest::ListenOnLoopback(port, 0);
    moxeltest::Descriptor filler = moxeltest::ConnectToLoopback(port);
    std::this_thread::sleep_for(50ms);
    const int before = DescriptorsAfterWarmUp();
    const auto started = std::chrono::steady_clock::now();
    EXPECT_EQ(InetConnectA("127.0.0.1", port, INET_PROTOCOL_TCP, 1), INVALID_SOCKET);
    EXPECT_EQ(LastError(), static_cast<std::uint32_t>(ERROR_INET_TIMEOUT));
    EXPECT_GE(std::chrono::steady_clock::now() - started, 900ms);
    EXPECT_EQ(OpenDescriptors(), before);
}

TEST_F(ConnectionsTest, ListeningOnAnAddressOfAnotherMachineFailsToBind) {
    const int before = DescriptorsAfterWarmUp();
    const std::uint32_t foreign = htonl(0xC0000201);  // 192.0.2.1, a documentation address
    EXPECT_EQ(InetListen(foreign, 0), INVALID_SOCKET);
    EXPECT_EQ(LastError(), static_cast<std::uint32_t>(ERROR_INET_BIND));
    EXPECT_EQ(OpenDescriptors(), before);

    std::uint32_t port = 0;
    const SOCKET first = Listen(port);
    ASSERT_NE(first, INVALID_SOCKET);
    EXPECT_EQ(InetListen(Loopback(), port), INVALID_SOCKET) << "the port is taken";
    EXPECT_EQ(LastError(), static_cast<std::uint32_t>(ERROR_INET_BIND));
}

TEST_F(ConnectionsTest, PortsAndProtocolsOutOfRangeAreRefused) {
    EXPECT_EQ(InetConnectA("127.0.0.1", 65536 + 80, INET_PROTOCOL_TCP, 1), INVALID_SOCKET);
    EXPECT_EQ(LastError(), static_cast<std::uint32_t>(ERROR_INET_PARAMETER));
    EXPECT_EQ(InetListen(Loopback(), 70000), INVALID_SOCKET);
    EXPECT_EQ(LastError(), static_cast<std::uint32_t>(ERROR_INET_PARAMETER));
    EXPECT_EQ(InetConnectA("127.0.0.1", 80, 99, 1), INVALID_SOCKET);
    EXPECT_EQ(LastError(), static_cast<std::uint32_t>(ERROR_INET_PROTOCOL));
}

TEST_F(ConnectionsTest, AsynchronousConnectsNeedALiveWindowAndAPrivateMessage) {
    const platform::WindowHandle window = platform::CreateMessageWindow(nullptr);
    EXPECT_EQ(InetAsyncConnectA("127.0.0.1", 80, INET_PROTOCOL_TCP, 1, window, 1023),
              INVALID_SOCKET);
    EXPECT_EQ(LastError(), static_cast<std::uint32_t>(ERROR_INET_PARAMETER));
    platform::DestroyWindow(window);
    EXPECT_EQ(InetAsyncConnectA("127.0.0.1", 80, INET_PROTOCOL_TCP, 1, window, 2025),
              INVALID_SOCKET);
    EXPECT_EQ(LastError(), static_cast<std::uint32_t>(ERROR_INET_PARAMETER));
    EXPECT_EQ(InetAsyncListen(Loopback(), 0, window, 2025), INVALID_SOCKET);
    EXPECT_EQ(LastError(), static_cast<std::uint32_t>(ERROR_INET_PARAMETER));
}

TEST_F(ConnectionsTest, AnAcceptThatTimesOutDeliversTheTimeoutEvent) {
    std::uint32_t port = 0;
    const SOCKET listener = Listen(port);
    ASSERT_EQ(InetRegisterEvent(listener, INET_EVENT_TIMEOUT | INET_EVENT_READ, &RecordEvent, 77),
              0);
    const auto started = std::chrono::steady_clock::now();
    EXPECT_EQ(InetAccept(listener, 1), INVALID_SOCKET);
    EXPECT_EQ(LastError(), static_cast<std::uint32_t>(ERROR_INET_TIMEOUT));
    EXPECT_GE(std::chrono::steady_clock::now() - started, 900ms);
    ASSERT_EQ(recordedEvents.size(), 1U);
    EXPECT_EQ(recordedEvents[0].socket, listener);
    EXPECT_EQ(recordedEvents[0].event, static_cast<std::uint32_t>(INET_EVENT_TIMEOUT));
    EXPECT_EQ(recordedEvents[0].error, 0U);
    EXPECT_EQ(recordedEvents[0].parameter, 77U);
    EXPECT_EQ(InetIsBlocking(listener), 0) << "the wait is over";
}

TEST_F(ConnectionsTest, AnAcceptedConnectionWaitsWithTheAcceptTimeoutAndStaysUsable) {
    std::uint32_t port = 0;
    const SOCKET listener = Listen(port);
    moxeltest::Descriptor peer = moxeltest::ConnectToLoopback(static_cast<std::uint16_t>(port));
    const SOCKET accepted = InetAccept(listener, 1);
    ASSERT_NE(accepted, INVALID_SOCKET);
    EXPECT_EQ(InetIsConnected(accepted), 1);
    EXPECT_EQ(InetIsListening(accepted), 0);
    EXPECT_EQ(InetIsListening(listener), 1);
    InetRegisterEvent(accepted, INET_EVENT_TIMEOUT, &RecordEvent, 0);

    char buffer[8];
    EXPECT_EQ(InetRead(accepted, buffer, sizeof(buffer)), INET_ERROR);
    EXPECT_EQ(LastError(), static_cast<std::uint32_t>(ERROR_INET_TIMEOUT));
    EXPECT_EQ(RecordedEventIds(), std::vector<std::uint32_t>{INET_EVENT_TIMEOUT});

    moxeltest::SendAll(peer, "late");
    EXPECT_EQ(ReadCount(accepted, 4), "late") << "a timed-out read leaves the socket usable";
}

TEST_F(ConnectionsTest, AcceptingOnAnAsynchronousListenerWithNothingPendingFailsAtOnce) {
    const platform::WindowHandle window = platform::CreateMessageWindow(nullptr);
    const SOCKET listener = InetAsyncListen(Loopback(), 0, window, 2025);
    ASSERT_NE(listener, INVALID_SOCKET) << LastError();
    const auto started = std::chrono::steady_clock::now();
    EXPECT_EQ(InetAccept(listener, 60), INVALID_SOCKET);
    EXPECT_EQ(LastError(), static_cast<std::uint32_t>(ERROR_INET_ACCEPT));
    EXPECT_LT(std::chrono::steady_clock::now() - started, 5s);
    EXPECT_EQ(InetDisconnect(listener), 0);
    platform::DestroyWindow(window);
}

TEST_F(ConnectionsTest, AcceptingOnAConnectedSocketFails) {
    SOCKET client = INVALID_SOCKET;
    SOCKET server = INVALID_SOCKET;
    Connect(client, server);
    // Not listening: the wait ends with data or not at all, so give it something to see.
    ASSERT_TRUE(WriteAll(server, "x"));
    EXPECT_EQ(InetAccept(client, 1), INVALID_SOCKET);
    EXPECT_EQ(LastError(), static_cast<std::uint32_t>(ERROR_INET_ACCEPT));
}

TEST_F(ConnectionsTest, AConnectFromAGivenLocalPortUsesThatPort) {
    std::uint32_t port = 0;
    const SOCKET listener = Listen(port);
    const std::uint16_t localPort = moxeltest::UnusedLoopbackPort();
    const SOCKET client =
        InetConnectExA("127.0.0.1", port, INET_PROTOCOL_TCP, 5, 0, Loopback(), localPort);
    ASSERT_NE(client, INVALID_SOCKET) << LastError();
    const SOCKET server = InetAccept(listener, 5);
    ASSERT_NE(server, INVALID_SOCKET);
    std::uint32_t address = 0;
    std::uint32_t peerPort = 0;
    ASSERT_EQ(InetGetPeerAddress(server, &address, &peerPort), 0);
    EXPECT_EQ(address, Loopback());
    EXPECT_EQ(peerPort, localPort);
    std::uint32_t clientPort = 0;
    ASSERT_EQ(InetGetLocalAddress(client, &address, &clientPort), 0);
    EXPECT_EQ(clientPort, localPort);
}

TEST_F(ConnectionsTest, DatagramSocketsTalkToTheirLastPeer) {
    moxeltest::Descriptor peer(::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0));
    sockaddr_in address = moxeltest::LoopbackAddress(0);
    socklen_t length = sizeof(address);
    ASSERT_EQ(::bind(peer.Get(), reinterpret_cast<sockaddr*>(&address), sizeof(address)), 0);
    ASSERT_EQ(::getsockname(peer.Get(), reinterpret_cast<sockaddr*>(&address), &length), 0);

    const SOCKET udp = InetConnectA("127.0.0.1", ntohs(address.sin_port), INET_PROTOCOL_UDP, 5);
    ASSERT_NE(udp, INVALID_SOCKET) << LastError();
    EXPECT_EQ(InetIsConnected(udp), 0) << "a datagram socket only remembers its peer";
    ASSERT_EQ(InetWrite(udp, "ping", 4), 4);

    char received[8] = {};
    sockaddr_in sender{};
    socklen_t senderLength = sizeof(sender);
    ASSERT_EQ(::recvfrom(peer.Get(), received, sizeof(received), 0,
                         reinterpret_cast<sockaddr*>(&sender), &senderLength),
              4);
    EXPECT_STREQ(received, "ping");
    ASSERT_EQ(
        ::sendto(peer.Get(), "pong", 4, 0, reinterpret_cast<sockaddr*>(&sender), senderLength), 4);
    char reply[8] = {};
    EXPECT_EQ(InetRead(udp, reply, sizeof(reply)), 4);
    EXPECT_STREQ(reply, "pong");
    std::uint32_t peerAddress = 0;
    std::uint32_t peerPort = 0;
    ASSERT_EQ(InetGetPeerAddress(udp, &peerAddress, &peerPort), 0);
    EXPECT_EQ(peerAddress, Loopback());
    EXPECT_EQ(peerPort, ntohs(address.sin_port));
}

}  // namespace
