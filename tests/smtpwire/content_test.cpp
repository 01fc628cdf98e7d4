// The message content as the server receives it, byte for byte, from the pieces the program
// writes.
#include <string>
#include <vector>

#include "SmtpwireTest.h"

namespace {

using namespace smtpwiretest;

struct ContentCase {
    const char* label;
    std::vector<std::string> pieces;  // each written with one SmtpWrite
    std::string wire;                 // what the server receives between DATA and its end
};

// The 1 MB body: lines of 64 bytes, so that every 256-byte piece begins a line; every fourth
// line, and so every piece, begins with a dot.
ContentCase LargeBody() {
    ContentCase item{"1 MB of body, a dot as the first byte of every piece", {}, {}};
    std::string text;
    for (int line = 0; text.size() < 1024 * 1024; ++line) {
        std::string body = std::to_string(line);
        body.resize(63, line % 4 == 0 ? 'd' : 'x');
        if (line % 4 == 0) {
            body[0] = '.';
        }
        text += body + "\n";
        item.wire += (line % 4 == 0 ? "." : "") + body + "\r\n";
    }
    for (std::size_t start = 0; start < text.size(); start += 256) {
        item.pieces.push_back(text.substr(start, 256));
    }
    item.wire += ".\r\n";
    return item;
}

TEST_F(SmtpwireTest, TheServerReceivesExactlyTheTextWithCrLfAndStuffedDots) {
    const ContentCase cases[] = {
        {"lone dot lines", {".\nmiddle\n.\n"}, "..\r\nmiddle\r\n..\r\n.\r\n"},
        {"lines starting with two dots", {"..x\n...\n"}, "...x\r\n....\r\n.\r\n"},
        {"a dot as the first byte of a piece", {"abc\n", ".def\n"}, "abc\r\n..def\r\n.\r\n"},
        {"a dot first in a piece but inside a line", {"abc", ".def\n"}, "abc.def\r\n.\r\n"},
        {"last line without line feed", {"Subject: s\n\nlast"}, "Subject: s\r\n\r\nlast\r\n.\r\n"},
        {"CR LF already inside the text", {"a\r\nb\r\n"}, "a\r\nb\r\n.\r\n"},
        {"CR LF split between two pieces", {"a\r", "\nb\n"}, "a\r\nb\r\n.\r\n"},
        {"bare CR", {"a\rb\n"}, "a\r\nb\r\n.\r\n"},
        {"bare CR at the very end", {"a\r"}, "a\r\n.\r\n"},
        {"8-bit UTF-8",
         {"Gr\xC3\xBC\xC3\x9F"
          "e \xE2\x82\xAC\n"},
         "Gr\xC3\xBC\xC3\x9F"
         "e \xE2\x82\xAC\r\n.\r\n"},
        {"nothing written", {}, ".\r\n"},
        LargeBody(),
    };
    for (const auto& item : cases) {
        SCOPED_TRACE(item.label);
        ScriptedSmtpServer server(Join(
            Greeting(), Ehlo({"8BITMIME", "SIZE 0"}), Ok(), Ok(), Step::Answer("354 go\r\n"),
            Script{Step::ExpectData(), Step::Send("250 queued\r\n")}, Step::Answer("221 bye\r\n")));
        const int handle = SmtpConnectA("127.0.0.1", server.Port(), 10);
        ASSERT_NE(handle, -1);
        ASSERT_EQ(SmtpHelloA(handle, "c", 0), 0);
        ASSERT_EQ(SmtpSetSenderA(handle, "a@b"), 0);
        ASSERT_EQ(SmtpAddRecipientA(handle, "c@d"), 0);
        for (const auto& piece : item.pieces) {
            ASSERT_EQ(SmtpWrite(handle, piece.data(), static_cast<int>(piece.size())),
                      static_cast<int>(piece.size()));
        }
        ASSERT_EQ(SmtpEndMessage(handle), 0) << ErrorText(SmtpGetLastError());
        EXPECT_EQ(SmtpDisconnect(handle), 0);
        const std::string expected =
            "EHLO c\r\nMAIL FROM:<a@b> BODY=8BITMIME\r\nRCPT TO:<c@d>\r\n"
            "DATA\r\n" +
            item.wire + "QUIT\r\n";
        const std::string received = server.Transcript();
        EXPECT_EQ(received.size(), expected.size());
        EXPECT_TRUE(received == expected) << received.substr(0, 400);
    }
}

}  // namespace
