// Sessions against a real Dovecot server: logins, counts, identifiers, retrieval, deletion and
// reset, over plain POP3, STLS and POP3S.
#include <gtest/gtest.h>

#include <cstdlib>
#include <set>
#include <string>

#include "PopwireTest.h"
#include "peers/DovecotServer.h"

namespace {

using moxeltest::DovecotServer;
using namespace popwiretest;

// How the client reaches Dovecot.
enum class Transport { Plain, Stls, Pop3s };

std::string Name(Transport transport) {
    switch (transport) {
        case Transport::Plain:
            return "Plain";
        case Transport::Stls:
            return "Stls";
        case Transport::Pop3s:
            return "Pop3s";
    }
    return "?";
}

// Message `index` of the test mailbox: some with lines that start with dots, some with 8-bit
// bytes, all with LF line ends as stored (Dovecot sends CR LF).
std::string StoredMessage(int index) {
    std::string text = "From: sender" + std::to_string(index) + "@example.test\n" +
                       "To: tester@example.test\n" + "Subject: message " + std::to_string(index) +
                       "\n\n";
    if (index % 5 == 0) {
        text += ".starts with a dot\n..two dots\n.\n";
    }
    if (index % 7 == 0) {
        text += "caf\xE9 na\xEFve \xFF\x80\n";
    }
    text += "line of message " + std::to_string(index) + "\n";
    return text;
}

// The same text as the client must hand it out: CR LF line ends, every byte kept.
std::string Delivered(const std::string& stored) {
    std::string text;
    for (const char c : stored) {
        if (c == '\n') {
            text += '\r';
        }
        text += c;
    }
    return text;
}

class DovecotSessionTest : public PopwireTest, public ::testing::WithParamInterface<Transport> {
protected:
    void SetUp() override {
        // The fixture's certificate is self-signed; trusting it here keeps the status VALID.
        server.Start();
        ::setenv("SSL_CERT_FILE", server.CertificateFile().c_str(), 1);
        PopwireTest::SetUp();
    }

    HCLIENT ConnectToServer() {
        switch (GetParam()) {
            case Transport::Plain:
                return PopConnectA("127.0.0.1", server.Pop3Port(), 10);
            case Transport::Stls:
                return PopConnectExA("localhost", server.Pop3Port(), 10, POP_OPTION_SECURE);
            case Transport::Pop3s:
                return PopConnectExA("localhost", server.Pop3sPort(), 10,
                                     POP_OPTION_SECURE | POP_OPTION_SECURE_NOEXT);
        }
        return INVALID_CLIENT;
    }

    HCLIENT LoggedIn() {
        const HCLIENT client = ConnectToServer();
        EXPECT_NE(client, INVALID_CLIENT) << PopGetLastError() << "\n" << server.Log();
        if (client != INVALID_CLIENT) {
            EXPECT_EQ(PopLoginA(client, "tester", "secret"), 0) << PopGetLastError();
        }
        return client;
    }

    DovecotServer server;
};

TEST_P(DovecotSessionTest, UserAndPassLoginCountsTheMailbox) {
    server.AddMessage("tester", StoredMessage(1));
    server.AddMessage("tester", StoredMessage(2));
    const HCLIENT client = LoggedIn();
    ASSERT_NE(client, INVALID_CLIENT);
    EXPECT_EQ(PopGetMessageCount(client), 2);
    std::uint32_t last = 0;
    std::uint32_t octets = 0;
    EXPECT_EQ(PopGetMessageCountEx(client, &last, &octets), 2);
    EXPECT_EQ(last, 2U);
    EXPECT_EQ(octets, Delivered(StoredMessage(1)).size() + Delivered(StoredMessage(2)).size());
    EXPECT_EQ(PopLoginA(client, "tester", "secret"), POP_ERROR);
    EXPECT_EQ(PopGetLastError(), Code(ERROR_POP_AUTHENTICATED));
    EXPECT_EQ(PopDisconnect(client), 0);
}

TEST_P(DovecotSessionTest, WrongPasswordFailsAuthentication) {
    const HCLIENT client = ConnectToServer();
    ASSERT_NE(client, INVALID_CLIENT) << PopGetLastError();
    EXPECT_EQ(PopLoginA(client, "tester", "wrong"), POP_ERROR);
    EXPECT_EQ(PopGetLastError(), Code(ERROR_POP_AUTHFAIL));
    EXPECT_EQ(PopGetMessageCount(client), POP_ERROR);
    EXPECT_EQ(PopGetLastError(), Code(ERROR_POP_NOLOGIN));
    // The session stays usable: the right password works afterwards.
    EXPECT_EQ(PopLoginA(client, "tester", "secret"), 0) << PopGetLastError();
    EXPECT_EQ(PopDisconnect(client), 0);
}

TEST_P(DovecotSessionTest, ApopLoginWorksAndAWrongDigestFails) {
    server.AddMessage("tester", StoredMessage(1));
    const HCLIENT refused = ConnectToServer();
    ASSERT_NE(refused, INVALID_CLIENT) << PopGetLastError();
    EXPECT_EQ(PopLoginExA(refused, POP_AUTH_APOP, "tester", "wrong"), POP_ERROR);
    EXPECT_EQ(PopGetLastError(), Code(ERROR_POP_AUTHFAIL));
    PopDisconnect(refused);

    const HCLIENT client = ConnectToServer();
    ASSERT_NE(client, INVALID_CLIENT) << PopGetLastError();
    EXPECT_EQ(PopLoginExA(client, POP_AUTH_APOP, "tester", "secret"), 0) << PopGetLastError();
    EXPECT_EQ(PopGetMessageCount(client), 1);
    EXPECT_EQ(PopDisconnect(client), 0);
}

TEST_P(DovecotSessionTest, FiftyMessagesAreListedRetrievedDeletedAndReset) {
    constexpr int kMessages = 50;
    for (int index = 1; index <= kMessages; ++index) {
        server.AddMessage("tester", StoredMessage(index));
    }
    const HCLIENT client = LoggedIn();
    ASSERT_NE(client, INVALID_CLIENT);
    ASSERT_EQ(PopGetMessageCount(client), kMessages);
    ASSERT_EQ(PopSetLineMode(client, POP_MODE_BINARY), 0);
    std::set<std::string> identifiers;
    for (int number = 1; number <= kMessages; ++number) {
        SCOPED_TRACE(number);
        char id[128];
        const int idLength = PopGetMessageIdA(client, number, id, sizeof(id));
        ASSERT_GT(idLength, 0) << PopGetLastError();
        identifiers.insert(std::string(id, static_cast<std::size_t>(idLength)));
        std::uint32_t size = 0;
        ASSERT_EQ(PopGetMessage(client, number, &size), 0) << PopGetLastError();
        const std::string expected = Delivered(StoredMessage(number));
        EXPECT_EQ(size, expected.size());
        const auto read = ReadToEnd(client, 100);
        EXPECT_EQ(read.last, 0) << read.error;
        EXPECT_EQ(read.text, expected);
        std::uint32_t listed = 0;
        EXPECT_EQ(PopGetMessageBytesCopied(client, &listed), static_cast<int>(expected.size()));
        EXPECT_EQ(listed, expected.size());
    }
    EXPECT_EQ(identifiers.size(), static_cast<std::size_t>(kMessages)) << "identifiers are unique";

    for (const int number : {3, 10, 49}) {
        EXPECT_EQ(PopDeleteMessage(client, number), 0) << PopGetLastError();
    }
    EXPECT_EQ(PopGetMessageCount(client), kMessages - 3);
    EXPECT_EQ(PopGetMessage(client, 10, nullptr), POP_ERROR) << "deleted";
    EXPECT_EQ(PopGetLastError(), Code(ERROR_POP_MESGID));
    EXPECT_EQ(PopReset(client), 1);
    EXPECT_EQ(PopGetMessageCount(client), kMessages);
    ASSERT_EQ(PopGetMessage(client, 10, nullptr), 0) << "back after the reset";
    EXPECT_EQ(ReadToEnd(client).text, Delivered(StoredMessage(10)));

    for (int number = 1; number <= 20; ++number) {
        ASSERT_EQ(PopDeleteMessage(client, number), 0) << number << ": " << PopGetLastError();
    }
    EXPECT_EQ(PopDisconnect(client), 0);
    EXPECT_EQ(server.MessageCount("tester"), kMessages - 20) << "QUIT made the deletions final";
}

TEST_P(DovecotSessionTest, TextModeCutsBytesToSevenBitsAndHeadersComeAlone) {
    server.AddMessage("tester", StoredMessage(7));
    const HCLIENT client = LoggedIn();
    ASSERT_NE(client, INVALID_CLIENT);
    ASSERT_EQ(PopGetMessage(client, 1, nullptr), 0) << PopGetLastError();
    const std::string text = ReadToEnd(client).text;
    EXPECT_NE(text.find(std::string("cafi naove \x7F\0\r\n", 15)), std::string::npos) << text;
    for (const char c : text) {
        EXPECT_EQ(static_cast<unsigned char>(c) & 0x80, 0);
    }
    ASSERT_EQ(PopGetMessageHeader(client, 1, nullptr), 0) << PopGetLastError();
    EXPECT_EQ(
        ReadToEnd(client).text,
        "From: sender7@example.test\r\nTo: tester@example.test\r\nSubject: message 7\r\n\r\n");
    EXPECT_EQ(PopDisconnect(client), 0);
}

// Messages whose lines begin with what stuffing, line ends and the terminator are made of: a
// dot on the very first line (which Dovecot, unlike RFC 1939, sends unstuffed), and bytes with
// the top bit set that 7 bits would turn into them.
struct LineStartCase {
    const char* label;
    std::string stored;
    std::uint32_t mode;
    std::string delivered;
};

TEST_P(DovecotSessionTest, DotsAndTopBitBytesAtLineStartsArriveAsStored) {
    const std::string dots = ".first line\n..second\n.\nlast\n";
    const LineStartCase cases[] = {
        {"a dot opens the first line", dots, POP_MODE_BINARY, Delivered(dots)},
        {"the same in 7-bit text mode", dots, POP_MODE_TEXT, Delivered(dots)},
        {"0xAE, 0x8D 0x8A at line starts in 7-bit text mode",
         "\xAE"
         "first\n\xAE\x8D\x8A\nafter\n",
         POP_MODE_TEXT, ".first\r\n.\r\n\r\nafter\r\n"},
    };
    for (const auto& item : cases) {
        server.AddMessage("tester", item.stored);
    }
    const HCLIENT client = LoggedIn();
    ASSERT_NE(client, INVALID_CLIENT);
    int number = 0;
    for (const auto& item : cases) {
        SCOPED_TRACE(item.label);
        ASSERT_EQ(PopSetLineMode(client, item.mode), 0);
        ASSERT_EQ(PopGetMessage(client, ++number, nullptr), 0) << PopGetLastError();
        const auto read = ReadToEnd(client, 5);
        EXPECT_EQ(read.last, 0) << read.error;
        EXPECT_EQ(read.text, item.delivered);
    }
    EXPECT_EQ(PopDisconnect(client), 0);
}

TEST_P(DovecotSessionTest, SecurityInformationDescribesTheTransport) {
    const HCLIENT client = ConnectToServer();
    ASSERT_NE(client, INVALID_CLIENT) << PopGetLastError();
    SECURITYINFO info{};
    info.dwSize = sizeof(info);
    ASSERT_EQ(PopGetSecurityInformationA(client, &info), 0);
    if (GetParam() == Transport::Plain) {
        EXPECT_EQ(info.dwProtocol, Code(SECURITY_PROTOCOL_NONE));
        EXPECT_EQ(info.dwCertStatus, Code(SECURITY_CERTIFICATE_NONE));
        EXPECT_EQ(info.lpszCertSubject, nullptr);
    } else {
        EXPECT_EQ(info.dwProtocol, Code(SECURITY_PROTOCOL_TLS1));
        EXPECT_EQ(info.dwCertStatus, Code(SECURITY_CERTIFICATE_VALID));
        EXPECT_GE(info.dwCipherStrength, 128U);
        EXPECT_EQ(info.dwHash, Code(SECURITY_HASH_SHA));
        EXPECT_EQ(info.dwKeyExchange, Code(SECURITY_KEYEX_DH));
        ASSERT_NE(info.lpszCertSubject, nullptr);
        EXPECT_NE(std::string(info.lpszCertSubject).find("CN=localhost"), std::string::npos);
    }
    EXPECT_EQ(PopDisconnect(client), 0);
}

INSTANTIATE_TEST_SUITE_P(Transports, DovecotSessionTest,
                         ::testing::Values(Transport::Plain, Transport::Stls, Transport::Pop3s),
                         [](const auto& tested) { return Name(tested.param); });

}  // namespace
