// The Winsock layer through its exported functions: start-up, the blocking hook, select, and
// the re-enabling rules of window notifications.
#include <arpa/inet.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstring>
#include <thread>
#include <vector>

#include "platform/windows/MessageWindows.h"
#include "platform/winsock/WinsockApi.h"
#include "support/LoopbackSockets.h"
#include "support/MessagePump.h"

namespace {

using namespace std::chrono_literals;
using namespace winsock;
using moxeltest::PumpFor;
using moxeltest::PumpUntil;
using platform::WindowHandle;

constexpr std::uint32_t kNotify = 2025;

TEST(WinsockLayerStartupTest, NothingWorksBeforeStartupAndOnlyVersionOneOneIsOffered) {
    EXPECT_EQ(wsock_socket(WS_AF_INET, WS_SOCK_STREAM, 0), kInvalidSocket);
    EXPECT_EQ(wsock_WSAGetLastError(), WSANOTINITIALISED);
    EXPECT_EQ(wsock_WSACleanup(), kSocketError);

    WsaData data{};
    EXPECT_EQ(wsock_WSAStartup(0x0001, &data), WSAVERNOTSUPPORTED) << "1.0 is too old";
    EXPECT_EQ(wsock_WSAStartup(0x0101, nullptr), WSAEFAULT);
    ASSERT_EQ(wsock_WSAStartup(0x0202, &data), 0) << "2.2 is answered with 1.1";
    EXPECT_EQ(data.version, 0x0101);
    EXPECT_EQ(data.highVersion, 0x0101);
    EXPECT_GT(std::strlen(data.description), 0U);

    const Socket s = wsock_socket(WS_AF_INET, WS_SOCK_STREAM, 0);
    ASSERT_NE(s, kInvalidSocket);
    EXPECT_EQ(wsock_WSACleanup(), 0);
    // The last clean-up closed the socket.
    ASSERT_EQ(wsock_WSAStartup(0x0101, &data), 0);
    EXPECT_EQ(wsock_closesocket(s), kSocketError);
    EXPECT_EQ(wsock_WSAGetLastError(), WSAENOTSOCK);
    EXPECT_EQ(wsock_WSACleanup(), 0);
}

class WinsockLayerTest : public ::testing::Test {
protected:
    void SetUp() override {
        WsaData data{};
        ASSERT_EQ(wsock_WSAStartup(0x0101, &data), 0);
    }
    void TearDown() override { wsock_WSACleanup(); }

    // The layer's address record has the system's layout.
    static SockAddrIn Loopback(std::uint16_t port) {
        const sockaddr_in posix = moxeltest::LoopbackAddress(port);
        SockAddrIn address;
        std::memcpy(&address, &posix, sizeof(address));
        return address;
    }
    static const SockAddr* AsAddress(const SockAddrIn& address) {
        return reinterpret_cast<const SockAddr*>(&address);
    }

    // A connected socket of the layer; `peer` is the plain socket at the other end.
    static Socket ConnectedSocket(moxeltest::Descriptor& peer) {
        std::uint16_t port = 0;
        moxeltest::Descriptor listener = moxeltest::ListenOnLoopback(port);
        const Socket s = wsock_socket(WS_AF_INET, WS_SOCK_STREAM, 0);
        const SockAddrIn address = Loopback(port);
        EXPECT_EQ(wsock_connect(s, AsAddress(address), sizeof(address)), 0);
        peer = moxeltest::AcceptOne(listener);
        return s;
    }
};

// Notifications as the window received them.
struct Notification {
    Socket socket;
    std::uint32_t event;
    int error;
};
thread_local std::vector<Notification> notifications;

std::intptr_t NotificationWindow(WindowHandle, std::uint32_t message, std::uintptr_t wParam,
                                 std::intptr_t lParam) {
    if (message == kNotify) {
        notifications.push_back({static_cast<Socket>(wParam),
                                 static_cast<std::uint32_t>(lParam & 0xFFFF),
                                 static_cast<int>((lParam >> 16) & 0xFFFF)});
    }
    return 0;
}

long CountOf(std::uint32_t event) {
    return std::count_if(notifications.begin(), notifications.end(),
                         [&](const Notification& item) { return item.event == event; });
}

class WinsockNotificationTest : public WinsockLayerTest {
protected:
    void SetUp() override {
        WinsockLayerTest::SetUp();
        notifications.clear();
        window = platform::CreateMessageWindow(&NotificationWindow);
    }
    void TearDown() override {
        platform::DestroyWindow(window);
        WinsockLayerTest::TearDown();
    }
    WindowHandle window = nullptr;
};

TEST_F(WinsockNotificationTest, ReadIsPostedOnceUntilAReceiveEnablesItAgain) {
    moxeltest::Descriptor peer;
    const Socket s = ConnectedSocket(peer);
    ASSERT_EQ(wsock_WSAAsyncSelect(s, window, kNotify, WS_FD_READ | WS_FD_CLOSE), 0);
    moxeltest::SendAll(peer, "abcdef");
    ASSERT_TRUE(PumpUntil([] { return CountOf(WS_FD_READ) == 1; }));
    moxeltest::SendAll(peer, "ghi");
    PumpFor(150ms);
    EXPECT_EQ(CountOf(WS_FD_READ), 1) << "no second one before a receive";

    char buffer[4];
    ASSERT_EQ(wsock_recv(s, buffer, 4, 0), 4);
    ASSERT_TRUE(PumpUntil([] { return CountOf(WS_FD_READ) == 2; }))
        << "data remains after the receive, so it is announced again";
    char rest[16];
    ASSERT_EQ(wsock_recv(s, rest, sizeof(rest), 0), 5);
    PumpFor(150ms);
    EXPECT_EQ(CountOf(WS_FD_READ), 2);
    EXPECT_EQ(wsock_recv(s, rest, sizeof(rest), 0), kSocketError);
    EXPECT_EQ(wsock_WSAGetLastError(), WSAEWOULDBLOCK) << "notification made it non-blocking";
    EXPECT_EQ(CountOf(WS_FD_CLOSE), 0);
    wsock_closesocket(s);
}

TEST_F(WinsockNotificationTest, AnOrderlyCloseAndAResetArePostedOnceWithTheirErrors) {
    moxeltest::Descriptor orderly;
    moxeltest::Descriptor reset;
    const Socket first = ConnectedSocket(orderly);
    const Socket second = ConnectedSocket(reset);
    for (const Socket s : {first, second}) {
        ASSERT_EQ(wsock_WSAAsyncSelect(s, window, kNotify, WS_FD_READ | WS_FD_CLOSE), 0);
    }
    orderly.Close();
    moxeltest::Reset(reset);
    ASSERT_TRUE(PumpUntil([] { return CountOf(WS_FD_CLOSE) == 2; }));
    PumpFor(150ms);
    ASSERT_EQ(CountOf(WS_FD_CLOSE), 2);
    for (const auto& item : notifications) {
        if (item.event == WS_FD_CLOSE) {
            EXPECT_EQ(item.error, item.socket == first ? 0 : WSAECONNRESET);
        }
    }
    EXPECT_EQ(CountOf(WS_FD_READ), 0) << "a close is not data";
}

TEST_F(WinsockNotificationTest, ConnectIsPostedOnceAndWriteFollowsIt) {
    std::uint16_t port = 0;
    moxeltest::Descriptor listener = moxeltest::ListenOnLoopback(port);
    const Socket s = wsock_socket(WS_AF_INET, WS_SOCK_STREAM, 0);
    ASSERT_EQ(wsock_WSAAsyncSelect(s, window, kNotify, WS_FD_CONNECT | WS_FD_WRITE), 0);
    const SockAddrIn address = Loopback(port);
    EXPECT_EQ(wsock_connect(s, AsAddress(address), sizeof(address)), kSocketError);
    EXPECT_EQ(wsock_WSAGetLastError(), WSAEWOULDBLOCK);
    ASSERT_TRUE(PumpUntil([] { return CountOf(WS_FD_WRITE) == 1; }));
    PumpFor(100ms);
    ASSERT_EQ(notifications.size(), 2U);
    EXPECT_EQ(notifications[0].event, WS_FD_CONNECT);
    EXPECT_EQ(notifications[0].error, 0);
    EXPECT_EQ(notifications[1].event, WS_FD_WRITE);
    wsock_closesocket(s);
}

TEST_F(WinsockNotificationTest, ARefusedConnectIsPostedWithItsError) {
    const Socket s = wsock_socket(WS_AF_INET, WS_SOCK_STREAM, 0);
    ASSERT_EQ(wsock_WSAAsyncSelect(s, window, kNotify, WS_FD_CONNECT | WS_FD_WRITE), 0);
    const SockAddrIn address = Loopback(moxeltest::UnusedLoopbackPort());
    EXPECT_EQ(wsock_connect(s, AsAddress(address), sizeof(address)), kSocketError);
    ASSERT_TRUE(PumpUntil([] { return !notifications.empty(); }));
    PumpFor(100ms);
    ASSERT_EQ(notifications.size(), 1U) << "no write notification for a refused connect";
    EXPECT_EQ(notifications[0].event, WS_FD_CONNECT);
    EXPECT_EQ(notifications[0].error, WSAECONNREFUSED);
    wsock_closesocket(s);
}

TEST_F(WinsockNotificationTest, AcceptIsEnabledAgainByAccepting) {
    const Socket listener = wsock_socket(WS_AF_INET, WS_SOCK_STREAM, 0);
    SockAddrIn address = Loopback(0);
    ASSERT_EQ(wsock_bind(listener, AsAddress(address), sizeof(address)), 0);
    int length = sizeof(address);
    ASSERT_EQ(wsock_getsockname(listener, reinterpret_cast<SockAddr*>(&address), &length), 0);
    ASSERT_EQ(wsock_listen(listener, 5), 0);
    ASSERT_EQ(wsock_WSAAsyncSelect(listener, window, kNotify, WS_FD_ACCEPT), 0);
    moxeltest::Descriptor one = moxeltest::ConnectToLoopback(ntohs(address.port));
    moxeltest::Descriptor two = moxeltest::ConnectToLoopback(ntohs(address.port));
    ASSERT_TRUE(PumpUntil([] { return CountOf(WS_FD_ACCEPT) == 1; }));
    PumpFor(100ms);
    EXPECT_EQ(CountOf(WS_FD_ACCEPT), 1);

    SockAddrIn peer{};
    int peerLength = sizeof(peer);
    const Socket first = wsock_accept(listener, reinterpret_cast<SockAddr*>(&peer), &peerLength);
    ASSERT_NE(first, kInvalidSocket);
    EXPECT_EQ(peer.address.address, htonl(INADDR_LOOPBACK));
    ASSERT_TRUE(PumpUntil([] { return CountOf(WS_FD_ACCEPT) == 2; }))
        << "the second connection is announced after the first accept";
    EXPECT_NE(wsock_accept(listener, nullptr, nullptr), kInvalidSocket);
    EXPECT_EQ(wsock_accept(listener, nullptr, nullptr), kInvalidSocket);
    EXPECT_EQ(wsock_WSAGetLastError(), WSAEWOULDBLOCK);
}

TEST_F(WinsockNotificationTest, ASocketWithNotificationsCannotBeMadeBlocking) {
    moxeltest::Descriptor peer;
    const Socket s = ConnectedSocket(peer);
    ASSERT_EQ(wsock_WSAAsyncSelect(s, window, kNotify, WS_FD_READ), 0);
    std::uint32_t blocking = 0;
    EXPECT_EQ(wsock_ioctlsocket(s, WS_FIONBIO, &blocking), kSocketError);
    EXPECT_EQ(wsock_WSAGetLastError(), WSAEINVAL);
    ASSERT_EQ(wsock_WSAAsyncSelect(s, nullptr, 0, 0), 0);
    EXPECT_EQ(wsock_ioctlsocket(s, WS_FIONBIO, &blocking), 0);
    EXPECT_EQ(wsock_WSAAsyncSelect(s, nullptr, kNotify, WS_FD_READ), kSocketError)
        << "notifications need a window";
}

// While a blocking receive waits, the hook runs messages; what they try is refused, and the
// hook may cancel the call.
Socket waitingSocket = kInvalidSocket;
int isBlockingInHandler = 0;
int nestedResult = 0;
int nestedError = 0;
bool cancelInHandler = false;

std::intptr_t DuringBlockingCall(WindowHandle, std::uint32_t message, std::uintptr_t,
                                 std::intptr_t) {
    if (message == platform::WM_USER) {
        isBlockingInHandler = wsock_WSAIsBlocking();
        char byte;
        nestedResult = wsock_recv(waitingSocket, &byte, 1, 0);
        nestedError = wsock_WSAGetLastError();
        if (cancelInHandler) {
            wsock_WSACancelBlockingCall();
        }
    }
    return 0;
}

TEST_F(WinsockLayerTest, ABlockingCallRunsTheHookAndRefusesNestedCalls) {
    moxeltest::Descriptor peer;
    waitingSocket = ConnectedSocket(peer);
    const WindowHandle window = platform::CreateMessageWindow(&DuringBlockingCall);
    cancelInHandler = false;
    std::thread other([&] {
        std::this_thread::sleep_for(50ms);
        platform::PostMessage(window, platform::WM_USER, 0, 0);
        std::this_thread::sleep_for(100ms);
        moxeltest::SendAll(peer, "z");
    });
    char byte = 0;
    EXPECT_EQ(wsock_recv(waitingSocket, &byte, 1, 0), 1);
    other.join();
    EXPECT_EQ(byte, 'z');
    EXPECT_EQ(isBlockingInHandler, 1);
    EXPECT_EQ(nestedResult, kSocketError);
    EXPECT_EQ(nestedError, WSAEINPROGRESS);
    EXPECT_EQ(wsock_WSAIsBlocking(), 0);
    platform::DestroyWindow(window);
}

TEST_F(WinsockLayerTest, TheHookMayCancelTheBlockingCall) {
    moxeltest::Descriptor peer;
    waitingSocket = ConnectedSocket(peer);
    const WindowHandle window = platform::CreateMessageWindow(&DuringBlockingCall);
    cancelInHandler = true;
    platform::PostMessage(window, platform::WM_USER, 0, 0);
    char byte = 0;
    EXPECT_EQ(wsock_recv(waitingSocket, &byte, 1, 0), kSocketError);
    EXPECT_EQ(wsock_WSAGetLastError(), WSAEINTR);
    EXPECT_EQ(wsock_WSACancelBlockingCall(), kSocketError) << "nothing to cancel now";
    EXPECT_EQ(wsock_WSAGetLastError(), WSAEINVAL);
    platform::DestroyWindow(window);
}

std::atomic<int> hookCalls{0};
int CountingHook() {
    ++hookCalls;
    platform::Message message;
    if (!platform::PeekMessage(message, true)) {
        return 0;
    }
    platform::DispatchMessage(message);
    return 1;
}

TEST_F(WinsockLayerTest, AnInstalledHookReplacesTheDefaultOneForTheThread) {
    const BlockingHook original = wsock_WSASetBlockingHook(&CountingHook);
    ASSERT_NE(original, nullptr);
    moxeltest::Descriptor peer;
    waitingSocket = ConnectedSocket(peer);
    const WindowHandle window = platform::CreateMessageWindow(&DuringBlockingCall);
    cancelInHandler = false;
    platform::PostMessage(window, platform::WM_USER, 0, 0);
    std::thread sender([&] {
        std::this_thread::sleep_for(100ms);
        moxeltest::SendAll(peer, "y");
    });
    char byte = 0;
    EXPECT_EQ(wsock_recv(waitingSocket, &byte, 1, 0), 1);
    sender.join();
    EXPECT_GE(hookCalls.load(), 1);
    EXPECT_EQ(wsock_WSASetBlockingHook(original), &CountingHook);
    EXPECT_EQ(wsock_WSAUnhookBlockingHook(), 0);
    platform::DestroyWindow(window);
}

TEST_F(WinsockLayerTest, ClosingASocketWakesTheThreadBlockedOnIt) {
    moxeltest::Descriptor peer;
    const Socket s = ConnectedSocket(peer);
    std::thread closer([&] {
        std::this_thread::sleep_for(100ms);
        wsock_closesocket(s);
    });
    char byte;
    EXPECT_EQ(wsock_recv(s, &byte, 1, 0), kSocketError);
    EXPECT_EQ(wsock_WSAGetLastError(), WSAEINTR);
    closer.join();
    EXPECT_EQ(wsock_recv(s, &byte, 1, 0), kSocketError);
    EXPECT_EQ(wsock_WSAGetLastError(), WSAENOTSOCK);
}

TEST_F(WinsockLayerTest, SelectReportsAFailedConnectAsExceptionalAndTimesOut) {
    const Socket s = wsock_socket(WS_AF_INET, WS_SOCK_STREAM, 0);
    std::uint32_t nonBlocking = 1;
    ASSERT_EQ(wsock_ioctlsocket(s, WS_FIONBIO, &nonBlocking), 0);
    const SockAddrIn address = Loopback(moxeltest::UnusedLoopbackPort());
    ASSERT_EQ(wsock_connect(s, AsAddress(address), sizeof(address)), kSocketError);
    ASSERT_EQ(wsock_WSAGetLastError(), WSAEWOULDBLOCK);
    FdSet writable{1, {s}};
    FdSet exceptional{1, {s}};
    const TimeVal limit{5, 0};
    ASSERT_EQ(wsock_select(0, nullptr, &writable, &exceptional, &limit), 1);
    EXPECT_EQ(writable.count, 0U);
    ASSERT_EQ(exceptional.count, 1U);
    int error = 0;
    int length = sizeof(error);
    ASSERT_EQ(
        wsock_getsockopt(s, WS_SOL_SOCKET, WS_SO_ERROR, reinterpret_cast<char*>(&error), &length),
        0);
    EXPECT_EQ(error, WSAECONNREFUSED);

    moxeltest::Descriptor peer;
    const Socket quiet = ConnectedSocket(peer);
    FdSet readable{1, {quiet}};
    const TimeVal shortLimit{0, 100000};
    EXPECT_EQ(wsock_select(0, &readable, nullptr, nullptr, &shortLimit), 0);
    EXPECT_EQ(readable.count, 0U);
    EXPECT_EQ(wsock_select(0, nullptr, nullptr, nullptr, &shortLimit), kSocketError);
    EXPECT_EQ(wsock_WSAGetLastError(), WSAEINVAL) << "select needs a socket";
    FdSet unknown{1, {987654}};
    EXPECT_EQ(wsock_select(0, &unknown, nullptr, nullptr, &shortLimit), kSocketError);
    EXPECT_EQ(wsock_WSAGetLastError(), WSAENOTSOCK);
}

TEST_F(WinsockLayerTest, SocketValuesAreNeverGivenOutTwice) {
    const Socket first = wsock_socket(WS_AF_INET, WS_SOCK_STREAM, 0);
    ASSERT_EQ(wsock_closesocket(first), 0);
    const Socket second = wsock_socket(WS_AF_INET, WS_SOCK_STREAM, 0);
    EXPECT_NE(second, first);
    EXPECT_EQ(wsock_listen(first, 1), kSocketError);
    EXPECT_EQ(wsock_WSAGetLastError(), WSAENOTSOCK);
    EXPECT_EQ(wsock_socket(3, WS_SOCK_STREAM, 0), kInvalidSocket);
    EXPECT_EQ(wsock_WSAGetLastError(), WSAEAFNOSUPPORT);
    EXPECT_EQ(wsock_socket(WS_AF_INET, WS_SOCK_STREAM, WS_IPPROTO_UDP), kInvalidSocket);
    EXPECT_EQ(wsock_WSAGetLastError(), WSAEPROTONOSUPPORT);
}

TEST_F(WinsockLayerTest, NamesAndAddressTextsResolveAsInWinsock) {
    EXPECT_EQ(wsock_inet_addr("10.1.2.3"), htonl(0x0A010203));
    EXPECT_EQ(wsock_inet_addr(""), WS_INADDR_NONE);
    EXPECT_EQ(wsock_inet_addr("not an address"), WS_INADDR_NONE);
    EXPECT_STREQ(wsock_inet_ntoa(InAddr{htonl(0x7F000001)}), "127.0.0.1");

    const HostEnt* host = wsock_gethostbyname("localhost");
    ASSERT_NE(host, nullptr);
    EXPECT_EQ(host->addressType, WS_AF_INET);
    EXPECT_EQ(host->length, 4);
    std::uint32_t first;
    std::memcpy(&first, host->addressList[0], sizeof(first));
    EXPECT_EQ(first, htonl(INADDR_LOOPBACK));
    EXPECT_EQ(wsock_gethostbyname("no-such-host.invalid"), nullptr);
    EXPECT_EQ(wsock_WSAGetLastError(), WSAHOST_NOT_FOUND);

    const std::uint32_t loopback = htonl(INADDR_LOOPBACK);
    const HostEnt* named =
        wsock_gethostbyaddr(reinterpret_cast<const char*>(&loopback), 4, WS_AF_INET);
    ASSERT_NE(named, nullptr);
    EXPECT_STREQ(named->name, "localhost");

    const ProtoEnt* tcp = wsock_getprotobyname("tcp");
    ASSERT_NE(tcp, nullptr);
    EXPECT_EQ(tcp->protocol, WS_IPPROTO_TCP);
    char name[2];
    EXPECT_EQ(wsock_gethostname(name, sizeof(name)), kSocketError) << "no room";
    EXPECT_EQ(wsock_WSAGetLastError(), WSAEFAULT);
}

TEST_F(WinsockLayerTest, OptionsUseWinsockNumbers) {
    moxeltest::Descriptor peer;
    const Socket s = ConnectedSocket(peer);
    const int on = 1;
    ASSERT_EQ(wsock_setsockopt(s, WS_IPPROTO_TCP, WS_TCP_NODELAY,
                               reinterpret_cast<const char*>(&on), sizeof(on)),
              0);
    int value = 0;
    int length = sizeof(value);
    ASSERT_EQ(wsock_getsockopt(s, WS_IPPROTO_TCP, WS_TCP_NODELAY, reinterpret_cast<char*>(&value),
                               &length),
              0);
    EXPECT_NE(value, 0);
    ASSERT_EQ(wsock_getsockopt(s, WS_SOL_SOCKET, WS_SO_ACCEPTCONN, reinterpret_cast<char*>(&value),
                               &length),
              0);
    EXPECT_EQ(value, 0);
    ASSERT_EQ(
        wsock_getsockopt(s, WS_SOL_SOCKET, WS_SO_TYPE, reinterpret_cast<char*>(&value), &length),
        0);
    EXPECT_EQ(value, WS_SOCK_STREAM);
    EXPECT_EQ(wsock_getsockopt(s, WS_SOL_SOCKET, 0x4242, reinterpret_cast<char*>(&value), &length),
              kSocketError);
    EXPECT_EQ(wsock_WSAGetLastError(), WSAENOPROTOOPT);
    std::uint32_t waiting = 99;
    moxeltest::SendAll(peer, "four");
    std::this_thread::sleep_for(50ms);
    ASSERT_EQ(wsock_ioctlsocket(s, WS_FIONREAD, &waiting), 0);
    EXPECT_EQ(waiting, 4U);
}

}  // namespace
