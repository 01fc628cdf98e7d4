// Asynchronous mode: sessions driven by window notifications on one thread, against Dovecot
// and scripted servers.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <chrono>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "PopwireTest.h"
#include "peers/DovecotServer.h"
#include "platform/windows/MessageWindows.h"
#include "support/LoopbackSockets.h"

namespace {

using namespace std::chrono_literals;
using moxeltest::DovecotServer;
using namespace popwiretest;
using Step = ScriptedPopServer;

constexpr std::uint32_t kNotify = platform::WM_USER + 21;

struct Seen {
    HCLIENT client;
    std::uint32_t event;
    std::uint32_t error;
};

// What the thread's clients told, and the text read on POP_EVENT_READ. One test thread.
struct Observer {
    std::vector<Seen> events;
    std::string text;
    bool textEnded = false;
    std::uint32_t readError = 0;
    int blocked = 0;  // reads that found nothing yet

    int Count(std::uint32_t event) const {
        int count = 0;
        for (const auto& seen : events) {
            count += seen.event == event ? 1 : 0;
        }
        return count;
    }
    const Seen* Find(HCLIENT client, std::uint32_t event) const {
        for (const auto& seen : events) {
            if (seen.client == client && seen.event == event) {
                return &seen;
            }
        }
        return nullptr;
    }
};
thread_local Observer observer;

// Records every event; on POP_EVENT_READ reads what has arrived, as a caller driven by
// notifications does.
void Record(HCLIENT client, std::uint32_t event, std::uint32_t error, std::uintptr_t) {
    observer.events.push_back({client, event, error});
    if (event != POP_EVENT_READ || !PopGetMultiLine(client)) {
        return;
    }
    char piece[1000];
    for (;;) {
        const int read = PopRead(client, piece, sizeof(piece));
        if (read > 0) {
            observer.text.append(piece, static_cast<std::size_t>(read));
            continue;
        }
        observer.textEnded = read == 0;
        // Nothing more yet is no failure: the next POP_EVENT_READ brings it.
        observer.readError =
            read < 0 && PopGetLastError() != ERROR_POP_BLOCKED ? PopGetLastError() : 0;
        observer.blocked += read < 0 ? 1 : 0;
        return;
    }
}

// Dispatches the thread's messages until `done` holds or `limit` has passed.
bool PumpUntil(const std::function<bool()>& done, std::chrono::milliseconds limit = 20s) {
    const auto end = std::chrono::steady_clock::now() + limit;
    while (!done()) {
        if (std::chrono::steady_clock::now() >= end) {
            return false;
        }
        platform::WaitMessage(50ms);
        platform::Message message;
        while (platform::PeekMessage(message)) {
            platform::DispatchMessage(message);
        }
    }
    return true;
}

std::intptr_t Quiet(platform::WindowHandle, std::uint32_t, std::uintptr_t, std::intptr_t) {
    return 0;
}

class PopwireAsyncTest : public PopwireTest {
protected:
    void SetUp() override {
        observer = {};
        PopwireTest::SetUp();
        window = platform::CreateMessageWindow(&Quiet);
    }
    void TearDown() override {
        platform::DestroyWindow(window);
        PopwireTest::TearDown();
    }

    // Starts a connection to `window` with every event recorded; INVALID_CLIENT on failure.
    HCLIENT Start(std::uint16_t port, std::uint32_t options = 0, std::uint32_t timeout = 5) {
        const HCLIENT client =
            PopAsyncConnectExA("localhost", port, timeout, options, window, kNotify);
        if (client != INVALID_CLIENT) {
            PopRegisterEvent(client, 0x7F, &Record, 0);
        }
        return client;
    }
    // Waits for the client's POP_EVENT_CONNECT and returns its error (~0U when none came).
    static std::uint32_t AwaitConnect(HCLIENT client, std::chrono::milliseconds limit = 20s) {
        PumpUntil([&] { return observer.Find(client, POP_EVENT_CONNECT) != nullptr; }, limit);
        const Seen* seen = observer.Find(client, POP_EVENT_CONNECT);
        return seen ? seen->error : ~0U;
    }

    platform::WindowHandle window = nullptr;
};

std::string LargeMessage() {
    std::string text = "Subject: async\n\n";
    for (int line = 0; text.size() < 300 * 1024; ++line) {
        text += (line % 7 == 0 ? ".dotted line " : "line ") + std::to_string(line) + "\n";
    }
    return text;
}

std::string OnTheWire(const std::string& text) {
    std::string wire;
    for (const char c : text) {
        wire += c == '\n' ? std::string("\r\n") : std::string(1, c);
    }
    return wire;
}

TEST_F(PopwireAsyncTest, ASessionWithDovecotRunsOnNotificationsAlone) {
    ::unsetenv("SSL_CERT_FILE");
    DovecotServer server;
    const std::string message = LargeMessage();
    server.AddMessage("tester", message);
    server.Start();
    struct Case {
        const char* label;
        std::uint16_t port;
        std::uint32_t options;
        std::uint32_t protocol;
    };
    for (const Case& item :
         {Case{"plain", server.Pop3Port(), 0, SECURITY_PROTOCOL_NONE},
          Case{"STLS", server.Pop3Port(), POP_OPTION_SECURE, SECURITY_PROTOCOL_TLS1},
          Case{"TLS from the first byte", server.Pop3sPort(), POP_OPTION_SECURE_NOEXT,
               SECURITY_PROTOCOL_TLS1}}) {
        SCOPED_TRACE(item.label);
        observer = {};
        const HCLIENT client = Start(item.port, item.options);
        ASSERT_NE(client, INVALID_CLIENT) << LastError();
        EXPECT_EQ(PopGetHwndClient(window), client);
        EXPECT_EQ(PopGetClientHwnd(client), window);
        ASSERT_EQ(AwaitConnect(client), 0U) << server.Log();
        SECURITYINFO info{};
        info.dwSize = sizeof(info);
        ASSERT_EQ(PopGetSecurityInformationA(client, &info), 0);
        EXPECT_EQ(info.dwProtocol, Code(item.protocol));
        if (item.protocol != SECURITY_PROTOCOL_NONE) {
            EXPECT_EQ(info.dwCertStatus, Code(SECURITY_CERTIFICATE_UNTRUSTED));
        }
        ASSERT_EQ(PopLoginA(client, "tester", "secret"), 0) << LastError();
        EXPECT_EQ(observer.Count(POP_EVENT_READ), 0) << "status lines are the library's to read";
        std::uint32_t size = 0;
        ASSERT_EQ(PopGetMessage(client, 1, &size), 0) << LastError();
        EXPECT_TRUE(PumpUntil([] { return observer.textEnded || observer.readError != 0; }));
        EXPECT_EQ(observer.readError, 0U);
        EXPECT_EQ(observer.text.size(), OnTheWire(message).size());
        EXPECT_TRUE(observer.text == OnTheWire(message));
        // How many notifications carry it depends on how fast the text comes; at least one does.
        EXPECT_GE(observer.Count(POP_EVENT_READ), 1);
        EXPECT_EQ(PopDisconnect(client), 0);
        EXPECT_EQ(PopGetHwndClient(window), INVALID_CLIENT);
        EXPECT_EQ(LastError(), Code(ERROR_POP_HANDLE));
    }
}

TEST_F(PopwireAsyncTest, AFailedConnectionIsToldWithItsErrorAndClosesTheHandle) {
    std::uint16_t refusedPort = 0;
    { const moxeltest::Descriptor closed = moxeltest::ListenOnLoopback(refusedPort); }
    // A listener whose queue is full drops further connection requests unanswered.
    std::uint16_t fullPort = 0;
    const moxeltest::Descriptor full = moxeltest::ListenOnLoopback(fullPort, 0);
    std::vector<moxeltest::Descriptor> queued;
    for (int i = 0; i < 3; ++i) {
        queued.emplace_back(::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(fullPort);
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        ::connect(queued.back().Get(), reinterpret_cast<sockaddr*>(&address), sizeof(address));
    }
    ScriptedPopServer refusing(Join(Greeting("-ERR go away\r\n"), Step::Close()));
    ScriptedPopServer silent({Step::Pause(10s)});
    ScriptedPopServer closing({Step::Close()});
    struct Case {
        const char* label;
        std::uint16_t port;
        std::uint32_t error;
        bool timeoutEvent;
    };
    for (const Case& item : {Case{"nothing listens", refusedPort, ERROR_POP_CONNECT, false},
                             Case{"no answer to the connect", fullPort, ERROR_POP_TIMEOUT, true},
                             Case{"greeting refused", refusing.Port(), ERROR_POP_SERVER, false},
                             Case{"no greeting", silent.Port(), ERROR_POP_TIMEOUT, true},
                             Case{"closed at once", closing.Port(), ERROR_POP_CLOSED, false}}) {
        SCOPED_TRACE(item.label);
        observer = {};
        const auto started = std::chrono::steady_clock::now();
        const HCLIENT client = Start(item.port, 0, 1);
        ASSERT_NE(client, INVALID_CLIENT) << LastError();
        EXPECT_EQ(AwaitConnect(client, 10s), Code(item.error));
        EXPECT_LT(std::chrono::steady_clock::now() - started, 5s);
        EXPECT_EQ(observer.Count(POP_EVENT_TIMEOUT), item.timeoutEvent ? 1 : 0);
        EXPECT_EQ(PopGetSocket(client), INVALID_SOCKET) << "the handle is closed";
        EXPECT_EQ(LastError(), Code(ERROR_POP_HANDLE));
    }
}

TEST_F(PopwireAsyncTest, MessageTextThatStopsComingTimesOutAndBreaksTheSession) {
    ScriptedPopServer server(Join(Greeting(), Login(1, 100), Step::Answer("+OK 1 100\r\n"),
                                  Step::Answer("+OK 1 id\r\n"),
                                  Step::Answer("+OK\r\nfirst line\r\n"), Step::Pause(10s)));
    const HCLIENT client = Start(server.Port(), 0, 1);
    ASSERT_NE(client, INVALID_CLIENT) << LastError();
    ASSERT_EQ(AwaitConnect(client), 0U);
    ASSERT_EQ(PopLoginA(client, "user", "pass"), 0) << LastError();
    ASSERT_EQ(PopGetMessage(client, 1, nullptr), 0) << LastError();
    EXPECT_TRUE(PumpUntil([] { return observer.Count(POP_EVENT_TIMEOUT) > 0; }, 5s));
    EXPECT_EQ(observer.text, "first line\r\n");
    EXPECT_GT(observer.blocked, 0);
    EXPECT_EQ(observer.readError, 0U) << "waiting for more is no failure";
    char piece[16];
    EXPECT_EQ(PopRead(client, piece, sizeof(piece)), POP_ERROR);
    EXPECT_EQ(LastError(), Code(ERROR_POP_TIMEOUT));
    EXPECT_EQ(PopCommandA(client, "NOOP", nullptr), 0);
    EXPECT_EQ(LastError(), Code(ERROR_POP_TIMEOUT)) << "broken until closed";
    EXPECT_EQ(PopDisconnect(client), 0);
}

TEST_F(PopwireAsyncTest, AServerThatClosesWhileFrozenIsToldOnThawing) {
    ScriptedPopServer server(Join(Greeting(), Step::Answer("+OK\r\n"), Step::Close()));
    const HCLIENT client = Start(server.Port());
    ASSERT_NE(client, INVALID_CLIENT) << LastError();
    ASSERT_EQ(AwaitConnect(client), 0U);
    ASSERT_EQ(PopFreezeEvents(client, 1), 0);
    EXPECT_EQ(PopCommandA(client, "NOOP", nullptr), 1);
    ASSERT_TRUE(server.WaitForEnd(5s));
    PumpUntil([] { return false; }, 500ms);
    EXPECT_EQ(observer.Count(POP_EVENT_DISCONNECT), 0);
    EXPECT_EQ(observer.Count(POP_EVENT_COMMAND), 1) << "only the greeting's, before the freeze";
    ASSERT_EQ(PopFreezeEvents(client, 0), 0);
    EXPECT_TRUE(PumpUntil([] { return observer.Count(POP_EVENT_DISCONNECT) > 0; }, 5s));
    PumpUntil([] { return false; }, 200ms);
    EXPECT_EQ(observer.Count(POP_EVENT_DISCONNECT), 1) << "once, however often it came";
    EXPECT_EQ(PopDisconnect(client), 0);
}

TEST_F(PopwireAsyncTest, ClientsSharingAWindowKeepItUntilTheLastLeavesOrItIsDestroyed) {
    const Script session = Join(Greeting(), Step::Answer("+OK\r\n"));
    ScriptedPopServer first(Join(session, Step::Close()));
    ScriptedPopServer second(Join(session, Step::Close()));
    ScriptedPopServer third(Join(Greeting(), Step::Answer("+OK\r\n"), Step::Answer("+OK\r\n")));
    const HCLIENT one = Start(first.Port());
    const HCLIENT two = Start(second.Port());
    ASSERT_NE(one, INVALID_CLIENT);
    ASSERT_NE(two, INVALID_CLIENT);
    EXPECT_EQ(AwaitConnect(one), 0U);
    EXPECT_EQ(AwaitConnect(two), 0U);
    // The first client leaves; the second still hears of its server's close.
    EXPECT_EQ(PopDisconnect(one), 0);
    EXPECT_EQ(PopGetHwndClient(window), two);
    EXPECT_EQ(PopCommandA(two, "NOOP", nullptr), 1);
    EXPECT_TRUE(PumpUntil([&] { return observer.Find(two, POP_EVENT_DISCONNECT) != nullptr; }));
    EXPECT_EQ(PopDisconnect(two), 0);
    EXPECT_EQ(platform::GetWindowProcedure(window), &Quiet) << "the window's own procedure back";

    // A window destroyed under its client: the client carries on in blocking mode.
    observer = {};  // the new client may get the handle of one that is gone
    const platform::WindowHandle doomed = platform::CreateMessageWindow(&Quiet);
    const HCLIENT three = PopAsyncConnectA("127.0.0.1", third.Port(), 5, doomed, kNotify);
    ASSERT_NE(three, INVALID_CLIENT) << LastError();
    ASSERT_EQ(PopRegisterEvent(three, POP_EVENT_CONNECT, &Record, 0), 0);
    EXPECT_EQ(AwaitConnect(three), 0U);
    ASSERT_TRUE(platform::DestroyWindow(doomed));
    EXPECT_EQ(PopGetClientHwnd(three), nullptr);
    EXPECT_EQ(PopCommandA(three, "NOOP", nullptr), 1) << LastError();
    EXPECT_EQ(PopDisconnect(three), 0);
}

TEST_F(PopwireAsyncTest, BadWindowsAndMessagesAreRefused) {
    ScriptedPopServer server(Join(Greeting(), Step::Expect()));
    platform::WindowHandle foreign = nullptr;
    std::thread([&] { foreign = platform::CreateMessageWindow(&Quiet); }).join();
    const platform::WindowHandle gone = platform::CreateMessageWindow(&Quiet);
    platform::DestroyWindow(gone);
    struct Case {
        const char* label;
        platform::WindowHandle window;
        std::uint32_t message;
    };
    for (const Case& item : {Case{"message below 1024", window, platform::WM_USER - 1},
                             Case{"destroyed window", gone, kNotify},
                             Case{"window of another thread", foreign, kNotify}}) {
        SCOPED_TRACE(item.label);
        EXPECT_EQ(PopAsyncConnectA("127.0.0.1", server.Port(), 5, item.window, item.message),
                  INVALID_CLIENT);
        EXPECT_EQ(LastError(), Code(ERROR_POP_PARAMETER));
    }
    EXPECT_EQ(PopAsyncConnectA(nullptr, 110, 5, window, kNotify), INVALID_CLIENT);
    EXPECT_EQ(LastError(), Code(ERROR_POP_HOSTNAME));
    EXPECT_EQ(PopGetHwndClient(nullptr), INVALID_CLIENT);
    EXPECT_EQ(LastError(), Code(ERROR_POP_HANDLE));

    const HCLIENT client = Connect(server);
    ASSERT_NE(client, INVALID_CLIENT);
    EXPECT_EQ(PopGetClientHwnd(client), nullptr);
    EXPECT_EQ(LastError(), 0U);
    EXPECT_EQ(PopFreezeEvents(client, 1), 0) << "nothing to freeze in blocking mode";
    for (const Case& item : {Case{"message below 1024", window, platform::WM_USER - 1},
                             Case{"destroyed window", gone, kNotify},
                             Case{"window of another thread", foreign, kNotify}}) {
        SCOPED_TRACE(item.label);
        EXPECT_EQ(PopAsyncNotify(client, item.window, item.message), POP_ERROR);
        EXPECT_EQ(LastError(), Code(ERROR_POP_PARAMETER));
    }
    ASSERT_EQ(PopAsyncNotify(client, window, kNotify), 0);
    EXPECT_EQ(PopGetClientHwnd(client), window);
    ASSERT_EQ(PopAsyncNotify(client, nullptr, 0), 0);
    EXPECT_EQ(PopGetClientHwnd(client), nullptr);
    EXPECT_EQ(platform::GetWindowProcedure(window), &Quiet);
    PopSetTimeout(client, 1);
    PopDisconnect(client);
}

}  // namespace
