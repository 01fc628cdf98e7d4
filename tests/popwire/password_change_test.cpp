// The password change over poppass against a scripted poppass server: every reply rule, the
// transport failures, and arguments refused before anything is connected.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <string>

#include "PopwireTest.h"
#include "support/LoopbackSockets.h"

namespace {

using namespace std::chrono_literals;
using namespace popwiretest;
using Step = ScriptedPopServer;

// Points the library's poppass service at a port of the test for a scope.
class PoppassPort {
public:
    explicit PoppassPort(std::uint16_t port) {
        ::setenv("MOXEL_POPPASS_PORT", std::to_string(port).c_str(), 1);
    }
    ~PoppassPort() { ::unsetenv("MOXEL_POPPASS_PORT"); }
};

// A poppass conversation and its outcome.
struct PoppassCase {
    const char* label;
    Script script;
    int result;
    std::uint32_t error;
    Lines sent;
};

const Lines kAllSent{"USER ann", "PASS old", "NEWPASS new"};

TEST_F(PopwireTest, PasswordChangeFollowsEveryReplyRule) {
    const std::string longLine = "200 " + std::string(600, 'x') + "\r\n";
    const PoppassCase cases[] = {
        {"3xx to the user: no line skipped",
         Join(Step::Send("200 poppassd\r\n"), Step::Answer("300 your password\r\n"),
              Step::Answer("200 ok\r\n"), Step::Answer("200 changed\r\n")),
         1, 0, kAllSent},
        {"2xx to the user: the next line is skipped",
         Join(Step::Send("200 poppassd\r\n"), Step::Answer("299 hello\r\n500 skipped\r\n"),
              Step::Answer("299 ok\r\n"), Step::Answer("200 changed\r\n")),
         1, 0, kAllSent},
        {"399 to the user is accepted",
         Join(Step::Send("  299 poppassd\r\n"), Step::Answer("399 go on\r\n"),
              Step::Answer("200 ok\r\n"), Step::Answer("200 changed\r\n")),
         1, 0, kAllSent},
        {"a 600-byte greeting is one line",
         Join(Step::Send(longLine), Step::Answer("300 your password\r\n"),
              Step::Answer("200 ok\r\n"), Step::Answer("200 changed\r\n")),
         1, 0, kAllSent},
        {"bad greeting", {Step::Send("500 go away\r\n")}, 0, ERROR_POP_CHANGEPASS, {}},
        {"greeting without a code", {Step::Send("hello\r\n")}, 0, ERROR_POP_CHANGEPASS, {}},
        {"400 to the user",
         Join(Step::Send("200 poppassd\r\n"), Step::Answer("400 who?\r\n")),
         0,
         ERROR_POP_CHANGEPASS,
         {"USER ann"}},
        {"199 to the user",
         Join(Step::Send("200 poppassd\r\n"), Step::Answer("199 who?\r\n")),
         0,
         ERROR_POP_CHANGEPASS,
         {"USER ann"}},
        {"PASS refused",
         Join(Step::Send("200 poppassd\r\n"), Step::Answer("300 your password\r\n"),
              Step::Answer("300 wrong\r\n")),
         0,
         ERROR_POP_CHANGEPASS,
         {"USER ann", "PASS old"}},
        {"NEWPASS refused",
         Join(Step::Send("200 poppassd\r\n"), Step::Answer("300 your password\r\n"),
              Step::Answer("200 ok\r\n"), Step::Answer("500 too short\r\n")),
         0, ERROR_POP_CHANGEPASS, kAllSent},
        {"closed after PASS",
         Join(Step::Send("200 poppassd\r\n"), Step::Answer("300 your password\r\n"), Step::Expect(),
              Step::Close()),
         0,
         ERROR_POP_CLOSED,
         {"USER ann", "PASS old"}},
        {"silent", {Step::Pause(5s)}, 0, ERROR_POP_TIMEOUT, {}},
        {"silent after the user's 2xx answer",
         Join(Step::Send("200 poppassd\r\n"), Step::Answer("200 hello\r\n"), Step::Pause(5s)),
         0,
         ERROR_POP_TIMEOUT,
         {"USER ann"}},
    };
    for (const auto& item : cases) {
        SCOPED_TRACE(item.label);
        ScriptedPopServer pop(Join(Greeting(), Step::Answer("+OK bye\r\n")));
        ScriptedPopServer poppass(item.script);
        const PoppassPort port(poppass.Port());
        const HCLIENT client = Connect(pop, 1);
        ASSERT_NE(client, INVALID_CLIENT) << LastError();
        const auto started = std::chrono::steady_clock::now();
        EXPECT_EQ(PopChangePasswordA(client, "ann", "old", "new"), item.result);
        EXPECT_EQ(LastError(), item.error);
        EXPECT_LT(std::chrono::steady_clock::now() - started, 3s) << "each reply within 1 s";
        EXPECT_EQ(poppass.Received(), item.sent);
        PopDisconnect(client);
    }
}

TEST_F(PopwireTest, PasswordChangeArgumentsAreCheckedBeforeConnecting) {
    std::uint16_t port = 0;
    const moxeltest::Descriptor listener = moxeltest::ListenOnLoopback(port);
    const PoppassPort poppass(port);
    ScriptedPopServer pop(Join(Greeting(), Step::Answer("+OK bye\r\n")));
    const HCLIENT client = Connect(pop);
    ASSERT_NE(client, INVALID_CLIENT) << LastError();
    const struct {
        const char* label;
        const char* user;
        const char* oldPassword;
        const char* newPassword;
    } cases[] = {
        {"no user", nullptr, "old", "new"},         {"empty user", "", "old", "new"},
        {"no old password", "ann", nullptr, "new"}, {"empty new password", "ann", "old", ""},
        {"old equals new", "ann", "same", "same"},  {"line end in the user", "ann\r\nX", "a", "b"},
    };
    for (const auto& item : cases) {
        SCOPED_TRACE(item.label);
        EXPECT_EQ(PopChangePasswordA(client, item.user, item.oldPassword, item.newPassword), 0);
        EXPECT_EQ(LastError(), Code(ERROR_POP_PARAMETER));
    }
    EXPECT_EQ(PopChangePasswordW(client, u"ann", u"same", u"same"), 0);
    EXPECT_EQ(LastError(), Code(ERROR_POP_PARAMETER));
    EXPECT_LT(moxeltest::AcceptWithin(listener, 100ms).Get(), 0) << "nothing connected";
    PopDisconnect(client);
}

}  // namespace
