// TLS: the certificate check reported through the session's security information, and the
// failures of STLS and of TLS from the first byte.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <ctime>
#include <string>

#include "PopwireTest.h"
#include "peers/DovecotServer.h"

namespace {

using namespace std::chrono_literals;
using moxeltest::CertificateProfile;
using moxeltest::DovecotServer;
using namespace popwiretest;
using Step = ScriptedPopServer;

int CurrentYear() {
    const std::time_t now = std::time(nullptr);
    std::tm parts{};
    gmtime_r(&now, &parts);
    return parts.tm_year + 1900;
}

DovecotServer::Options WithCertificate(CertificateProfile certificate) {
    DovecotServer::Options options;
    options.certificate = std::move(certificate);
    return options;
}

SECURITYINFO SecurityOf(HCLIENT client) {
    SECURITYINFO info{};
    info.dwSize = sizeof(info);
    EXPECT_EQ(PopGetSecurityInformationA(client, &info), 0) << LastError();
    return info;
}

TEST_F(PopwireTest, AnUntrustedCertificateIsAcceptedAndReportedAsUntrusted) {
    ::unsetenv("SSL_CERT_FILE");
    DovecotServer server;
    server.AddMessage("tester", "Subject: over TLS\n\nhello\n");
    server.Start();
    for (const bool tlsFirst : {false, true}) {
        SCOPED_TRACE(tlsFirst ? "TLS from the first byte" : "STLS");
        const HCLIENT client =
            tlsFirst ? PopConnectExA("localhost", server.Pop3sPort(), 10, POP_OPTION_SECURE_NOEXT)
                     : PopConnectExA("localhost", server.Pop3Port(), 10, POP_OPTION_SECURE);
        ASSERT_NE(client, INVALID_CLIENT) << LastError() << server.Log();
        const SECURITYINFO info = SecurityOf(client);
        EXPECT_EQ(info.dwCertStatus, Code(SECURITY_CERTIFICATE_UNTRUSTED));
        EXPECT_EQ(info.dwProtocol, Code(SECURITY_PROTOCOL_TLS1));
        ASSERT_NE(info.lpszCertSubject, nullptr);
        ASSERT_NE(info.lpszCertIssuer, nullptr);
        EXPECT_STREQ(info.lpszCertSubject, "CN=localhost,O=Moxel Test Peers");
        EXPECT_STREQ(info.lpszCertIssuer, info.lpszCertSubject) << "self-signed";
        EXPECT_GE(info.stCertIssued.wYear, CurrentYear() - 1);
        EXPECT_GE(info.stCertExpires.wYear, CurrentYear());
        EXPECT_GE(info.stCertExpires.wMonth, 1);
        EXPECT_LE(info.stCertExpires.wMonth, 12);
        EXPECT_LE(info.stCertExpires.wDayOfWeek, 6);

        SECURITYINFOW wide{};
        wide.dwSize = sizeof(wide);
        ASSERT_EQ(PopGetSecurityInformationW(client, &wide), 0);
        EXPECT_EQ(std::u16string(wide.lpszCertSubject), u"CN=localhost,O=Moxel Test Peers");
        EXPECT_EQ(wide.dwCertStatus, info.dwCertStatus);

        // The session works as any other.
        ASSERT_EQ(PopLoginA(client, "tester", "secret"), 0) << LastError();
        ASSERT_EQ(PopGetMessage(client, 1, nullptr), 0) << LastError();
        EXPECT_EQ(popwiretest::ReadToEnd(client).text, "Subject: over TLS\r\n\r\nhello\r\n");
        EXPECT_EQ(PopDisconnect(client), 0);
    }
}

// A certificate the client trusts (SSL_CERT_FILE names it) but that is wrong in one way.
struct CertificateCase {
    const char* label;
    CertificateProfile certificate;
    const char* host;
    std::uint32_t status;
};

TEST_F(PopwireTest, TrustedCertificatesAreCheckedForNameAndDates) {
    const CertificateCase cases[] = {
        {"valid for localhost",
         {"localhost", -24h, 24h * 30},
         "localhost",
         SECURITY_CERTIFICATE_VALID},
        {"valid for the loopback address",
         {"localhost", -24h, 24h * 30},
         "127.0.0.1",
         SECURITY_CERTIFICATE_VALID},
        {"another name",
         {"mail.example.test", -24h, 24h * 30},
         "127.0.0.1",
         SECURITY_CERTIFICATE_NOMATCH},
        {"expired", {"localhost", -24h * 30, -24h}, "localhost", SECURITY_CERTIFICATE_EXPIRED},
        {"not valid yet", {"localhost", 24h, 24h * 30}, "localhost", SECURITY_CERTIFICATE_EXPIRED},
    };
    for (const auto& item : cases) {
        SCOPED_TRACE(item.label);
        DovecotServer server(WithCertificate(item.certificate));
        server.Start();
        ::setenv("SSL_CERT_FILE", server.CertificateFile().c_str(), 1);
        const HCLIENT client =
            PopConnectExA(item.host, server.Pop3sPort(), 10, POP_OPTION_SECURE_NOEXT);
        ASSERT_NE(client, INVALID_CLIENT) << LastError() << server.Log();
        EXPECT_EQ(SecurityOf(client).dwCertStatus, item.status);
        EXPECT_EQ(PopDisconnect(client), 0);
    }
    ::unsetenv("SSL_CERT_FILE");
}

TEST_F(PopwireTest, ARefusedStlsEndsTheConnection) {
    ScriptedPopServer server(Join(Greeting(), Step::Answer("-ERR no TLS here\r\n")));
    EXPECT_EQ(PopConnectExA("127.0.0.1", server.Port(), 5, POP_OPTION_SECURE), INVALID_CLIENT);
    EXPECT_EQ(LastError(), Code(ERROR_POP_SECURE_CONTEXT));
    EXPECT_EQ(server.Received(), Lines{"STLS"}) << "the connection closed right after";
}

TEST_F(PopwireTest, AServerThatDoesNotSpeakTlsFailsTheHandshake) {
    const popwiretest::Script scripts[] = {
        Greeting("+OK plain text where TLS was expected\r\n"),
        {Step::Close()},
    };
    for (const auto& script : scripts) {
        ScriptedPopServer server(script);
        EXPECT_EQ(PopConnectExA("127.0.0.1", server.Port(), 5, POP_OPTION_SECURE_NOEXT),
                  INVALID_CLIENT);
        EXPECT_EQ(LastError(), Code(ERROR_POP_SECURE_CONTEXT));
        EXPECT_TRUE(server.WaitForEnd(5s));
    }
    ScriptedPopServer garbage(
        Join(Greeting(), Step::Answer("+OK begin TLS\r\n"), Step::Send(std::string(300, '\x16'))));
    EXPECT_EQ(PopConnectExA("127.0.0.1", garbage.Port(), 5, POP_OPTION_SECURE), INVALID_CLIENT);
    EXPECT_EQ(LastError(), Code(ERROR_POP_SECURE_CONTEXT));
}

TEST_F(PopwireTest, ASilentServerTimesTheHandshakeOut) {
    ScriptedPopServer server(Join(Greeting(), Step::Answer("+OK begin TLS\r\n"), Step::Pause(5s)));
    const auto started = std::chrono::steady_clock::now();
    EXPECT_EQ(PopConnectExA("127.0.0.1", server.Port(), 1, POP_OPTION_SECURE), INVALID_CLIENT);
    EXPECT_EQ(LastError(), Code(ERROR_POP_TIMEOUT));
    EXPECT_LT(std::chrono::steady_clock::now() - started, 4s);
}

TEST_F(PopwireTest, StlsWhenOfferedGoesByTheServersCapabilities) {
    struct Case {
        const char* label;
        std::string capabilities;  // the server's answer to CAPA
        std::uint32_t error;       // of the connection; none: it stays plain
        Lines received;
    };
    std::string endless = "+OK\r\n";
    while (endless.size() < 20000) {
        endless += "X-PADDING some capability\r\n";
    }
    const Case cases[] = {
        {"CAPA refused", "-ERR unknown command\r\n", ERROR_POP_NONE, {"CAPA", "QUIT"}},
        {"STLS only inside other words",
         "+OK\r\nSTLSX\r\nX-STLS\r\nSASL STLS\r\n.\r\n",
         ERROR_POP_NONE,
         {"CAPA", "QUIT"}},
        {"STLS refused",
         "+OK\r\nUSER\r\nStls\r\n.\r\n",
         ERROR_POP_SECURE_CONTEXT,
         {"CAPA", "STLS"}},
        {"a list without end", endless, ERROR_POP_SERVER, {"CAPA"}},
    };
    for (const auto& item : cases) {
        SCOPED_TRACE(item.label);
        ScriptedPopServer server(Join(Greeting(), Step::Answer(item.capabilities),
                                      Step::Answer("-ERR not now\r\n"), Step::Answer("+OK\r\n")));
        const HCLIENT client =
            PopConnectExA("127.0.0.1", server.Port(), 5, POP_OPTION_SECURE_IFOFFERED);
        if (item.error == ERROR_POP_NONE) {
            ASSERT_NE(client, INVALID_CLIENT) << LastError();
            EXPECT_EQ(SecurityOf(client).dwProtocol, Code(SECURITY_PROTOCOL_NONE));
            EXPECT_EQ(PopDisconnect(client), 0);
        } else {
            EXPECT_EQ(client, INVALID_CLIENT);
            EXPECT_EQ(LastError(), item.error);
        }
        EXPECT_EQ(server.Received(), item.received);
    }
}

}  // namespace
