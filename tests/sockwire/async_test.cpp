// Asynchronous mode: window notifications, events, callbacks and freezing.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <future>
#include <string>
#include <thread>
#include <vector>

#include "SockwireTest.h"
#include "platform/windows/MessageWindows.h"
#include "support/LoopbackSockets.h"
#include "support/MessagePump.h"

namespace {

using namespace std::chrono_literals;
using moxeltest::PumpFor;
using moxeltest::PumpUntil;
using platform::WindowHandle;
using sockwiretest::Loopback;
using sockwiretest::RecordedEventIds;
using sockwiretest::recordedEvents;
using sockwiretest::RecordEvent;
using sockwiretest::SockwireTest;

constexpr std::uint32_t kNotify = 2025;
constexpr std::uint32_t kEventMessage = 3000;
constexpr std::uint32_t kFdRead = 1;
constexpr std::uint32_t kFdWrite = 2;
constexpr std::uint32_t kFdAccept = 8;
constexpr std::uint32_t kFdConnect = 16;
constexpr std::uint32_t kFdClose = 32;

std::uint32_t LastError() {
    return InetGetLastError();
}

// Messages as a window's own procedure received them.
struct WindowMessage {
    std::uint32_t message;
    std::uintptr_t wParam;
    std::intptr_t lParam;
};
thread_local std::vector<WindowMessage> windowMessages;
thread_local std::vector<std::uint32_t> procedureSeenAtFinalDestroy;

std::intptr_t RecordingProcedure(WindowHandle window, std::uint32_t message, std::uintptr_t wParam,
                                 std::intptr_t lParam) {
    windowMessages.push_back({message, wParam, lParam});
    if (message == platform::WM_NCDESTROY) {
        procedureSeenAtFinalDestroy.push_back(
            platform::GetWindowProcedure(window) == &RecordingProcedure ? 1 : 0);
    }
    return 0;
}

std::vector<std::uint32_t> NotificationsFor(SOCKET socket, std::uint32_t message = kNotify) {
    std::vector<std::uint32_t> events;
    for (const auto& item : windowMessages) {
        if (item.message == message && item.wParam == static_cast<std::uintptr_t>(socket)) {
            events.push_back(static_cast<std::uint32_t>(item.lParam & 0xFFFF));
        }
    }
    return events;
}

bool Contains(const std::vector<std::uint32_t>& items, std::uint32_t wanted) {
    return std::find(items.begin(), items.end(), wanted) != items.end();
}

class AsyncTest : public SockwireTest {
public:  // the case tables reach the window and the helpers
    void SetUp() override {
        SockwireTest::SetUp();
        recordedEvents.clear();
        windowMessages.clear();
        procedureSeenAtFinalDestroy.clear();
        window = platform::CreateMessageWindow(&RecordingProcedure);
    }
    void TearDown() override {
        platform::DestroyWindow(window);
        SockwireTest::TearDown();
    }

    // An asynchronous connection: the library's side accepted on an asynchronous listener,
    // the peer a plain socket.
    SOCKET AcceptAsync(moxeltest::Descriptor& peer, std::uint32_t timeout = 10) {
        return AcceptAsyncOn(window, peer, timeout);
    }
    static SOCKET AcceptAsyncOn(WindowHandle window, moxeltest::Descriptor& peer,
                                std::uint32_t timeout) {
        const SOCKET listener = InetAsyncListen(Loopback(), 0, window, kNotify);
        EXPECT_NE(listener, INVALID_SOCKET) << LastError();
        std::uint32_t address = 0;
        std::uint32_t port = 0;
        InetGetLocalAddress(listener, &address, &port);
        peer = moxeltest::ConnectToLoopback(static_cast<std::uint16_t>(port));
        EXPECT_TRUE(PumpUntil([&] { return Contains(NotificationsFor(listener), kFdAccept); }));
        const SOCKET accepted = InetAsyncAccept(listener, timeout, window, kNotify);
        EXPECT_NE(accepted, INVALID_SOCKET) << LastError();
        InetDisconnect(listener);
        return accepted;
    }

    WindowHandle window = nullptr;
};

TEST_F(AsyncTest, AnAcceptReachesTheCallbackTheEventWindowAndTheWindowItself) {
    const SOCKET listener = InetAsyncListen(Loopback(), 0, window, kNotify);
    ASSERT_NE(listener, INVALID_SOCKET);
    const WindowHandle eventWindow = platform::CreateMessageWindow(&RecordingProcedure);
    ASSERT_EQ(InetRegisterEvent(listener, INET_EVENT_ACCEPT, &RecordEvent, 5), 0);
    ASSERT_EQ(InetEnableEvents(listener, eventWindow, kEventMessage), 0);
    std::uint32_t address = 0;
    std::uint32_t port = 0;
    InetGetLocalAddress(listener, &address, &port);
    moxeltest::Descriptor peer = moxeltest::ConnectToLoopback(static_cast<std::uint16_t>(port));

    ASSERT_TRUE(PumpUntil([] { return !recordedEvents.empty(); }));
    EXPECT_EQ(recordedEvents[0].socket, listener);
    EXPECT_EQ(recordedEvents[0].event, static_cast<std::uint32_t>(INET_EVENT_ACCEPT));
    EXPECT_EQ(recordedEvents[0].parameter, 5U);
    // The raw notification also reaches the window's own procedure, and the event message
    // the event window.
    EXPECT_EQ(NotificationsFor(listener), std::vector<std::uint32_t>{kFdAccept});
    EXPECT_EQ(NotificationsFor(listener, kEventMessage),
              std::vector<std::uint32_t>{INET_EVENT_ACCEPT});

    const SOCKET accepted = InetAsyncAccept(listener, 10, window, kNotify);
    ASSERT_NE(accepted, INVALID_SOCKET) << LastError();
    std::uint32_t peerAddress = 0;
    std::uint32_t peerPort = 0;
    ASSERT_EQ(InetGetPeerAddress(accepted, &peerAddress, &peerPort), 0);
    EXPECT_EQ(peerAddress, Loopback());
    EXPECT_NE(peerPort, 0U);
    platform::DestroyWindow(eventWindow);
}

TEST_F(AsyncTest, ReadsCloseAndWritesArriveAsEventsOnce) {
    moxeltest::Descriptor peer;
    const SOCKET connection = AcceptAsync(peer);
    ASSERT_EQ(
        InetRegisterEvent(connection, INET_EVENT_READ | INET_EVENT_WRITE | INET_EVENT_DISCONNECT,
                          &RecordEvent, 0),
        0);
    char buffer[64];
    EXPECT_EQ(InetRead(connection, buffer, sizeof(buffer)), INET_ERROR);
    EXPECT_EQ(LastError(), static_cast<std::uint32_t>(ERROR_INET_BLOCKED))
        << "nothing waits: an asynchronous read does not wait";

    moxeltest::SendAll(peer, "one");
    moxeltest::SendAll(peer, "two");
    ASSERT_TRUE(PumpUntil([] { return Contains(RecordedEventIds(), INET_EVENT_READ); }));
    PumpFor(200ms);
    const auto ids = RecordedEventIds();
    EXPECT_EQ(std::count(ids.begin(), ids.end(), INET_EVENT_READ), 1)
        << "no second read event before the data is read";
    EXPECT_EQ(ReadCount(connection, 6), "onetwo");

    recordedEvents.clear();
    peer.Close();
    ASSERT_TRUE(PumpUntil([] { return Contains(RecordedEventIds(), INET_EVENT_DISCONNECT); }));
    EXPECT_EQ(InetRead(connection, buffer, sizeof(buffer)), 0);
    EXPECT_EQ(InetDisconnect(connection), 0);
}

TEST_F(AsyncTest, AnAsynchronousConnectReportsItsOutcomeAsAnEvent) {
    std::uint16_t port = 0;
    moxeltest::Descriptor listener = moxeltest::ListenOnLoopback(port);
    const SOCKET client =
        InetAsyncConnectA("127.0.0.1", port, INET_PROTOCOL_TCP, 10, window, kNotify);
    ASSERT_NE(client, INVALID_SOCKET) << LastError();
    InetRegisterEvent(client, INET_EVENT_CONNECT | INET_EVENT_WRITE, &RecordEvent, 0);
    ASSERT_TRUE(PumpUntil([] { return Contains(RecordedEventIds(), INET_EVENT_WRITE); }));
    EXPECT_EQ(recordedEvents.front().event, static_cast<std::uint32_t>(INET_EVENT_CONNECT));
    EXPECT_EQ(recordedEvents.front().error, 0U);
    EXPECT_EQ(InetIsConnected(client), 1);
    std::uint32_t address = 0;
    std::uint32_t localPort = 0;
    ASSERT_EQ(InetGetLocalAddress(client, &address, &localPort), 0);
    EXPECT_EQ(address, Loopback());
    EXPECT_NE(localPort, 0U);
}

TEST_F(AsyncTest, ARefusedAsynchronousConnectReportsTheErrorAndStaysUnconnected) {
    const SOCKET client = InetAsyncConnectA("127.0.0.1", moxeltest::UnusedLoopbackPort(),
                                            INET_PROTOCOL_TCP, 10, window, kNotify);
    ASSERT_NE(client, INVALID_SOCKET) << LastError();
    InetRegisterEvent(client, INET_EVENT_CONNECT, &RecordEvent, 0);
    ASSERT_TRUE(PumpUntil([] { return !recordedEvents.empty(); }));
    EXPECT_EQ(recordedEvents[0].event, static_cast<std::uint32_t>(INET_EVENT_CONNECT));
    EXPECT_EQ(recordedEvents[0].error, 10061U) << "connection refused";
    EXPECT_EQ(InetIsConnected(client), 0);
    EXPECT_EQ(InetDisconnect(client), 0);
}

TEST_F(AsyncTest, FrozenEventsComeOnceEachInTheFixedOrder) {
    moxeltest::Descriptor peer;
    const SOCKET connection = AcceptAsync(peer);
    PumpFor(100ms);  // the first write notification of the new connection
    InetRegisterEvent(connection, 0x7F, &RecordEvent, 0);
    recordedEvents.clear();
    windowMessages.clear();

    ASSERT_EQ(InetFreezeEvents(connection, 1), 0);
    for (const std::uint32_t event :
         {kFdRead, kFdWrite, kFdRead, kFdClose, kFdConnect, kFdRead, kFdAccept, kFdClose}) {
        platform::PostMessage(window, kNotify, static_cast<std::uintptr_t>(connection), event);
    }
    PumpFor(100ms);
    EXPECT_TRUE(recordedEvents.empty()) << "nothing while frozen";
    EXPECT_EQ(NotificationsFor(connection).size(), 8U) << "the window still sees each one";

    ASSERT_EQ(InetFreezeEvents(connection, 0), 0);
    PumpFor(200ms);
    EXPECT_EQ(RecordedEventIds(), (std::vector<std::uint32_t>{INET_EVENT_ACCEPT, INET_EVENT_CONNECT,
                                                              INET_EVENT_DISCONNECT,
                                                              INET_EVENT_READ, INET_EVENT_WRITE}));
}

// The caller learns how an asynchronous connect ended before it pumps a single message: the
// connect event still comes, once, with its true error, and a refused connect is no close.
struct EarlyLook {
    const char* label;
    void (*look)(SOCKET);
};

TEST_F(AsyncTest, TheConnectEventComesOnceWithItsErrorWhoeverLearnsTheOutcomeFirst) {
    std::uint16_t open = 0;
    const moxeltest::Descriptor listener = moxeltest::ListenOnLoopback(open, 128);
    const EarlyLook looks[] = {
        {"InetIsWritable", [](SOCKET socket) { InetIsWritable(socket, 100); }},
        {"InetRead",
         [](SOCKET socket) {
             char byte;
             InetRead(socket, &byte, 1);
         }},
        {"InetWrite", [](SOCKET socket) { InetWrite(socket, "", 0); }},
    };
    for (const std::uint16_t port : {open, moxeltest::UnusedLoopbackPort()}) {
        const std::uint32_t error = port == open ? 0 : 10061;
        for (const auto& item : looks) {
            SCOPED_TRACE(std::string(item.label) + (error ? ", refused" : ", accepted"));
            // The library's thread and Winsock's notifier race to learn the outcome first.
            for (int attempt = 0; attempt < 10; ++attempt) {
                recordedEvents.clear();
                const SOCKET client =
                    InetAsyncConnectA("127.0.0.1", port, INET_PROTOCOL_TCP, 10, window, kNotify);
                ASSERT_NE(client, INVALID_SOCKET) << LastError();
                InetRegisterEvent(client, INET_EVENT_CONNECT | INET_EVENT_DISCONNECT, &RecordEvent,
                                  0);
                item.look(client);
                PumpUntil([] { return !recordedEvents.empty(); }, 2s);
                PumpFor(20ms);
                ASSERT_EQ(RecordedEventIds(), std::vector<std::uint32_t>{INET_EVENT_CONNECT});
                EXPECT_EQ(recordedEvents[0].error, error);
                EXPECT_EQ(InetIsConnected(client), error ? 0 : 1);
                InetDisconnect(client);
            }
        }
    }
}

// An event that arrives while the socket is frozen, and the error it must keep.
struct FrozenErrorCase {
    const char* label;
    std::function<SOCKET(AsyncTest&, moxeltest::Descriptor& peer)> cause;
    std::uint32_t notification;
    std::uint32_t event;
    std::uint32_t error;
};

TEST_F(AsyncTest, EventsThatArriveWhileFrozenKeepTheirErrors) {
    const FrozenErrorCase cases[] = {
        {"a refused connect",
         [](AsyncTest& test, moxeltest::Descriptor&) {
             const SOCKET client = InetAsyncConnectA("127.0.0.1", moxeltest::UnusedLoopbackPort(),
                                                     INET_PROTOCOL_TCP, 10, test.window, kNotify);
             InetFreezeEvents(client, 1);
             return client;
         },
         kFdConnect, INET_EVENT_CONNECT, 10061},
        {"a reset",
         [](AsyncTest& test, moxeltest::Descriptor& peer) {
             const SOCKET connection = test.AcceptAsync(peer);
             PumpFor(100ms);  // the first write notification
             InetFreezeEvents(connection, 1);
             moxeltest::Reset(peer);
             return connection;
         },
         kFdClose, INET_EVENT_DISCONNECT, 10054},
    };
    for (const auto& item : cases) {
        SCOPED_TRACE(item.label);
        recordedEvents.clear();
        windowMessages.clear();
        moxeltest::Descriptor peer;
        const SOCKET socket = item.cause(*this, peer);
        ASSERT_NE(socket, INVALID_SOCKET) << LastError();
        InetRegisterEvent(socket, 0x7F, &RecordEvent, 0);
        ASSERT_TRUE(
            PumpUntil([&] { return Contains(NotificationsFor(socket), item.notification); }));
        EXPECT_TRUE(recordedEvents.empty()) << "frozen";
        ASSERT_EQ(InetFreezeEvents(socket, 0), 0);
        ASSERT_TRUE(PumpUntil([] { return !recordedEvents.empty(); }));
        EXPECT_EQ(recordedEvents[0].event, item.event);
        EXPECT_EQ(recordedEvents[0].error, item.error);
        EXPECT_EQ(InetIsConnected(socket), item.event == INET_EVENT_CONNECT ? 0 : 1);
        InetDisconnect(socket);
    }
}

TEST_F(AsyncTest, AnEventMessageEqualToTheNotificationOnItsWindowIsRefused) {
    SOCKET client = INVALID_SOCKET;
    SOCKET server = INVALID_SOCKET;
    Connect(client, server);
    EXPECT_EQ(InetEnableEvents(client, window, 0xA100), INET_ERROR)
        << "the internal notification message of a blocking socket";
    EXPECT_EQ(LastError(), static_cast<std::uint32_t>(ERROR_INET_PARAMETER));
    ASSERT_EQ(InetAsyncNotify(client, window, kNotify), 0);
    EXPECT_EQ(InetEnableEvents(client, window, kNotify), INET_ERROR);
    EXPECT_EQ(LastError(), static_cast<std::uint32_t>(ERROR_INET_PARAMETER));
    ASSERT_EQ(InetEnableEvents(client, window, kEventMessage), 0);
    EXPECT_EQ(InetAsyncNotify(client, window, kEventMessage), INET_ERROR) << "nor the other way";
    EXPECT_EQ(LastError(), static_cast<std::uint32_t>(ERROR_INET_PARAMETER));
}

std::atomic<int> lateEventMessages{0};
std::intptr_t CountingProcedure(WindowHandle, std::uint32_t message, std::uintptr_t,
                                std::intptr_t) {
    if (message == kEventMessage) {
        ++lateEventMessages;
    }
    return 0;
}

TEST_F(AsyncTest, AnEventWindowWhoseThreadServesNothingHoldsTheSocketOnlyForItsTimeOut) {
    moxeltest::Descriptor peer;
    const SOCKET connection = AcceptAsync(peer, 1);
    std::promise<WindowHandle> created;
    std::promise<void> release;
    std::thread other([&] {
        const WindowHandle idle = platform::CreateMessageWindow(&CountingProcedure);
        created.set_value(idle);
        release.get_future().wait_for(20s);  // serves nothing meanwhile
        PumpFor(200ms);
        platform::DestroyWindow(idle);
    });
    ASSERT_EQ(InetEnableEvents(connection, created.get_future().get(), kEventMessage), 0);
    InetRegisterEvent(connection, INET_EVENT_READ, &RecordEvent, 0);
    moxeltest::SendAll(peer, "x");
    EXPECT_TRUE(PumpUntil([] { return Contains(RecordedEventIds(), INET_EVENT_READ); }));
    release.set_value();
    other.join();
    EXPECT_EQ(lateEventMessages, 0) << "withdrawn after the time-out, never delivered late";
}

TEST_F(SockwireTest, FreezingASocketWithoutWindowDoesNothing) {
    SOCKET client = INVALID_SOCKET;
    SOCKET server = INVALID_SOCKET;
    Connect(client, server, 1);
    recordedEvents.clear();
    EXPECT_EQ(InetFreezeEvents(client, 1), 0);
    InetRegisterEvent(client, INET_EVENT_TIMEOUT, &RecordEvent, 0);
    char buffer[4];
    EXPECT_EQ(InetRead(client, buffer, sizeof(buffer)), INET_ERROR);
    EXPECT_EQ(LastError(), static_cast<std::uint32_t>(ERROR_INET_TIMEOUT));
    EXPECT_EQ(RecordedEventIds(), std::vector<std::uint32_t>{INET_EVENT_TIMEOUT})
        << "the freeze had no effect";
}

TEST_F(AsyncTest, NotificationRequestsAreCheckedBeforeAnythingChanges) {
    SOCKET client = INVALID_SOCKET;
    SOCKET server = INVALID_SOCKET;
    Connect(client, server);
    EXPECT_EQ(InetAsyncNotify(client, window, 1023), INET_ERROR);
    EXPECT_EQ(LastError(), static_cast<std::uint32_t>(ERROR_INET_PARAMETER));

    WindowHandle foreign = nullptr;
    std::promise<void> release;
    std::promise<WindowHandle> created;
    std::thread other([&] {
        created.set_value(platform::CreateMessageWindow(&RecordingProcedure));
        release.get_future().wait();
    });
    foreign = created.get_future().get();
    EXPECT_EQ(InetAsyncNotify(client, foreign, kNotify), INET_ERROR);
    EXPECT_EQ(LastError(), static_cast<std::uint32_t>(ERROR_INET_NOTOWNER));
    release.set_value();
    other.join();
    EXPECT_EQ(InetAsyncNotify(client, foreign, kNotify), INET_ERROR) << "that window is gone";
    EXPECT_EQ(LastError(), static_cast<std::uint32_t>(ERROR_INET_PARAMETER));

    ASSERT_EQ(InetAsyncNotify(client, window, kNotify), 0);
    EXPECT_NE(platform::GetWindowProcedure(window), &RecordingProcedure) << "hooked";
    EXPECT_EQ(InetAsyncNotify(client, window, 1000), INET_ERROR);
    EXPECT_NE(platform::GetWindowProcedure(window), &RecordingProcedure)
        << "a refused request leaves the socket on its window";
    ASSERT_EQ(InetAsyncNotify(client, nullptr, 0), 0);
    EXPECT_EQ(platform::GetWindowProcedure(window), &RecordingProcedure) << "unhooked";
    ASSERT_TRUE(WriteAll(server, "blocking again"));
    EXPECT_EQ(ReadCount(client, 14), "blocking again");
}

TEST_F(AsyncTest, ClosingAWindowLetsAllItsSocketsGoAndRestoresItsProcedure) {
    const WindowHandle shared = platform::CreateMessageWindow(&RecordingProcedure);
    moxeltest::Descriptor firstPeer;
    moxeltest::Descriptor secondPeer;
    const SOCKET first = AcceptAsyncOn(shared, firstPeer, 1);
    const SOCKET second = AcceptAsyncOn(shared, secondPeer, 1);
    EXPECT_NE(platform::GetWindowProcedure(shared), &RecordingProcedure);

    ASSERT_TRUE(platform::DestroyWindow(shared));
    EXPECT_EQ(procedureSeenAtFinalDestroy, std::vector<std::uint32_t>{1})
        << "the own procedure is back before it sees the final message";
    // Both sockets block again: a read waits for its time-out instead of failing at once.
    for (const SOCKET socket : {first, second}) {
        char buffer[4];
        EXPECT_EQ(InetRead(socket, buffer, sizeof(buffer)), INET_ERROR);
        EXPECT_EQ(LastError(), static_cast<std::uint32_t>(ERROR_INET_TIMEOUT));
    }
}

TEST_F(AsyncTest, EnablingEventsOnABlockingSocketMakesItAsynchronousUntilDisabled) {
    SOCKET client = INVALID_SOCKET;
    SOCKET server = INVALID_SOCKET;
    Connect(client, server);
    EXPECT_EQ(InetEnableEvents(server, window, 1023), INET_ERROR);
    EXPECT_EQ(LastError(), static_cast<std::uint32_t>(ERROR_INET_PARAMETER));
    ASSERT_EQ(InetRegisterEvent(server, INET_EVENT_READ, &RecordEvent, 0), 0);
    ASSERT_EQ(InetEnableEvents(server, window, kEventMessage), 0);
    ASSERT_TRUE(WriteAll(client, "ping"));
    ASSERT_TRUE(PumpUntil([&] { return !NotificationsFor(server, kEventMessage).empty(); }));
    EXPECT_TRUE(Contains(NotificationsFor(server, 0xA100), kFdRead))
        << "the internal notification message reaches the window too";
    // The first write notification comes once as well; after it nothing more is on its way.
    ASSERT_TRUE(PumpUntil([&] { return Contains(NotificationsFor(server, 0xA100), kFdWrite); }));
    EXPECT_EQ(RecordedEventIds(), std::vector<std::uint32_t>{INET_EVENT_READ});

    ASSERT_EQ(InetDisableEvents(server), 0);
    recordedEvents.clear();
    windowMessages.clear();
    EXPECT_EQ(ReadCount(server, 4), "ping");
    ASSERT_TRUE(WriteAll(client, "pong"));
    EXPECT_EQ(ReadCount(server, 4), "pong") << "a blocking read again";
    PumpFor(100ms);
    EXPECT_TRUE(recordedEvents.empty()) << "no callbacks after disabling";
    EXPECT_TRUE(windowMessages.empty());
}

// A read callback that tries what is not allowed during delivery, then lets a close
// notification be dispatched while it still runs.
SOCKET reentrantSocket = INVALID_SOCKET;
WindowHandle reentrantWindow = nullptr;
int notifyDuringCallback = 0;
std::uint32_t notifyErrorDuringCallback = 0;

void ReadCallback(SOCKET socket, std::uint32_t event, std::uint32_t error,
                  std::uintptr_t parameter) {
    RecordEvent(socket, event, error, parameter);
    if (event != INET_EVENT_READ || recordedEvents.size() > 1) {
        return;
    }
    notifyDuringCallback = InetAsyncNotify(socket, nullptr, 0);
    notifyErrorDuringCallback = InetGetLastError();
    InetFreezeEvents(socket, 1);  // refused silently during delivery
    platform::PostMessage(reentrantWindow, kNotify, static_cast<std::uintptr_t>(socket), kFdClose);
    platform::Message message;
    while (platform::PeekMessage(message, true)) {
        platform::DispatchMessage(message);
    }
}

TEST_F(AsyncTest, EventsAreNotReenteredAndThoseHeldBackComeAfterwards) {
    moxeltest::Descriptor peer;
    const SOCKET connection = AcceptAsync(peer);
    reentrantSocket = connection;
    reentrantWindow = window;
    InetRegisterEvent(connection, INET_EVENT_READ | INET_EVENT_DISCONNECT, &ReadCallback, 0);
    moxeltest::SendAll(peer, "x");
    ASSERT_TRUE(PumpUntil([] { return recordedEvents.size() >= 2; }));
    EXPECT_EQ(RecordedEventIds(),
              (std::vector<std::uint32_t>{INET_EVENT_READ, INET_EVENT_DISCONNECT}));
    EXPECT_EQ(notifyDuringCallback, INET_ERROR);
    EXPECT_EQ(notifyErrorDuringCallback, static_cast<std::uint32_t>(ERROR_INET_BLOCKED));
    char buffer[4];
    EXPECT_EQ(InetRead(connection, buffer, sizeof(buffer)), 1) << "still asynchronous, not frozen";
}

TEST_F(AsyncTest, AnotherThreadAcceptsOnAnAsynchronousListenerAndOwnsTheConnection) {
    const SOCKET listener = InetAsyncListen(Loopback(), 0, window, kNotify);
    ASSERT_NE(listener, INVALID_SOCKET);
    std::uint32_t address = 0;
    std::uint32_t port = 0;
    InetGetLocalAddress(listener, &address, &port);
    moxeltest::Descriptor peer = moxeltest::ConnectToLoopback(static_cast<std::uint16_t>(port));
    ASSERT_TRUE(PumpUntil([&] { return Contains(NotificationsFor(listener), kFdAccept); }));
    moxeltest::SendAll(peer, "for the worker");

    SOCKET accepted = INVALID_SOCKET;
    std::string received;
    std::thread worker([&] {
        accepted = InetAccept(listener, 10);
        received = ReadCount(accepted, 14);
        InetWrite(accepted, "ok", 2);
    });
    worker.join();
    ASSERT_NE(accepted, INVALID_SOCKET);
    EXPECT_EQ(received, "for the worker");
    EXPECT_EQ(moxeltest::ReceiveCount(peer, 2), "ok");
    EXPECT_EQ(InetIsConnected(accepted), 0) << "the connection is the worker's, not ours";
    EXPECT_EQ(LastError(), static_cast<std::uint32_t>(ERROR_INET_HANDLE));
}

// The server side as the local POP3 server runs it: a thread with a window that receives the
// raw notifications of the listener and of each connection, and echoes.
std::intptr_t EchoWindow(WindowHandle window, std::uint32_t message, std::uintptr_t wParam,
                         std::intptr_t lParam) {
    if (message != kNotify) {
        return 0;
    }
    const auto socket = static_cast<SOCKET>(wParam);
    switch (lParam & 0xFFFF) {
        case kFdAccept:
            InetAsyncAccept(socket, 10, window, kNotify);
            break;
        case kFdRead: {
            char buffer[4096];
            int received;
            while ((received = InetRead(socket, buffer, sizeof(buffer))) > 0) {
                InetWrite(socket, buffer, received);
            }
            break;
        }
        case kFdClose:
            InetDisconnect(socket);
            break;
        default:
            break;
    }
    return 0;
}

TEST_F(SockwireTest, EchoesOverLoopbackWithAServerOnWindowNotifications) {
    std::promise<std::uint32_t> portPromise;
    std::atomic<bool> stop{false};
    std::thread server([&] {
        const WindowHandle serverWindow = platform::CreateMessageWindow(&EchoWindow);
        const SOCKET listener = InetAsyncListen(Loopback(), 0, serverWindow, kNotify);
        std::uint32_t address = 0;
        std::uint32_t port = 0;
        InetGetLocalAddress(listener, &address, &port);
        portPromise.set_value(port);
        PumpUntil([&] { return stop.load(); }, 60s);
        platform::DestroyWindow(serverWindow);
    });
    const std::uint32_t port = portPromise.get_future().get();
    for (int round = 0; round < 3; ++round) {
        SCOPED_TRACE(round);
        const SOCKET client = InetConnectA("127.0.0.1", port, INET_PROTOCOL_TCP, 10);
        ASSERT_NE(client, INVALID_SOCKET) << LastError();
        for (const std::string text : {"hello", "a longer line of text\r\n", "x"}) {
            ASSERT_TRUE(WriteAll(client, text));
            EXPECT_EQ(ReadCount(client, text.size()), text);
        }
        ASSERT_EQ(InetDisconnect(client), 0);
    }
    stop = true;
    server.join();
}

}  // namespace
