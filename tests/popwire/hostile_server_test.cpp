// Servers that misbehave: every fault ends in its own error code within the time-out, with the
// session closed or still usable as each case allows, and never a crash or a hang.
#include <gtest/gtest.h>

#include <chrono>
#include <string>

#include "PopwireTest.h"

namespace {

using namespace std::chrono_literals;
using namespace popwiretest;
using Step = ScriptedPopServer;

// A connection attempt that the server spoils, and the error it must give.
struct GreetingCase {
    const char* label;
    Script script;
    std::uint32_t error;
};

TEST_F(PopwireTest, BadGreetingsFailTheConnectionWithTheirOwnErrors) {
    const std::string longLine = "+OK " + std::string(10 * 1024, 'x') + "\r\n";
    const GreetingCase cases[] = {
        {"garbage", {Step::Send("\x01\x02garbage \xFF\xFE\r\n")}, ERROR_POP_SERVER},
        {"negative greeting", {Step::Send("-ERR go away\r\n")}, ERROR_POP_SERVER},
        {"neither status word", {Step::Send("* OK IMAP4 ready\r\n")}, ERROR_POP_SERVER},
        {"closed at once", {Step::Close()}, ERROR_POP_CLOSED},
        {"no greeting at all", {Step::Pause(5s)}, ERROR_POP_TIMEOUT},
        {"greeting without line end",
         {Step::Send("+OK ready"), Step::Pause(5s)},
         ERROR_POP_TIMEOUT},
    };
    for (const auto& item : cases) {
        SCOPED_TRACE(item.label);
        ScriptedPopServer server(item.script);
        const auto started = std::chrono::steady_clock::now();
        EXPECT_EQ(PopConnectA("127.0.0.1", server.Port(), 1), INVALID_CLIENT);
        EXPECT_EQ(LastError(), item.error);
        EXPECT_LT(std::chrono::steady_clock::now() - started, 4s) << "bounded by the time-out";
        EXPECT_TRUE(server.WaitForEnd(5s)) << "the failed connection is closed";
    }
}

TEST_F(PopwireTest, AnOverlongStatusLineIsCutAndTheSessionGoesOn) {
    const std::string longText(10 * 1024, 'y');
    ScriptedPopServer server(
        Join(Greeting("+OK " + longText + "\r\n"), Step::Answer("+OK " + longText + "\r\n"),
             Step::Answer("-ERR " + longText + "\r\n"), Step::Answer("+OK bye\r\n")));
    const HCLIENT client = Connect(server);
    ASSERT_NE(client, INVALID_CLIENT) << LastError();
    EXPECT_EQ(PopCommandA(client, "NOOP", nullptr), 1);
    char text[1024];
    const int length = PopGetResultStringA(client, text, sizeof(text));
    EXPECT_EQ(length, 511 - 4) << "the line is kept up to 511 bytes, without the status word";
    EXPECT_EQ(std::string(text, 4), "yyyy");
    EXPECT_EQ(PopCommandA(client, "NOOP", nullptr), 0);
    EXPECT_EQ(LastError(), 0U) << "a refusal, not a fault";
    EXPECT_EQ(PopDisconnect(client), 0);
    EXPECT_EQ(server.Received(), (std::vector<std::string>{"NOOP", "NOOP", "QUIT"}));
}

TEST_F(PopwireTest, GarbageInsteadOfAStatusLineIsUnexpectedAndRaisesTheCommandEvent) {
    ScriptedPopServer server(Join(Greeting(), Step::Answer("HELLO THERE\r\n"),
                                  Step::Answer("+OK fine\r\n"), Step::Answer("+OK bye\r\n")));
    const HCLIENT client = Connect(server);
    ASSERT_NE(client, INVALID_CLIENT) << LastError();
    struct Seen {
        std::uint32_t event = 0;
        std::uint32_t error = 0;
        int count = 0;
    } seen;
    PopRegisterEvent(
        client, POP_EVENT_COMMAND,
        [](HCLIENT, std::uint32_t event, std::uint32_t error, std::uintptr_t parameter) {
            auto* record = reinterpret_cast<Seen*>(parameter);
            record->event = event;
            record->error = error;
            ++record->count;
        },
        reinterpret_cast<std::uintptr_t>(&seen));
    EXPECT_EQ(PopCommandA(client, "NOOP", nullptr), 0);
    EXPECT_EQ(LastError(), Code(ERROR_POP_UNEXPECTED));
    EXPECT_EQ(seen.event, Code(POP_EVENT_COMMAND));
    EXPECT_EQ(seen.error, Code(ERROR_POP_SERVER));
    EXPECT_EQ(PopCommandA(client, "NOOP", nullptr), 1) << "the session is still usable";
    EXPECT_EQ(seen.error, 0U);
    EXPECT_EQ(seen.count, 2);
    PopDisconnect(client);
}

TEST_F(PopwireTest, StatusLinesWithoutCarriageReturnsAreAcceptedButDataNeedsItsTerminator) {
    ScriptedPopServer server(Join(Greeting("+OK bare line feeds\n"), Step::Answer("+OK 1 12\n"),
                                  Step::Answer("+OK\n"), Step::Answer("+OK\nfirst\nsecond\n.\n"),
                                  Step::Answer("+OK\n")));
    const HCLIENT client = Connect(server, 1);
    ASSERT_NE(client, INVALID_CLIENT) << LastError();
    EXPECT_EQ(PopCommandA(client, "STAT", nullptr), 1);
    char text[32];
    EXPECT_EQ(PopGetResultStringA(client, text, sizeof(text)), 5);
    EXPECT_STREQ(text, "1 12\n");
    EXPECT_EQ(PopCommandA(client, "NOOP", nullptr), 1);
    // Only "\r\n.\r\n" ends multi-line data (RFC 1939): the bytes arrive, then the wait for
    // the end runs out instead of hanging.
    ASSERT_EQ(PopCommandA(client, "RETR", "1"), 1);
    ASSERT_EQ(PopSetMultiLine(client, 1), 0);
    const auto started = std::chrono::steady_clock::now();
    const auto read = ReadToEnd(client);
    EXPECT_EQ(read.text, "first\nsecond\n.\n");
    EXPECT_EQ(read.error, Code(ERROR_POP_TIMEOUT));
    EXPECT_LT(std::chrono::steady_clock::now() - started, 3s);
    EXPECT_EQ(PopDisconnect(client), 0);
}

TEST_F(PopwireTest, AnAnswerCutOffBeforeItsTerminatorEndsInClosedAfterTheBytesThatCame) {
    ScriptedPopServer server(Join(
        Greeting(), Login(1, 100), Step::Answer("+OK 1 100\r\n"), Step::Answer("+OK 1 uid-1\r\n"),
        Step::Answer("+OK\r\nSubject: cut\r\n\r\npartial line"), Step::Close()));
    const HCLIENT client = ConnectAndLogin(server);
    ASSERT_NE(client, INVALID_CLIENT);
    ASSERT_EQ(PopGetMessage(client, 1, nullptr), 0) << LastError();
    const auto read = ReadToEnd(client);
    EXPECT_EQ(read.text, "Subject: cut\r\n\r\npartial line");
    EXPECT_EQ(read.last, POP_ERROR);
    EXPECT_EQ(read.error, Code(ERROR_POP_CLOSED));
    EXPECT_EQ(PopRead(client, nullptr, 10), POP_ERROR);
    EXPECT_EQ(LastError(), Code(ERROR_POP_CLOSED)) << "and it stays closed";
    EXPECT_EQ(PopDeleteMessage(client, 1), POP_ERROR);
    EXPECT_EQ(LastError(), Code(ERROR_POP_CLOSED)) << "the session is broken, not busy";
    EXPECT_EQ(PopDisconnect(client), 0);
    EXPECT_EQ(server.Received().back(), "RETR 1") << "no QUIT after the server left";
}

TEST_F(PopwireTest, AServerThatClosesMidMessageFailsTheReadWithClosed) {
    std::string body;
    for (int line = 0; line < 200; ++line) {
        body += "line " + std::to_string(line) + " of a long message\r\n";
    }
    ScriptedPopServer server(Join(Greeting(), Login(1, 9000), Step::Answer("+OK 1 9000\r\n"),
                                  Step::Answer("+OK 1 uid-1\r\n"), Step::Answer("+OK\r\n" + body),
                                  Step::Close()));
    const HCLIENT client = ConnectAndLogin(server);
    ASSERT_NE(client, INVALID_CLIENT);
    ASSERT_EQ(PopGetMessage(client, 1, nullptr), 0) << LastError();
    const auto read = ReadToEnd(client, 256);
    EXPECT_EQ(read.text, body);
    EXPECT_EQ(read.error, Code(ERROR_POP_CLOSED));
    EXPECT_EQ(PopDisconnect(client), 0);
}

TEST_F(PopwireTest, ASlowServerTimesOutAndTheWaitIsBounded) {
    ScriptedPopServer server(Join(Greeting(), Login(1, 10), Step::Expect(), Step::Pause(5s),
                                  Step::Send("+OK 1 10\r\n")));
    const HCLIENT client = ConnectAndLogin(server);
    ASSERT_NE(client, INVALID_CLIENT);
    ASSERT_EQ(PopSetTimeout(client, 1), 0);
    std::uint32_t timeouts = 0;
    PopRegisterEvent(
        client, POP_EVENT_TIMEOUT,
        [](HCLIENT, std::uint32_t, std::uint32_t, std::uintptr_t count) {
            ++*reinterpret_cast<std::uint32_t*>(count);
        },
        reinterpret_cast<std::uintptr_t>(&timeouts));
    const auto started = std::chrono::steady_clock::now();
    EXPECT_EQ(PopGetMessageSize(client, 1), POP_ERROR);
    EXPECT_EQ(LastError(), Code(ERROR_POP_TIMEOUT));
    const auto waited = std::chrono::steady_clock::now() - started;
    EXPECT_GE(waited, 900ms);
    EXPECT_LT(waited, 3s);
    EXPECT_EQ(timeouts, 1U);
    PopDisconnect(client);
}

TEST_F(PopwireTest, MessageDataThatStopsComingTimesOutAfterTheBytesThatCame) {
    ScriptedPopServer server(Join(Greeting(), Login(1, 10), Step::Answer("+OK 1 10\r\n"),
                                  Step::Answer("+OK 1 a\r\n"), Step::Answer("+OK\r\nhalf a "),
                                  Step::Pause(5s)));
    const HCLIENT client = ConnectAndLogin(server, 1);
    ASSERT_NE(client, INVALID_CLIENT);
    ASSERT_EQ(PopGetMessage(client, 1, nullptr), 0) << LastError();
    char buffer[64];
    EXPECT_EQ(PopRead(client, buffer, sizeof(buffer)), 7) << "what came is handed out";
    EXPECT_EQ(std::string(buffer, 7), "half a ");
    EXPECT_EQ(PopRead(client, buffer, sizeof(buffer)), POP_ERROR);
    EXPECT_EQ(LastError(), Code(ERROR_POP_TIMEOUT));
    PopDisconnect(client);
}

TEST_F(PopwireTest, GarbageBytesInsideAMessageArriveAsData) {
    std::string noise;
    for (int value = 1; value < 256; ++value) {
        if (value != '\r' && value != '\n' && value != '.') {
            noise += static_cast<char>(value);
        }
    }
    ScriptedPopServer server(
        Join(Greeting(), Login(1, 300), Step::Answer("+OK 1 300\r\n"), Step::Answer("+OK 1 a\r\n"),
             Step::Answer("+OK\r\n" + noise + "\r\n.\r\n"), Step::Answer("+OK\r\n")));
    const HCLIENT client = ConnectAndLogin(server);
    ASSERT_NE(client, INVALID_CLIENT);
    ASSERT_EQ(PopSetLineMode(client, POP_MODE_BINARY), 0);
    ASSERT_EQ(PopGetMessage(client, 1, nullptr), 0) << LastError();
    EXPECT_EQ(ReadToEnd(client, 7).text, noise + "\r\n");
    EXPECT_EQ(PopDisconnect(client), 0);
}

}  // namespace
