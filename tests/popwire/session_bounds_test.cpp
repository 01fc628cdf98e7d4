// Sessions that a slow or hostile server cannot put out of step or keep waiting: a time-out
// inside a command breaks the session, each operation ends within its time-out, bytes with the
// top bit set are no protocol bytes.
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <poll.h>

#include <chrono>
#include <functional>
#include <string>
#include <thread>

#include "PopwireTest.h"
#include "platform/winsock/WinsockApi.h"
#include "support/LoopbackSockets.h"

namespace {

using namespace std::chrono_literals;
using namespace popwiretest;
using Step = ScriptedPopServer;

// A reply that comes after a 1-second time-out has run out.
Script LateReply(const std::string& reply) {
    return {Step::Expect(), Step::Pause(1500ms), Step::Send(reply)};
}

// An operation that times out, and the one the caller tries next: both fail with the time-out,
// and nothing more goes to the server (not even QUIT).
struct OutOfStepCase {
    const char* label;
    Script script;
    std::function<int(HCLIENT)> timesOut;
    int timedOutResult;
    std::function<int(HCLIENT)> next;
    int nextResult;
    std::string lastLineSent;
};

TEST_F(PopwireTest, ATimeOutInsideACommandBreaksTheSessionUntilItIsClosed) {
    const auto noop = [](HCLIENT client) { return PopCommandA(client, "NOOP", nullptr); };
    const auto login = [](HCLIENT client) { return PopLoginA(client, "user", "pass"); };
    const auto uidl = [](HCLIENT client) {
        char id[64];
        return PopGetMessageIdA(client, 1, id, sizeof(id));
    };
    const OutOfStepCase cases[] = {
        {"a late reply followed by one more command",
         Join(Greeting(), LateReply("+OK late\r\n"), Step::Answer("+OK next\r\n")), noop, 0, noop,
         0, "NOOP"},
        {"a STAT time-out at login is no empty mailbox",
         Join(Greeting(), Step::Answer("+OK\r\n"), Step::Answer("+OK\r\n"),
              LateReply("+OK 2 300\r\n"), Step::Answer("+OK 1 uid-1\r\n")),
         login, POP_ERROR, uidl, POP_ERROR, "STAT"},
        {"RETR's late status line is no message text",
         Join(Greeting(), Login(1, 10), Step::Answer("+OK 1 10\r\n"),
              Step::Answer("+OK 1 uid-1\r\n"), LateReply("+OK\r\ntext\r\n.\r\n")),
         [&](HCLIENT client) { return login(client) == 0 ? PopGetMessage(client, 1, nullptr) : 9; },
         POP_ERROR,
         [](HCLIENT client) {
             char text[64];
             return PopRead(client, text, sizeof(text));
         },
         POP_ERROR, "RETR 1"},
    };
    for (const auto& item : cases) {
        SCOPED_TRACE(item.label);
        ScriptedPopServer server(item.script);
        const HCLIENT client = Connect(server, 1);
        ASSERT_NE(client, INVALID_CLIENT) << LastError();
        EXPECT_EQ(item.timesOut(client), item.timedOutResult);
        EXPECT_EQ(LastError(), Code(ERROR_POP_TIMEOUT));
        std::this_thread::sleep_for(1s);  // the late reply is waiting now
        EXPECT_EQ(item.next(client), item.nextResult);
        EXPECT_EQ(LastError(), Code(ERROR_POP_TIMEOUT)) << "the session stays broken";
        EXPECT_EQ(PopDisconnect(client), 0);
        EXPECT_EQ(server.Received().back(), item.lastLineSent);
    }
}

// A wait on a server gone silent for a minute (the client would wait two), and the line the
// client sent last before it.
struct CancelCase {
    const char* label;
    Script script;
    std::function<int(HCLIENT)> waits;
    std::string lastLineSent;
};

TEST_F(PopwireTest, ACancelFromAnotherThreadEndsAWaitOnASilentServerAndBreaksTheSession) {
    const CancelCase cases[] = {
        {"a status line that never comes",
         Join(Greeting(), Login(1, 10), Step::Expect(), Step::Pause(60s), Step::Send("+OK\r\n")),
         [](HCLIENT client) { return PopCommandA(client, "NOOP", nullptr); }, "NOOP"},
        {"message text that stops half-way",
         Join(Greeting(), Login(1, 10), Step::Answer("+OK 1 10\r\n"),
              Step::Answer("+OK 1 uid-1\r\n"), Step::Answer("+OK\r\nFrom: a@b.c\r\n"),
              Step::Pause(60s), Step::Send(".\r\n")),
         [](HCLIENT client) {
             return PopGetMessage(client, 1, nullptr) == 0 ? ReadToEnd(client).last : 9;
         },
         "RETR 1"},
    };
    for (const auto& item : cases) {
        SCOPED_TRACE(item.label);
        ScriptedPopServer server(item.script);
        const HCLIENT client = Connect(server, 120);
        ASSERT_NE(client, INVALID_CLIENT) << LastError();
        ASSERT_EQ(PopLoginA(client, "user", "pass"), 0) << LastError();
        int cancelled = 9;
        std::thread canceller([&] {
            // Until the client waits for the answer (at most about 30 seconds).
            for (int tries = 0; tries < 1500 && server.Received(20ms).back() != item.lastLineSent;
                 ++tries) {
            }
            cancelled = PopCancel(client);
        });
        const int result = item.waits(client);
        const std::uint32_t error = LastError();
        canceller.join();
        EXPECT_EQ(cancelled, 0) << "another thread may cancel";
        EXPECT_LE(result, 0);
        EXPECT_EQ(error, Code(ERROR_POP_CANCELED));
        EXPECT_EQ(PopCommandA(client, "NOOP", nullptr), 0);
        EXPECT_EQ(LastError(), Code(ERROR_POP_CANCELED)) << "the session stays broken";
        EXPECT_EQ(PopDisconnect(client), 0);
        EXPECT_EQ(server.Received().back(), item.lastLineSent) << "nothing more, not even QUIT";
    }
}

// The same byte, again and again, with a pause before each: a server that never finishes.
Script Trickle(const std::string& start, int count = 30) {
    Script script{Step::Send(start)};
    for (int i = 0; i < count; ++i) {
        script.push_back(Step::Pause(200ms));
        script.push_back(Step::Send("x"));
    }
    return script;
}

// A server that keeps sending a little, never enough, and the operation it must not hold
// beyond its time-out (the trickle lasts 6 seconds; the time-out is 1).
struct TrickleCase {
    const char* label;
    Script script;
    std::function<int(std::uint16_t port)> operation;
    int failed;
};

TEST_F(PopwireTest, AServerThatTricklesCannotHoldAnOperationBeyondItsTimeOut) {
    const auto connect = [](std::uint16_t port) { return PopConnectA("127.0.0.1", port, 1); };
    const TrickleCase cases[] = {
        {"an endless greeting", Trickle("+OK "), connect, INVALID_CLIENT},
        {"an endless answer to a command", Join(Greeting(), Step::Expect(), Trickle("+OK ")),
         [](std::uint16_t port) {
             const HCLIENT client = PopConnectA("127.0.0.1", port, 1);
             const int result = PopCommandA(client, "NOOP", nullptr);
             PopDisconnect(client);
             return result;
         },
         0},
        {"a TLS handshake trickled byte by byte", Trickle("\x16\x03\x03\x40\x00"),
         [](std::uint16_t port) {
             return PopConnectExA("127.0.0.1", port, 1,
                                  POP_OPTION_SECURE | POP_OPTION_SECURE_NOEXT);
         },
         INVALID_CLIENT},
    };
    for (const auto& item : cases) {
        SCOPED_TRACE(item.label);
        ScriptedPopServer server(item.script);
        const auto started = std::chrono::steady_clock::now();
        EXPECT_EQ(item.operation(server.Port()), item.failed);
        EXPECT_EQ(LastError(), Code(ERROR_POP_TIMEOUT));
        EXPECT_LT(std::chrono::steady_clock::now() - started, 4s) << "bounded by the time-out";
    }
}

// Message text in the default 7-bit line mode: the top bit is cut from what the caller gets,
// but a byte with it set is never a stuffing dot, a line end or part of the terminator.
struct SevenBitCase {
    const char* label;
    std::string sent;  // the message data as the server sends it, stuffed, terminator excluded
    std::string read;
};

TEST_F(PopwireTest, TopBitBytesAreCutOnlyAfterTheTerminatorAndStuffingAreFound) {
    const SevenBitCase cases[] = {
        {"0xAE at a line start is no stuffing dot",
         "\xAE"
         "first\r\nnext\r\n",
         ".first\r\nnext\r\n"},
        {"0xAE 0x8D 0x8A is no terminator", "line\r\n\xAE\x8D\x8A\r\nafter\r\n",
         "line\r\n.\r\n\r\nafter\r\n"},
        {"0x8D 0x8A starts no line", "x\x8D\x8A..y\r\n", "x\r\n..y\r\n"},
    };
    for (const auto& item : cases) {
        SCOPED_TRACE(item.label);
        ScriptedPopServer server(Join(Greeting(), Login(1, 10), Step::Answer("+OK 1 10\r\n"),
                                      Step::Answer("+OK 1 a\r\n"),
                                      Step::Answer(MultiLine(item.sent)),
                                      Step::Answer("+OK 1 10\r\n"), Step::Answer("+OK bye\r\n")));
        const HCLIENT client = ConnectAndLogin(server);
        ASSERT_NE(client, INVALID_CLIENT);
        ASSERT_EQ(PopGetMessage(client, 1, nullptr), 0) << LastError();
        const auto read = ReadToEnd(client, 3);
        EXPECT_EQ(read.last, 0) << read.error;
        EXPECT_EQ(read.text, item.read);
        EXPECT_EQ(PopGetMessageSize(client, 1), 10) << "the session is still in step";
        EXPECT_EQ(PopDisconnect(client), 0);
    }
}

TEST_F(PopwireTest, SecurityWithoutAPortMeansTlsFromTheFirstByteOn995) {
    moxeltest::Descriptor listener(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
    const int reuse = 1;
    ::setsockopt(listener.Get(), SOL_SOCKET, SO_REUSEADDR, &reuse, sizeof(reuse));
    const sockaddr_in address = moxeltest::LoopbackAddress(IPPORT_POP3S);
    if (::bind(listener.Get(), reinterpret_cast<const sockaddr*>(&address), sizeof(address)) != 0 ||
        ::listen(listener.Get(), 1) != 0) {
        GTEST_SKIP() << "port 995 is not free here";
    }
    std::string first;
    std::thread peer([&] {
        pollfd waiting{listener.Get(), POLLIN, 0};
        if (::poll(&waiting, 1, 5000) == 1) {
            const moxeltest::Descriptor connection = moxeltest::AcceptOne(listener);
            first = moxeltest::ReceiveCount(connection, 1);
        }
    });
    EXPECT_EQ(PopConnectExA("127.0.0.1", 0, 2, POP_OPTION_SECURE), INVALID_CLIENT);
    peer.join();
    EXPECT_EQ(first, "\x16") << "a TLS handshake record, sent before any greeting";
}

TEST(PopwireLayerTest, NestedInitialisationsReleaseTheWinsockLayerWithTheLast) {
    ASSERT_EQ(PopInitializeA(nullptr, nullptr), 1);
    ASSERT_EQ(PopInitializeA(nullptr, nullptr), 1);
    PopUninitialize();
    PopUninitialize();
    void* layer = ::dlopen(MOXEL_TEST_WINSOCK_MODULE, RTLD_NOW | RTLD_NOLOAD);
    ASSERT_NE(layer, nullptr);
    const auto socket = reinterpret_cast<decltype(&wsock_socket)>(::dlsym(layer, "wsock_socket"));
    const auto error =
        reinterpret_cast<decltype(&wsock_WSAGetLastError)>(::dlsym(layer, "wsock_WSAGetLastError"));
    EXPECT_EQ(socket(winsock::WS_AF_INET, winsock::WS_SOCK_STREAM, 0), winsock::kInvalidSocket);
    EXPECT_EQ(error(), winsock::WSANOTINITIALISED) << "no start is left over";
    ::dlclose(layer);
}

TEST_F(PopwireTest, TimeOutsOfTwoToTheThirtyFirstSecondsDoNotTurnNegative) {
    ScriptedPopServer server(Join(Greeting(), Step::Answer("+OK\r\n"), Step::Answer("+OK\r\n")));
    const HCLIENT client = PopConnectA("127.0.0.1", server.Port(), 0x80000000U);
    ASSERT_NE(client, INVALID_CLIENT) << LastError();
    EXPECT_EQ(PopCommandA(client, "NOOP", nullptr), 1) << LastError();
    EXPECT_EQ(PopDisconnect(client), 0);
}

}  // namespace
