// The POP3 conversation against a scripted server: what the client sends, how it reads status
// lines and message data, and the bookkeeping of counts, caches, deletions and resets.
#include <gtest/gtest.h>

#include <chrono>
#include <climits>
#include <string>
#include <vector>

#include "PopwireTest.h"
#include "platform/windows/MessageWindows.h"

namespace {

using namespace std::chrono_literals;
using namespace popwiretest;
using Step = ScriptedPopServer;

// The commands of a login as the client sends them.
const Lines kLoginCommands = {"USER user", "PASS pass", "STAT"};

Lines After(const Lines& first, const Lines& rest) {
    Lines all = first;
    all.insert(all.end(), rest.begin(), rest.end());
    return all;
}

TEST_F(PopwireTest, ApopSendsTheDigestOfTheGreetingsTimeStamp) {
    // The example of RFC 1939, section 7.
    ScriptedPopServer server(
        Join(Greeting("+OK POP3 server ready <1896.697170952@dbc.mtview.ca.us>\r\n"),
             Step::Answer("+OK maildrop has 2 messages\r\n"), Step::Answer("+OK 2 320\r\n"),
             Step::Answer("+OK\r\n")));
    const HCLIENT client = Connect(server);
    ASSERT_NE(client, INVALID_CLIENT) << LastError();
    EXPECT_EQ(PopLoginExA(client, POP_AUTH_APOP, "mrose", "tanstaaf"), 0) << LastError();
    EXPECT_EQ(PopGetMessageCount(client), 2);
    EXPECT_EQ(PopDisconnect(client), 0);
    EXPECT_EQ(server.Received(),
              (Lines{"APOP mrose c4c9334bac560ecc979e58001b3e22fb", "STAT", "QUIT"}));
}

TEST_F(PopwireTest, ApopNeedsATimeStampWithAnAtSignAndAUserAndPassword) {
    ScriptedPopServer server(
        Join(Greeting("+OK ready <no-at-sign.here>\r\n"), Step::Answer("+OK\r\n")));
    const HCLIENT client = Connect(server);
    ASSERT_NE(client, INVALID_CLIENT) << LastError();
    EXPECT_EQ(PopLoginExA(client, POP_AUTH_APOP, "user", "pass"), POP_ERROR);
    EXPECT_EQ(LastError(), Code(ERROR_POP_AUTHTYPE));
    EXPECT_EQ(PopLoginExA(client, 7, "user", "pass"), POP_ERROR);
    EXPECT_EQ(LastError(), Code(ERROR_POP_AUTHTYPE));
    EXPECT_EQ(PopDisconnect(client), 0);
    EXPECT_EQ(server.Received(), Lines{"QUIT"}) << "nothing was sent for the refused logins";

    ScriptedPopServer stamped(Join(Greeting("+OK ready <1.2@host>\r\n"), Step::Answer("+OK\r\n")));
    const HCLIENT second = Connect(stamped);
    ASSERT_NE(second, INVALID_CLIENT) << LastError();
    EXPECT_EQ(PopLoginExA(second, POP_AUTH_APOP, "user", ""), POP_ERROR);
    EXPECT_EQ(LastError(), Code(ERROR_POP_PARAMETER));
    EXPECT_EQ(PopLoginExA(second, POP_AUTH_APOP, nullptr, "pass"), POP_ERROR);
    EXPECT_EQ(LastError(), Code(ERROR_POP_PARAMETER));
    EXPECT_EQ(PopDisconnect(second), 0);
    EXPECT_EQ(stamped.Received(), Lines{"QUIT"});
}

TEST_F(PopwireTest, LoginFailuresNameTheRefusedStep) {
    ScriptedPopServer server(Join(
        Greeting("+ok lower case works\r\n"), Step::Answer("-err no such user\r\n"),
        Step::Answer("+OK\r\n"), Step::Answer("-ERR wrong\r\n"), Step::Answer("+OK\r\n"),
        Step::Answer("+OK\r\n"), Step::Answer("-ERR no STAT today\r\n"), Step::Answer("+OK\r\n")));
    const HCLIENT client = Connect(server);
    ASSERT_NE(client, INVALID_CLIENT) << LastError();
    EXPECT_EQ(PopLoginA(client, "nobody", "x"), POP_ERROR);
    EXPECT_EQ(LastError(), Code(ERROR_POP_LOGIN));
    EXPECT_EQ(PopLoginA(client, "user", "bad"), POP_ERROR);
    EXPECT_EQ(LastError(), Code(ERROR_POP_AUTHFAIL));
    EXPECT_EQ(PopLoginA(client, "user", "pass"), 0) << "a refused STAT still logs in";
    EXPECT_EQ(PopGetMessageCount(client), 0);
    EXPECT_EQ(PopDisconnect(client), 0);
    EXPECT_EQ(server.Received(), (Lines{"USER nobody", "USER user", "PASS bad", "USER user",
                                        "PASS pass", "STAT", "QUIT"}));
}

TEST_F(PopwireTest, CommandLinesAreCheckedBeforeAnythingIsSent) {
    ScriptedPopServer server(Join(Greeting(), Step::Answer("+OK\r\n"), Step::Answer("+OK\r\n")));
    const HCLIENT client = Connect(server);
    ASSERT_NE(client, INVALID_CLIENT) << LastError();
    // "X " + parameter + "\r\n" must stay below 256 bytes.
    EXPECT_EQ(PopCommandA(client, "X", std::string(252, 'p').c_str()), 0);
    EXPECT_EQ(LastError(), Code(ERROR_POP_PARAMETER));
    EXPECT_EQ(PopCommandA(client, "", "x"), 0);
    EXPECT_EQ(LastError(), Code(ERROR_POP_PARAMETER));
    EXPECT_EQ(PopCommandA(client, nullptr, nullptr), 0);
    EXPECT_EQ(LastError(), Code(ERROR_POP_PARAMETER));
    EXPECT_EQ(PopCommandA(client, "USER", "me\r\nDELE 1"), 0) << "no second command smuggled in";
    EXPECT_EQ(LastError(), Code(ERROR_POP_PARAMETER));
    EXPECT_EQ(PopCommandA(client, "X", std::string(251, 'p').c_str()), 1) << "255 bytes go out";
    EXPECT_EQ(PopDisconnect(client), 0);
    EXPECT_EQ(server.Received(), (Lines{"X " + std::string(251, 'p'), "QUIT"}));
}

// The server's side of retrieving message 1 of a one-message mailbox: LIST, UIDL, RETR.
popwiretest::Script Retrieve(const std::string& size, const std::string& answer) {
    return Join(Step::Answer("+OK 1 " + size + "\r\n"), Step::Answer("+OK 1 id-1\r\n"),
                Step::Answer(answer));
}

// A multi-line body, as sent, and what the client must hand out.
struct DataCase {
    const char* label;
    std::string sent;
    std::string delivered;
};

TEST_F(PopwireTest, MessageDataIsUnstuffedAndEndsBeforeTheTerminatingLine) {
    const DataCase cases[] = {
        {"plain", "Subject: x\r\n\r\nbody\r\n", "Subject: x\r\n\r\nbody\r\n"},
        {"stuffed lines", "a\r\n..two dots\r\n...three\r\n..\r\nz\r\n",
         "a\r\n.two dots\r\n..three\r\n.\r\nz\r\n"},
        {"stuffed first line", "..first\r\nsecond\r\n", ".first\r\nsecond\r\n"},
        {"empty message", "", ""},
        {"empty lines", "\r\n\r\n\r\n", "\r\n\r\n\r\n"},
        {"dot and carriage return", "a\r\n.\rX\r\n", "a\r\n\rX\r\n"},
        {"dot, carriage return twice", "a\r\n.\r\r\nb\r\n", "a\r\n\r\r\nb\r\n"},
        {"lone carriage returns", "a\rb\r\r\nc\r\n", "a\rb\r\r\nc\r\n"},
    };
    for (const auto& item : cases) {
        for (const int chunk : {1, 2, 3, 256}) {
            SCOPED_TRACE(std::string(item.label) + ", pieces of " + std::to_string(chunk));
            ScriptedPopServer server(Join(Greeting(), Login(1, 50),
                                          Retrieve("50", MultiLine(item.sent)),
                                          Step::Answer("+OK\r\n")));
            const HCLIENT client = ConnectAndLogin(server);
            ASSERT_NE(client, INVALID_CLIENT);
            ASSERT_EQ(PopGetMessage(client, 1, nullptr), 0) << LastError();
            const auto read = ReadToEnd(client, chunk);
            EXPECT_EQ(read.text, item.delivered);
            EXPECT_EQ(read.last, 0) << read.error;
            char after[8];
            EXPECT_EQ(PopRead(client, after, sizeof(after)), 0) << "0 again until the next command";
            EXPECT_EQ(PopRead(client, after, sizeof(after)), 0);
            EXPECT_EQ(PopDisconnect(client), 0);
            EXPECT_EQ(server.Received().back(), "QUIT");
        }
    }
}

TEST_F(PopwireTest, TextModeCutsEveryByteToSevenBitsAndBinaryModeKeepsThem) {
    const std::string sent = "caf\xE9\r\n\xFF\x80\r\n";
    for (const std::uint32_t mode : {POP_MODE_TEXT, POP_MODE_BINARY}) {
        SCOPED_TRACE(mode);
        ScriptedPopServer server(
            Join(Greeting(), Login(1, 9), Retrieve("9", MultiLine(sent)), Step::Answer("+OK\r\n")));
        const HCLIENT client = ConnectAndLogin(server);
        ASSERT_NE(client, INVALID_CLIENT);
        ASSERT_EQ(PopSetLineMode(client, mode), 0);
        EXPECT_EQ(PopGetLineMode(client), static_cast<int>(mode));
        ASSERT_EQ(PopGetMessage(client, 1, nullptr), 0) << LastError();
        EXPECT_EQ(ReadToEnd(client).text,
                  mode == POP_MODE_BINARY ? sent : std::string("cafi\r\n\x7F\0\r\n", 10));
        PopDisconnect(client);
    }
}

TEST_F(PopwireTest, LineBreakModeHandsOutOneLinePerRead) {
    ScriptedPopServer server(Join(Greeting(), Login(1, 20),
                                  Retrieve("20", MultiLine("one\r\n..two\r\nthree\r\n")),
                                  Step::Answer("+OK\r\n")));
    const HCLIENT client = ConnectAndLogin(server);
    ASSERT_NE(client, INVALID_CLIENT);
    ASSERT_EQ(PopSetLineMode(client, POP_MODE_LINEBREAK), 0);
    ASSERT_EQ(PopGetMessage(client, 1, nullptr), 0) << LastError();
    Lines lines;
    char buffer[64];
    for (int result; (result = PopRead(client, buffer, sizeof(buffer))) > 0;) {
        lines.emplace_back(buffer, static_cast<std::size_t>(result));
    }
    EXPECT_EQ(lines, (Lines{"one\r\n", ".two\r\n", "three\r\n"}));
    PopDisconnect(client);
}

TEST_F(PopwireTest, CountsFollowDeletionsAndReset) {
    ScriptedPopServer server(Join(Greeting(), Login(5, 500), Step::Answer("+OK 1 100\r\n"),
                                  Step::Answer("+OK\r\n"), Step::Answer("+OK 2 120\r\n"),
                                  Step::Answer("+OK\r\n"), Step::Answer("+OK\r\n"),
                                  Step::Answer("+OK 5 500\r\n"), Step::Answer("+OK\r\n")));
    const HCLIENT client = Connect(server);
    ASSERT_NE(client, INVALID_CLIENT) << LastError();
    EXPECT_EQ(PopGetMessageCount(client), POP_ERROR);
    EXPECT_EQ(LastError(), Code(ERROR_POP_NOLOGIN));
    EXPECT_EQ(PopReset(client), 0);
    EXPECT_EQ(LastError(), Code(ERROR_POP_NOLOGIN));
    ASSERT_EQ(PopLoginA(client, "user", "pass"), 0) << LastError();
    EXPECT_EQ(PopGetMessageCount(client), 5);
    EXPECT_EQ(PopDeleteMessage(client, 1), 0) << LastError();
    EXPECT_EQ(PopDeleteMessage(client, 2), 0) << LastError();
    EXPECT_EQ(PopGetMessageCount(client), 3);
    std::uint32_t last = 0;
    std::uint32_t octets = 0;
    EXPECT_EQ(PopGetMessageCountEx(client, &last, &octets), 3);
    EXPECT_EQ(last, 5U);
    EXPECT_EQ(octets, 500U - 100U - 120U);
    EXPECT_EQ(PopReset(client), 1);
    EXPECT_EQ(PopGetMessageCountEx(client, &last, &octets), 5);
    EXPECT_EQ(octets, 500U);
    EXPECT_EQ(PopDisconnect(client), 0);
    EXPECT_EQ(server.Received(), After(kLoginCommands, {"LIST 1", "DELE 1", "LIST 2", "DELE 2",
                                                        "RSET", "STAT", "QUIT"}));
}

TEST_F(PopwireTest, RefusedNumbersFailWithMessageIdAndSendNoDele) {
    ScriptedPopServer server(
        Join(Greeting(), Login(1, 10), Step::Answer("-ERR no such message\r\n"),
             Step::Answer("-ERR no such message\r\n"), Step::Answer("-ERR no such message\r\n"),
             Step::Answer("-ERR no such message\r\n"), Step::Answer("-ERR not now\r\n"),
             Step::Answer("+OK\r\n")));
    const HCLIENT client = ConnectAndLogin(server);
    ASSERT_NE(client, INVALID_CLIENT);
    EXPECT_EQ(PopDeleteMessage(client, 9), POP_ERROR);
    EXPECT_EQ(LastError(), Code(ERROR_POP_MESGID));
    EXPECT_EQ(PopGetMessage(client, 9, nullptr), POP_ERROR);
    EXPECT_EQ(LastError(), Code(ERROR_POP_MESGID));
    EXPECT_EQ(PopGetMessageSize(client, 9), POP_ERROR);
    EXPECT_EQ(LastError(), Code(ERROR_POP_MESGID));
    char id[16];
    EXPECT_EQ(PopGetMessageIdA(client, 9, id, sizeof(id)), POP_ERROR);
    EXPECT_EQ(LastError(), Code(ERROR_POP_MESGID));
    EXPECT_EQ(PopReset(client), 0);
    EXPECT_EQ(LastError(), Code(ERROR_POP_SERVER));
    EXPECT_EQ(PopGetMessageCount(client), 1) << "the session goes on";
    EXPECT_EQ(PopDisconnect(client), 0);
    EXPECT_EQ(server.Received(),
              After(kLoginCommands, {"LIST 9", "LIST 9", "LIST 9", "UIDL 9", "RSET", "QUIT"}));
}

TEST_F(PopwireTest, IdentifiersAndSizesComeFromTheCacheForTheSameMessage) {
    ScriptedPopServer server(Join(Greeting(), Login(4, 400), Step::Answer("+OK 3 uid-three  \r\n"),
                                  Step::Answer("+OK 3 130\r\n"),
                                  Step::Answer(MultiLine("three\r\n")),
                                  Step::Answer("+OK 4 uid-four\r\n"), Step::Answer("+OK\r\n"),
                                  Step::Answer("+OK 3 uid-three\r\n"), Step::Answer("+OK\r\n")));
    const HCLIENT client = ConnectAndLogin(server);
    ASSERT_NE(client, INVALID_CLIENT);
    char id[128];
    EXPECT_EQ(PopGetMessageIdA(client, 3, id, sizeof(id)), 9);
    EXPECT_STREQ(id, "uid-three") << "trailing white space is dropped";
    std::uint32_t size = 0;
    ASSERT_EQ(PopGetMessage(client, 3, &size), 0) << LastError();
    EXPECT_EQ(size, 130U);
    EXPECT_EQ(ReadToEnd(client).text, "three\r\n");
    EXPECT_EQ(PopGetMessageIdA(client, 3, id, sizeof(id)), 9);
    EXPECT_EQ(PopGetMessageIdA(client, 3, nullptr, 0), 9) << "a null buffer asks for the length";
    EXPECT_EQ(PopGetMessageSize(client, 3), 130);
    EXPECT_EQ(PopGetMessageIdA(client, 4, id, 4), 3) << "cut to the capacity";
    EXPECT_STREQ(id, "uid");
    // A deletion takes the cached size and forgets the caches: the next question goes to the
    // server.
    EXPECT_EQ(PopDeleteMessage(client, 3), 0) << LastError();
    EXPECT_EQ(PopGetMessageIdA(client, 3, id, sizeof(id)), 9);
    EXPECT_EQ(PopDisconnect(client), 0);
    EXPECT_EQ(server.Received(), After(kLoginCommands, {"UIDL 3", "LIST 3", "RETR 3", "UIDL 4",
                                                        "DELE 3", "UIDL 3", "QUIT"}));
}

TEST_F(PopwireTest, APartlyReadMessageBlocksCommandsAndDisconnectSkipsQuit) {
    ScriptedPopServer server(Join(Greeting(), Login(1, 5000),
                                  Retrieve("5000", "+OK\r\n" + std::string(5000, 'm') + "\r\n")));
    const HCLIENT client = ConnectAndLogin(server);
    ASSERT_NE(client, INVALID_CLIENT);
    ASSERT_EQ(PopGetMessage(client, 1, nullptr), 0) << LastError();
    EXPECT_EQ(PopGetMultiLine(client), 1);
    char buffer[100];
    ASSERT_EQ(PopRead(client, buffer, sizeof(buffer)), 100);
    std::uint32_t size = 0;
    EXPECT_EQ(PopGetMessageBytesCopied(client, &size), 100);
    EXPECT_EQ(size, 5000U);
    EXPECT_EQ(PopDeleteMessage(client, 1), POP_ERROR);
    EXPECT_EQ(LastError(), Code(ERROR_POP_BLOCKED));
    EXPECT_EQ(PopCommandA(client, "NOOP", nullptr), 0);
    EXPECT_EQ(LastError(), Code(ERROR_POP_BLOCKED));
    EXPECT_EQ(PopWrite(client, "x", 1), POP_ERROR);
    EXPECT_EQ(LastError(), Code(ERROR_POP_BLOCKED));
    EXPECT_EQ(PopDisconnect(client), 0);
    EXPECT_EQ(server.Received(), After(kLoginCommands, {"LIST 1", "UIDL 1", "RETR 1"}));
    EXPECT_EQ(PopGetMessageCount(client), POP_ERROR) << "the handle is gone";
    EXPECT_EQ(LastError(), Code(ERROR_POP_HANDLE));
}

TEST_F(PopwireTest, CommandsOfTheCallersChoiceReadMultiLineAnswers) {
    ScriptedPopServer server(
        Join(Greeting(), Login(2, 30), Step::Answer("+OK 2 messages\r\n1 10\r\n2 20\r\n.\r\n"),
             Step::Expect(), Step::Send("+OK written\r\n"), Step::Answer("+OK\r\n")));
    const HCLIENT client = ConnectAndLogin(server);
    ASSERT_NE(client, INVALID_CLIENT);
    EXPECT_EQ(PopCommandA(client, "LIST", ""), 1);
    EXPECT_EQ(PopGetResultCode(client), 1);
    char text[64];
    EXPECT_EQ(PopGetResultStringA(client, text, sizeof(text)), 12);
    EXPECT_STREQ(text, "2 messages\r\n");
    EXPECT_EQ(PopGetResultStringA(client, nullptr, 10), POP_ERROR);
    EXPECT_EQ(LastError(), Code(ERROR_POP_PARAMETER));
    ASSERT_EQ(PopSetMultiLine(client, 1), 0);
    EXPECT_EQ(ReadToEnd(client).text, "1 10\r\n2 20\r\n");
    EXPECT_EQ(PopGetMultiLine(client), 0) << "the terminator ended it";
    // Raw bytes, then the answer read as one line.
    EXPECT_EQ(PopWrite(client, "NOOP\r\n", 6), 6);
    ASSERT_EQ(PopRead(client, text, sizeof(text)), 13);
    EXPECT_EQ(std::string(text, 13), "+OK written\r\n");
    EXPECT_EQ(PopDisconnect(client), 0);
    EXPECT_EQ(server.Received(), After(kLoginCommands, {"LIST", "NOOP", "QUIT"}));
}

TEST_F(PopwireTest, QueuedCommandsGoOutAheadOfTheirAnswersWhichAreReadInOrder) {
    // The server reads all three commands before it answers any: a client that waited for
    // each answer would time out.
    ScriptedPopServer server(
        Join(Greeting(), Login(3, 30), Script{Step::Expect(), Step::Expect(), Step::Expect()},
             Script{Step::Send(MultiLine("one\r\n") + "-ERR gone\r\n" + MultiLine("..three\r\n"))},
             Step::Answer("+OK bye\r\n")));
    const HCLIENT client = ConnectAndLogin(server);
    ASSERT_NE(client, INVALID_CLIENT);
    EXPECT_EQ(PopReadQueuedReply(client), 0) << "nothing is queued yet";
    EXPECT_EQ(LastError(), Code(ERROR_POP_COMMAND));
    EXPECT_EQ(PopQueueCommandA(client, "RETR 1\r\nDELE", "1"), POP_ERROR);
    EXPECT_EQ(LastError(), Code(ERROR_POP_PARAMETER));
    for (const char* number : {"1", "2", "3"}) {
        ASSERT_EQ(PopQueueCommandA(client, "RETR", number), 1) << LastError();
    }
    // Each of these would take a queued command's answer for its own.
    EXPECT_EQ(PopCommandA(client, "NOOP", nullptr), 0);
    EXPECT_EQ(LastError(), Code(ERROR_POP_BLOCKED));
    EXPECT_EQ(PopWrite(client, "NOOP\r\n", 6), POP_ERROR);
    EXPECT_EQ(LastError(), Code(ERROR_POP_BLOCKED));

    ASSERT_EQ(PopReadQueuedReply(client), 1);
    ASSERT_EQ(PopSetMultiLine(client, 1), 0);
    EXPECT_EQ(PopQueueCommandA(client, "RETR", "4"), POP_ERROR) << "not inside an answer";
    EXPECT_EQ(LastError(), Code(ERROR_POP_BLOCKED));
    EXPECT_EQ(PopReadQueuedReply(client), 0);
    EXPECT_EQ(LastError(), Code(ERROR_POP_BLOCKED));
    EXPECT_EQ(ReadToEnd(client).text, "one\r\n");
    EXPECT_EQ(PopReadQueuedReply(client), 0) << "the refusal of the second";
    EXPECT_EQ(LastError(), Code(ERROR_POP_NONE));
    ASSERT_EQ(PopReadQueuedReply(client), 1);
    ASSERT_EQ(PopSetMultiLine(client, 1), 0);
    EXPECT_EQ(ReadToEnd(client).text, ".three\r\n");
    EXPECT_EQ(PopReadQueuedReply(client), 0);
    EXPECT_EQ(LastError(), Code(ERROR_POP_COMMAND));
    EXPECT_EQ(PopDisconnect(client), 0);
    EXPECT_EQ(server.Received(), After(kLoginCommands, {"RETR 1", "RETR 2", "RETR 3", "QUIT"}));
}

TEST_F(PopwireTest, DisconnectingWithAnswersStillQueuedSendsNoQuit) {
    // QUIT would make the server delete what the unread answers may have refused.
    ScriptedPopServer server(Join(Greeting(), Login(2, 20), Step::Answer("+OK\r\n")));
    const HCLIENT client = ConnectAndLogin(server);
    ASSERT_NE(client, INVALID_CLIENT);
    ASSERT_EQ(PopQueueCommandA(client, "DELE", "1"), 1);
    ASSERT_EQ(PopQueueCommandA(client, "DELE", "2"), 1);
    ASSERT_EQ(PopReadQueuedReply(client), 1);
    EXPECT_EQ(PopDisconnect(client), 0);
    EXPECT_EQ(server.Received(), After(kLoginCommands, {"DELE 1", "DELE 2"}));
}

TEST_F(PopwireTest, HostileNumbersSaturateInsteadOfOverflowing) {
    ScriptedPopServer server(Join(Greeting(), Step::Answer("+OK\r\n"), Step::Answer("+OK\r\n"),
                                  Step::Answer("+OK 99999999999999999999 123456789012345\r\n"),
                                  Step::Answer("+OK 1 98765432109876543210\r\n"),
                                  Step::Answer("+OK\r\n")));
    const HCLIENT client = ConnectAndLogin(server);
    ASSERT_NE(client, INVALID_CLIENT);
    EXPECT_EQ(PopGetMessageCount(client), INT_MAX);
    std::uint32_t last = 0;
    std::uint32_t octets = 0;
    PopGetMessageCountEx(client, &last, &octets);
    EXPECT_EQ(last, 0xFFFFFFFFU);
    EXPECT_EQ(octets, 0xFFFFFFFFU);
    EXPECT_EQ(PopGetMessageSize(client, 1), INT_MAX);
    EXPECT_EQ(PopDisconnect(client), 0);
}

TEST_F(PopwireTest, TimeoutsAreCappedAt600Seconds) {
    ScriptedPopServer server(Join(Greeting(), Step::Answer("+OK\r\n")));
    const HCLIENT client = PopConnectA("127.0.0.1", server.Port(), 0);
    ASSERT_NE(client, INVALID_CLIENT) << LastError();
    EXPECT_EQ(PopGetTimeout(client), 60) << "0 means 60";
    EXPECT_EQ(PopSetTimeout(client, 900), 0);
    EXPECT_EQ(PopGetTimeout(client), 600);
    EXPECT_EQ(PopSetTimeout(client, 45), 0);
    EXPECT_EQ(PopGetTimeout(client), 45);
    EXPECT_NE(PopGetSocket(client), INVALID_SOCKET);
    EXPECT_EQ(PopIsBlocking(client), 0);
    EXPECT_EQ(PopDisconnect(client), 0);
}

}  // namespace
