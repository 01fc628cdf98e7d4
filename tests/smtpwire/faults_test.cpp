// One dispatch-like session per fault of the server: which call fails, with which error and
// which text, and that a session whose transport failed stays failed until it is closed.
#include <chrono>
#include <cstring>
#include <functional>
#include <regex>
#include <thread>

#include "SmtpwireTest.h"
#include "support/LoopbackSockets.h"

namespace {

using namespace std::chrono_literals;
using namespace smtpwiretest;

// The calls of one letter, in the order the dispatch makes them.
enum class Call { Connect, Hello, Login, Sender, Recipient, Write, End, None };

struct FaultCase {
    const char* label;
    Script script;
    bool login;
    Call failing;           // Call::None: the letter goes through
    int error;              // the failing call's error code
    const char* text;       // a part of its error text
    bool brokenAfterwards;  // later calls fail with kBroken
};

// Runs one letter against the server and returns the first call that failed.
Call RunLetter(int& handle, std::uint16_t port, bool login) {
    handle = SmtpConnectA("127.0.0.1", port, 1);
    if (handle == -1) {
        return Call::Connect;
    }
    if (SmtpHelloA(handle, "client.test", login ? 1 : 0) != 0) {
        return Call::Hello;
    }
    if (login && SmtpAuthenticateA(handle, "user", "pass") != 0) {
        return Call::Login;
    }
    if (SmtpSetSenderA(handle, "from@test.invalid") != 0) {
        return Call::Sender;
    }
    if (SmtpAddRecipientA(handle, "to@test.invalid") != 0) {
        return Call::Recipient;
    }
    if (!WriteAll(handle, "Subject: x\n\nbody\n")) {
        return Call::Write;
    }
    return SmtpEndMessage(handle) == 0 ? Call::None : Call::End;
}

Script UpToData(const std::vector<std::string>& extensions = {}) {
    return Join(Greeting(), Ehlo(extensions), Ok(), Ok());
}

TEST_F(SmtpwireTest, EachFaultOfTheServerFailsTheRightCallWithItsText) {
    const std::string longLine(10 * 1024, 'x');
    const FaultCase cases[] = {
        {"no greeting", Script{Step::Pause(20s)}, false, Call::Connect, kTimeout, "timed out",
         true},
        {"554 greeting", Script{Step::Send("554 5.3.2 no service here\r\n")}, false, Call::Connect,
         kGreeting, "554 5.3.2 no service here", true},
        {"EHLO refused, HELO taken",
         Join(Greeting(), Step::Answer("500 5.5.1 what?\r\n"), Ok(), Ok(), Ok(),
              Step::Answer("354 go\r\n"), Script{Step::ExpectData(), Step::Send("250 queued\r\n")}),
         false, Call::None, 0, "", false},
        {"AUTH refused",
         Join(Greeting(), Ehlo({"AUTH PLAIN"}),
              Step::Answer("535 5.7.8 Authentication credentials invalid\r\n")),
         true, Call::Login, kLogin, "535 5.7.8 Authentication credentials invalid", false},
        {"MAIL FROM refused",
         Join(Greeting(), Ehlo(),
              Step::Answer("553 5.7.1 <from@test.invalid>: Sender rejected\r\n")),
         false, Call::Sender, kSender, "553 5.7.1 <from@test.invalid>: Sender rejected", false},
        {"DATA refused", Join(UpToData(), Step::Answer("554 5.5.1 No valid recipients\r\n")), false,
         Call::Write, kData, "554 5.5.1 No valid recipients", false},
        {"end of data answered 452",
         Join(UpToData(), Step::Answer("354 go\r\n"),
              Script{Step::ExpectData(), Step::Send("452 4.3.1 Insufficient system storage\r\n")}),
         false, Call::End, kMessage, "452 4.3.1 Insufficient system storage", false},
        {"end of data answered 554, in several lines",
         Join(UpToData(), Step::Answer("354 go\r\n"),
              Script{Step::ExpectData(),
                     Step::Send("554-5.7.1 Message refused:\r\n554 5.7.1 spam\r\n")}),
         false, Call::End, kMessage, "554-5.7.1 Message refused: 5.7.1 spam", false},
        {"connection dropped inside the data",
         Join(UpToData(), Step::Answer("354 go\r\n"), Script{Step::Close()}), false, Call::End,
         kClosed, "closed", true},
        {"a server that stops answering",
         Join(UpToData(), Script{Step::Expect(), Step::Pause(20s)}), false, Call::Write, kTimeout,
         "timed out", true},
        {"a reply line of 10 KB",
         Join(Greeting(), Ehlo(), Ok(), Step::Answer("550 " + longLine + "\r\n")), false,
         Call::Recipient, kRecipient, "550 xxxxxxxx", false},
        {"a greeting of 10 KB",
         Join(Script{Step::Send("220 " + longLine + "\r\n")}, Ehlo(), Ok(), Ok(),
              Step::Answer("354 go\r\n"), Script{Step::ExpectData(), Step::Send("250 queued\r\n")}),
         false, Call::None, 0, "", false},
        {"replies without CR",
         Join(Script{Step::Send("220 hi\n")}, Step::Answer("250-test.invalid\n250 8BITMIME\n"),
              Step::Answer("250 ok\n"), Step::Answer("250 ok\n"), Step::Answer("354 go\n"),
              Script{Step::ExpectData(), Step::Send("250 queued\n")}),
         false, Call::None, 0, "", false},
        {"a reply that is no SMTP", Join(Greeting(), Step::Answer("hello there\r\n")), false,
         Call::Hello, 28009, "hello there", true},
    };
    for (const auto& item : cases) {
        SCOPED_TRACE(item.label);
        ScriptedSmtpServer server(item.script);
        int handle = -1;
        const Call failed = RunLetter(handle, server.Port(), item.login);
        EXPECT_EQ(failed, item.failing);
        if (failed != Call::None) {
            const int error = SmtpGetLastError();
            EXPECT_EQ(error, item.error);
            const std::string text = ErrorText(error);
            EXPECT_NE(text.find(item.text), std::string::npos) << text;
            EXPECT_LT(text.size(), 256u) << "bounded";
        }
        if (handle != -1) {
            const bool broken =
                SmtpSetSenderA(handle, "next@test.invalid") != 0 && SmtpGetLastError() == kBroken;
            EXPECT_EQ(broken, item.brokenAfterwards);
            EXPECT_EQ(SmtpDisconnect(handle), 0);
        }
    }
}

TEST_F(SmtpwireTest, ARefusedConnectionFails) {
    EXPECT_EQ(SmtpConnectA("127.0.0.1", moxeltest::UnusedLoopbackPort(), 5), -1);
    EXPECT_EQ(SmtpGetLastError(), kConnect);
}

// A letter that failed leaves the connection ready for the next one, as the dispatch relies on.
TEST_F(SmtpwireTest, ARefusedRecipientLeavesTheSessionReadyForTheNextLetter) {
    ScriptedSmtpServer server(Join(
        Greeting(), Ehlo(), Ok(), Step::Answer("550 5.1.1 <x@y>: Recipient address rejected\r\n"),
        Ok(), Ok(), Ok(), Step::Answer("354 go\r\n"),
        Script{Step::ExpectData(), Step::Send("250 queued\r\n")}, Step::Answer("221 bye\r\n")));
    const int handle = SmtpConnectA("127.0.0.1", server.Port(), 5);
    ASSERT_NE(handle, -1);
    ASSERT_EQ(SmtpHelloA(handle, "client.test", 0), 0);
    ASSERT_EQ(SmtpSetSenderA(handle, "a@test.invalid"), 0);
    EXPECT_EQ(SmtpAddRecipientA(handle, "x@y"), -1);
    EXPECT_EQ(ErrorText(SmtpGetLastError()),
              "The SMTP server refused the recipient: 550 5.1.1 <x@y>: Recipient address rejected");
    ASSERT_EQ(SmtpSetSenderA(handle, "a@test.invalid"), 0) << ErrorText(SmtpGetLastError());
    ASSERT_EQ(SmtpAddRecipientA(handle, "ok@test.invalid"), 0);
    ASSERT_EQ(SmtpWrite(handle, "hi\n", 3), 3);
    ASSERT_EQ(SmtpEndMessage(handle), 0);
    EXPECT_EQ(SmtpDisconnect(handle), 0);
    EXPECT_EQ(server.Transcript(),
              "EHLO client.test\r\nMAIL FROM:<a@test.invalid>\r\nRCPT TO:<x@y>\r\nRSET\r\n"
              "MAIL FROM:<a@test.invalid>\r\nRCPT TO:<ok@test.invalid>\r\nDATA\r\nhi\r\n.\r\n"
              "QUIT\r\n");
}

struct LoginCase {
    const char* label;
    std::string offered;  // the EHLO AUTH line
    Script server;        // the server's side of the login
    const char* user;
    const char* password;
    std::string sent;  // what the client sends from AUTH on
};

TEST_F(SmtpwireTest, LogsInWithTheMechanismsTheServerOffers) {
    const LoginCase cases[] = {
        {"PLAIN", "AUTH PLAIN LOGIN", Step::Answer("235 2.7.0 ok\r\n"), "user", "pass",
         "AUTH PLAIN AHVzZXIAcGFzcw==\r\n"},
        {"LOGIN", "AUTH LOGIN",
         Join(Step::Answer("334 VXNlcm5hbWU6\r\n"), Step::Answer("334 UGFzc3dvcmQ6\r\n"),
              Step::Answer("235 2.7.0 ok\r\n")),
         "user", "pass", "AUTH LOGIN\r\ndXNlcg==\r\ncGFzcw==\r\n"},
        {"CRAM-MD5 before PLAIN (RFC 2195's example)", "AUTH PLAIN CRAM-MD5",
         Join(Step::Answer("334 PDE4OTYuNjk3MTcwOTUyQHBvc3RvZmZpY2UucmVzdG9uLm1jaS5uZXQ+\r\n"),
              Step::Answer("235 2.7.0 ok\r\n")),
         "tim", "tanstaaftanstaaf",
         "AUTH CRAM-MD5\r\ndGltIGI5MTNhNjAyYzdlZGE3YTQ5NWI0ZTZlNzMzNGQzODkw\r\n"},
    };
    for (const auto& item : cases) {
        SCOPED_TRACE(item.label);
        ScriptedSmtpServer server(
            Join(Greeting(), Ehlo({item.offered}), item.server, Step::Answer("221 bye\r\n")));
        const int handle = SmtpConnectA("127.0.0.1", server.Port(), 5);
        ASSERT_NE(handle, -1);
        ASSERT_EQ(SmtpHelloA(handle, "c", 1), 0);
        EXPECT_EQ(SmtpAuthenticateA(handle, item.user, item.password), 0)
            << ErrorText(SmtpGetLastError());
        SmtpDisconnect(handle);
        EXPECT_EQ(server.Transcript(), "EHLO c\r\n" + item.sent + "QUIT\r\n");
    }
}

TEST_F(SmtpwireTest, BadHandlesAndNullPointersGiveParameterErrors) {
    ScriptedSmtpServer server(Join(Greeting(), Ehlo()));
    const int handle = SmtpConnectA("127.0.0.1", server.Port(), 5);
    ASSERT_NE(handle, -1);
    char buffer[128];
    const std::string tooLong(257, 'x');
    struct CallCase {
        const char* label;
        std::function<int()> call;
        int error;
    };
    const CallCase cases[] = {
        {"connect to null", [] { return SmtpConnectA(nullptr, 25, 5); }, kParameter},
        {"hello, bad handle", [] { return SmtpHelloA(-1, nullptr, 0); }, kHandle},
        {"hello, line break in the domain", [&] { return SmtpHelloA(handle, "a\r\nRSET", 0); },
         kParameter},
        {"login, bad handle", [] { return SmtpAuthenticateA(12345, "u", "p"); }, kHandle},
        {"login, null user", [&] { return SmtpAuthenticateA(handle, nullptr, "p"); }, kParameter},
        {"login, null password", [&] { return SmtpAuthenticateA(handle, "u", nullptr); },
         kParameter},
        {"sender, bad handle", [] { return SmtpSetSenderA(-1, "a@b"); }, kHandle},
        {"sender, null", [&] { return SmtpSetSenderA(handle, nullptr); }, kParameter},
        {"sender, line break", [&] { return SmtpSetSenderA(handle, "a@b>\r\nRCPT TO:<c@d"); },
         kParameter},
        {"recipient, bad handle", [] { return SmtpAddRecipientA(0, "a@b"); }, kHandle},
        {"recipient, null", [&] { return SmtpAddRecipientA(handle, nullptr); }, kParameter},
        {"write, bad handle", [] { return SmtpWrite(-1, "x", 1); }, kHandle},
        {"write, null data", [&] { return SmtpWrite(handle, nullptr, 1); }, kParameter},
        {"write, 257 bytes", [&] { return SmtpWrite(handle, tooLong.data(), 257); }, kParameter},
        {"end, bad handle", [&] { return SmtpEndMessage(handle + 1); }, kHandle},
        {"disconnect, bad handle", [] { return SmtpDisconnect(-1); }, kHandle},
        {"date, null buffer", [] { return SmtpGetDateTimeA(nullptr, 128); }, kParameter},
        {"date, buffer too small", [&] { return SmtpGetDateTimeA(buffer, 10); }, kParameter},
    };
    for (const auto& item : cases) {
        SCOPED_TRACE(item.label);
        EXPECT_EQ(item.call(), -1);
        EXPECT_EQ(SmtpGetLastError(), item.error);
    }
    EXPECT_EQ(SmtpGetErrorStringA(kParameter, nullptr, 10), 0);
    // A handle of another thread is no handle there.
    int elsewhere = 0;
    std::thread([&] {
        elsewhere = SmtpHelloA(handle, nullptr, 0) == -1 ? SmtpGetLastError() : 0;
    }).join();
    EXPECT_EQ(elsewhere, kHandle);
    EXPECT_EQ(SmtpDisconnect(handle), 0);
    EXPECT_EQ(SmtpDisconnect(handle), -1) << "a closed handle is gone";
    EXPECT_EQ(SmtpGetLastError(), kHandle);
}

TEST_F(SmtpwireTest, TheDateTextIsAnRfc5322DateWithTheLocalOffset) {
    ::setenv("TZ", "Europe/Berlin", 1);
    ::tzset();
    char text[128];
    const int length = SmtpGetDateTimeA(text, sizeof(text));
    ::unsetenv("TZ");
    ::tzset();
    ASSERT_GT(length, 0);
    EXPECT_EQ(static_cast<std::size_t>(length), std::strlen(text));
    EXPECT_TRUE(std::regex_match(
        text, std::regex("(Mon|Tue|Wed|Thu|Fri|Sat|Sun), [0-3][0-9] "
                         "(Jan|Feb|Mar|Apr|May|Jun|Jul|Aug|Sep|Oct|Nov|Dec) 20[0-9][0-9] "
                         "[0-2][0-9]:[0-5][0-9]:[0-6][0-9] \\+0[12]00")))
        << text;
}

}  // namespace

namespace {

using namespace smtpwiretest;

TEST_F(SmtpwireTest, TheLastReleaseClosesEveryConnection) {
    ScriptedSmtpServer server(Join(Greeting(), Ehlo()));
    ASSERT_NE(SmtpInitializeA(nullptr, nullptr), 0);
    const int handle = SmtpConnectA("127.0.0.1", server.Port(), 5);
    ASSERT_NE(handle, -1);
    SmtpUninitialize();
    EXPECT_EQ(SmtpHelloA(handle, "c", 0), 0) << "initialisations nest";
    SmtpUninitialize();
    EXPECT_TRUE(server.WaitForEnd(std::chrono::seconds(10)));
    EXPECT_EQ(SmtpHelloA(handle, "c", 0), -1);
    EXPECT_EQ(SmtpGetLastError(), 28003);
    ASSERT_NE(SmtpInitializeA(nullptr, nullptr), 0);  // for the fixture's release
    EXPECT_EQ(SmtpHelloA(handle, "c", 0), -1) << "the handle is gone for good";
    EXPECT_EQ(SmtpGetLastError(), kHandle);
}

}  // namespace
