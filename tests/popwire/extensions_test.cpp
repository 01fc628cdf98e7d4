// The extension commands against scripted servers: XSENDER with its From fallback, XTND XLST,
// XTND XMIT, and the clipboard forms without a desktop.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <optional>
#include <string>

#include "PopwireTest.h"
#include "support/TestDataDir.h"

namespace {

using namespace std::chrono_literals;
using namespace popwiretest;
using Step = ScriptedPopServer;

// The lines every scripted session below starts with.
const Lines kLoginLines{"USER user", "PASS pass", "STAT"};

Lines Concat(Lines first, const Lines& second) {
    first.insert(first.end(), second.begin(), second.end());
    return first;
}

Lines AfterLogin(const Lines& more) {
    return Concat(kLoginLines, more);
}

// A list answer of XTND XLST.
std::string Listed(const std::string& lines) {
    return "+OK header list follows\r\n" + lines + ".\r\n";
}

std::string Sender(HCLIENT client, int message) {
    char text[64] = "untouched";
    const int length = PopGetMessageSenderA(client, message, text, sizeof(text));
    return length < 0 ? "error " + std::to_string(LastError()) : std::string(text, length);
}

std::string HeaderValue(HCLIENT client, int message, const char* header) {
    char text[64] = "untouched";
    const int length = PopGetHeaderValueA(client, message, header, text, sizeof(text));
    return length < 0 ? "error " + std::to_string(LastError()) : std::string(text, length);
}

// A conversation after login, the calls made in it (message numbers) with what each gives,
// and every line the server must have received.
struct LookupCase {
    const char* label;
    Script exchange;
    std::vector<int> messages;
    std::vector<std::string> results;
    Lines sent;
};

class ExtensionTest : public PopwireTest {
protected:
    void RunLookups(const LookupCase& item, std::string (*lookup)(HCLIENT, int)) {
        SCOPED_TRACE(item.label);
        ScriptedPopServer server(Join(Greeting(), Login(2, 100), item.exchange));
        const HCLIENT client = ConnectAndLogin(server, 1);
        ASSERT_NE(client, INVALID_CLIENT) << LastError();
        for (std::size_t call = 0; call < item.messages.size(); ++call) {
            EXPECT_EQ(lookup(client, item.messages[call]), item.results[call]) << "call " << call;
        }
        // Closing without QUIT leaves the record with what the calls sent.
        PopUninitialize();
        ASSERT_EQ(PopInitializeA(nullptr, nullptr), 1);
        EXPECT_EQ(server.Received(), AfterLogin(item.sent));
    }
};

TEST_F(ExtensionTest, MessageSenderComesFromXsenderOrElseFromTheFromHeader) {
    const std::string refused = std::to_string(ERROR_POP_COMMAND);
    const LookupCase cases[] = {
        {"answered", Step::Answer("+OK  a@b \r\n"), {1}, {"a@b"}, {"XSENDER 1"}},
        {"refused, From with angle brackets",
         Join(Step::Answer("-ERR unknown\r\n"),
              Step::Answer(Listed("1 From: Ann (work) <a@b>\r\n"))),
         {1},
         {"a@b"},
         {"XSENDER 1", "XTND XLST From 1"}},
        {"refused, From in parentheses",
         Join(Step::Answer("-ERR unknown\r\n"), Step::Answer(Listed("1 From: x (a@b)\r\n"))),
         {1},
         {"a@b"},
         {"XSENDER 1", "XTND XLST From 1"}},
        {"refusal remembered: the second call goes straight to the header",
         Join(Step::Answer("-ERR unknown\r\n"), Step::Answer(Listed("1 From: <a@b>\r\n")),
              Step::Answer(Listed("2 From: c@d\r\n"))),
         {1, 2},
         {"a@b", "c@d"},
         {"XSENDER 1", "XTND XLST From 1", "XTND XLST From 2"}},
        {"both refused",
         Join(Step::Answer("-ERR unknown\r\n"), Step::Answer("-ERR unknown\r\n")),
         {1, 1},
         {"error " + refused, "error " + refused},
         {"XSENDER 1", "XTND XLST From 1"}},
    };
    for (const auto& item : cases) {
        RunLookups(item, [](HCLIENT client, int message) { return Sender(client, message); });
    }
}

TEST_F(ExtensionTest, HeaderValueIsTheLastListedValueAndARefusalIsRemembered) {
    const std::string refused = "error " + std::to_string(ERROR_POP_COMMAND);
    const LookupCase cases[] = {
        {"last value wins, white space trimmed",
         Step::Answer(Listed("1 Received: first\r\n1 Received: \t by second  \r\n")),
         {1},
         {"by second"},
         {"XTND XLST Received 1"}},
        {"lines without a colon are skipped",
         Step::Answer(Listed("noise\r\n1 Received: kept: all\r\nmore noise\r\n")),
         {1},
         {"kept: all"},
         {"XTND XLST Received 1"}},
        {"nothing listed", Step::Answer(Listed("")), {3}, {""}, {"XTND XLST Received 3"}},
        {"refused once, never asked again",
         Step::Answer("-ERR no such command\r\n"),
         {1, 2},
         {refused, refused},
         {"XTND XLST Received 1"}},
    };
    for (const auto& item : cases) {
        RunLookups(item, [](HCLIENT client, int message) {
            return HeaderValue(client, message, "Received");
        });
    }
    // The UTF-16 form gives the same value, cut to its buffer.
    RunLookups(cases[0], [](HCLIENT client, int message) {
        char16_t text[16];
        const int length = PopGetHeaderValueW(client, message, u"Received", text, 16);
        return length < 0 ? "error" : std::string(text, text + length);
    });
    LookupCase cut = cases[0];
    cut.results = {"by s"};
    RunLookups(cut, [](HCLIENT client, int message) {
        char16_t text[5];
        const int length = PopGetHeaderValueW(client, message, u"Received", text, 5);
        return length < 0 ? "error" : std::string(text, text + length);
    });
}

TEST_F(PopwireTest, ExtensionsLeaveTheSessionUsableUnlessTheyTimeOut) {
    {
        SCOPED_TRACE("refused lookups");
        ScriptedPopServer server(Join(Greeting(), Login(1, 10), Step::Answer("-ERR\r\n"),
                                      Step::Answer("-ERR\r\n"), Step::Answer("+OK\r\n")));
        const HCLIENT client = ConnectAndLogin(server);
        EXPECT_EQ(HeaderValue(client, 1, "Subject"), "error " + std::to_string(ERROR_POP_COMMAND));
        EXPECT_EQ(Sender(client, 1), "error " + std::to_string(ERROR_POP_COMMAND));
        EXPECT_EQ(PopCommandA(client, "NOOP", nullptr), 1) << LastError();
    }
    {
        SCOPED_TRACE("an unterminated list");
        ScriptedPopServer server(Join(Greeting(), Login(1, 10),
                                      Step::Answer("+OK\r\n1 Subject: hi\r\n"), Step::Pause(5s)));
        const HCLIENT client = ConnectAndLogin(server, 1);
        const auto started = std::chrono::steady_clock::now();
        EXPECT_EQ(HeaderValue(client, 1, "Subject"), "error " + std::to_string(ERROR_POP_TIMEOUT));
        EXPECT_LT(std::chrono::steady_clock::now() - started, 3s);
        EXPECT_EQ(PopCommandA(client, "NOOP", nullptr), 0);
        EXPECT_EQ(LastError(), Code(ERROR_POP_TIMEOUT)) << "broken until closed";
    }
}

// A file holding a message to send, and how the server takes it.
struct TransmitCase {
    const char* label;
    Script exchange;
    int result;
    std::uint32_t error;
    Lines sent;
};

TEST_F(PopwireTest, SendMessageTransmitsTheFileAfterXtndXmit) {
    moxeltest::TempDir folder;
    const std::string file = (folder.Path() / "message.eml").string();
    // Longer than one 512-byte piece, so that pieces are joined in order.
    const std::string body(700, 'b');
    std::ofstream(file, std::ios::binary) << "Subject: hi\r\n\r\n" << body << "\r\n";
    const Script takeMessage = {Step::Expect(), Step::Expect(), Step::Expect(), Step::Expect(),
                                Step::Expect()};
    const Lines message{"XTND XMIT", "Subject: hi", "", body, "", "."};
    const TransmitCase cases[] = {
        {"accepted",
         Join(Step::Answer("+OK send it\r\n"), takeMessage, Step::Send("+OK sent\r\n"),
              Step::Answer("+OK\r\n")),
         0, 0, Concat(message, {"NOOP"})},
        {"XTND XMIT refused: nothing more is sent",
         Join(Step::Answer("-ERR no\r\n"), Step::Answer("+OK\r\n")),
         POP_ERROR,
         ERROR_POP_SENDFILE,
         {"XTND XMIT", "NOOP"}},
        {"message refused after it was sent",
         Join(Step::Answer("+OK send it\r\n"), takeMessage, Step::Send("-ERR too big\r\n"),
              Step::Answer("+OK\r\n")),
         POP_ERROR, ERROR_POP_SENDFILE, Concat(message, {"NOOP"})},
    };
    for (const auto& item : cases) {
        SCOPED_TRACE(item.label);
        ScriptedPopServer server(
            Join(Greeting(), Login(1, 10), item.exchange, Step::Answer("+OK bye\r\n")));
        const HCLIENT client = ConnectAndLogin(server);
        EXPECT_EQ(PopSendMessageA(client, file.c_str()), item.result);
        EXPECT_EQ(LastError(), item.error);
        EXPECT_EQ(PopCommandA(client, "NOOP", nullptr), 1) << "the session goes on";
        PopDisconnect(client);
        Lines sent = server.Received();
        sent.resize(std::min(sent.size(), kLoginLines.size() + item.sent.size()));
        EXPECT_EQ(sent, AfterLogin(item.sent));
    }
}

// Hides a variable of the environment for a scope.
class WithoutVariable {
public:
    explicit WithoutVariable(const char* variable) : name(variable) {
        if (const char* value = std::getenv(name)) {
            saved = value;
        }
        ::unsetenv(name);
    }
    ~WithoutVariable() {
        if (saved) {
            ::setenv(name, saved->c_str(), 1);
        }
    }

private:
    const char* name;
    std::optional<std::string> saved;
};

TEST_F(PopwireTest, NoRegularFileOrNoDesktopClipboardFailsBeforeAnythingIsSent) {
    const WithoutVariable noX("DISPLAY");
    const WithoutVariable noWayland("WAYLAND_DISPLAY");
    moxeltest::TempDir folder;
    ScriptedPopServer server(Join(Greeting(), Login(1, 10)));
    const HCLIENT client = ConnectAndLogin(server);
    const std::string missing = (folder.Path() / "missing.eml").string();
    const std::string directory = folder.Path().string();
    const struct {
        const char* label;
        std::function<int()> call;
        std::uint32_t error;
    } cases[] = {
        {"missing file", [&] { return PopSendMessageA(client, missing.c_str()); },
         ERROR_POP_SENDFILE},
        {"a folder", [&] { return PopSendMessageA(client, directory.c_str()); },
         ERROR_POP_SENDFILE},
        {"send from the clipboard", [&] { return PopSendMessageA(client, nullptr); },
         ERROR_POP_CLIPBOARD},
        {"send from the clipboard, W", [&] { return PopSendMessageW(client, u""); },
         ERROR_POP_CLIPBOARD},
        {"store onto the clipboard", [&] { return PopStoreMessageA(client, 1, nullptr); },
         ERROR_POP_CLIPBOARD},
        {"store onto the clipboard, W", [&] { return PopStoreMessageW(client, 1, u""); },
         ERROR_POP_CLIPBOARD},
    };
    for (const auto& item : cases) {
        SCOPED_TRACE(item.label);
        PopSetLastError(0);
        EXPECT_EQ(item.call(), POP_ERROR);
        EXPECT_EQ(LastError(), item.error);
    }
    PopUninitialize();
    ASSERT_EQ(PopInitializeA(nullptr, nullptr), 1);
    EXPECT_EQ(server.Received(), kLoginLines) << "nothing was sent";
}

}  // namespace
