// STARTTLS and TLS from the first byte, with the test certificate trusted through SSL_CERT_FILE,
// and the certificates the client must refuse.
#include <cstdlib>
#include <memory>

#include "SmtpwireTest.h"
#include "peers/TestCertificate.h"
#include "support/TestDataDir.h"

namespace {

using namespace std::chrono_literals;
using namespace smtpwiretest;
using moxeltest::CertificateProfile;

class SmtpwireTlsTest : public SmtpwireTest {
protected:
    // Writes the server's certificate; trusted by the client when `trusted`.
    void MakeCertificate(const CertificateProfile& profile, bool trusted) {
        moxeltest::WriteSelfSignedCertificate(profile, certificate(), key());
        if (trusted) {
            ::setenv("SSL_CERT_FILE", certificate().c_str(), 1);
        } else {
            ::setenv("SSL_CERT_FILE", (folder.Path() / "none.pem").c_str(), 1);
        }
    }
    void TearDown() override {
        ::unsetenv("SSL_CERT_FILE");
        SmtpwireTest::TearDown();
    }
    std::filesystem::path certificate() const { return folder.Path() / "server.pem"; }
    std::filesystem::path key() const { return folder.Path() / "server.key"; }

    moxeltest::TempDir folder;
};

Script AfterTls() {
    return Join(
        Ehlo({"AUTH PLAIN"}), Step::Answer("235 ok\r\n"), Ok(), Ok(), Step::Answer("354 go\r\n"),
        Script{Step::ExpectData(), Step::Send("250 queued\r\n")}, Step::Answer("221 bye\r\n"));
}

// A letter with a login, over TLS; the transcript is what the server read after decryption.
void SendLetter(std::uint16_t port) {
    const int handle = SmtpConnectA("localhost", port, 5);
    ASSERT_NE(handle, -1) << ErrorText(SmtpGetLastError());
    ASSERT_EQ(SmtpHelloA(handle, "c", 1), 0) << ErrorText(SmtpGetLastError());
    ASSERT_EQ(SmtpAuthenticateA(handle, "user", "pass"), 0);
    ASSERT_EQ(SmtpSetSenderA(handle, "a@b"), 0);
    ASSERT_EQ(SmtpAddRecipientA(handle, "c@d"), 0);
    ASSERT_EQ(SmtpWrite(handle, "secret\n", 7), 7);
    ASSERT_EQ(SmtpEndMessage(handle), 0);
    EXPECT_EQ(SmtpDisconnect(handle), 0);
}

TEST_F(SmtpwireTlsTest, StartTlsWheneverOfferedThenEhloAgain) {
    MakeCertificate({}, true);
    ScriptedSmtpServer server(Join(Greeting(), Ehlo({"STARTTLS"}), Step::Answer("220 go\r\n"),
                                   Script{Step::StartTls()}, AfterTls()),
                              certificate(), key());
    SendLetter(server.Port());
    EXPECT_EQ(server.Transcript(),
              "EHLO c\r\nSTARTTLS\r\nEHLO c\r\nAUTH PLAIN AHVzZXIAcGFzcw==\r\nMAIL FROM:<a@b>\r\n"
              "RCPT TO:<c@d>\r\nDATA\r\nsecret\r\n.\r\nQUIT\r\n");
}

TEST_F(SmtpwireTlsTest, Port465SpeaksTlsFromTheFirstByte) {
    MakeCertificate({}, true);
    std::unique_ptr<ScriptedSmtpServer> server;
    try {
        server = std::make_unique<ScriptedSmtpServer>(
            Join(Script{Step::StartTls()}, Greeting(), AfterTls()), certificate(), key(), 465);
    } catch (const std::runtime_error&) {
        GTEST_SKIP() << "port 465 cannot be opened by this user";
    }
    SendLetter(server->Port());
    EXPECT_EQ(server->Transcript(),
              "EHLO c\r\nAUTH PLAIN AHVzZXIAcGFzcw==\r\nMAIL FROM:<a@b>\r\nRCPT TO:<c@d>\r\n"
              "DATA\r\nsecret\r\n.\r\nQUIT\r\n");
}

struct RefusedCase {
    const char* label;
    CertificateProfile profile;
    bool trusted;
    const char* host;
};

TEST_F(SmtpwireTlsTest, ARefusedCertificateEndsTheSessionBeforeAnythingIsSent) {
    const RefusedCase cases[] = {
        {"not signed by a trusted authority", {}, false, "localhost"},
        {"issued for another name", {"mail.example.test", -24h, 24h * 30}, true, "localhost"},
        {"expired", {"localhost", -24h * 30, -24h}, true, "localhost"},
    };
    for (const auto& item : cases) {
        SCOPED_TRACE(item.label);
        MakeCertificate(item.profile, item.trusted);
        ScriptedSmtpServer server(Join(Greeting(), Ehlo({"STARTTLS"}), Step::Answer("220 go\r\n"),
                                       Script{Step::StartTls()}, AfterTls()),
                                  certificate(), key());
        const int handle = SmtpConnectA(item.host, server.Port(), 5);
        ASSERT_NE(handle, -1);
        EXPECT_EQ(SmtpHelloA(handle, "c", 1), -1);
        EXPECT_EQ(SmtpGetLastError(), kCertificate) << ErrorText(SmtpGetLastError());
        EXPECT_EQ(SmtpAuthenticateA(handle, "user", "pass"), -1);
        EXPECT_EQ(SmtpGetLastError(), kBroken);
        EXPECT_EQ(SmtpDisconnect(handle), 0);
        EXPECT_EQ(server.Transcript(), "EHLO c\r\nSTARTTLS\r\n");
    }
}

}  // namespace
