// The account operations of the POP post office, on a real database: the life of an account
// from placeholder to POP3 account to removal, the login hook of the local POP3 server, and
// their refusals. Collection itself is covered with Dovecot in post_office_test.cpp; here one
// Dovecot run provides held mail for the removal.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "core/TimeCard.h"
#include "database/LetterBoxData.h"
#include "peers/DovecotServer.h"
#include "popwire.h"
#include "postoffice/PlaceholderPopClient.h"
#include "postoffice/PopLetterDistributor.h"
#include "postoffice/PopPostOffice.h"
#include "postoffice/TarnwellPopClient.h"
#include "support/DatabaseFixture.h"
#include "support/ErrorOf.h"
#include "support/LetterBoxContents.h"

using moxeltest::ErrorOf;
using moxeltest::RowCount;
using moxeltest::SubjectsIn;
using Strings = std::vector<std::string>;
using namespace std::chrono_literals;

namespace {

const LetterBoxKey kKey("me@example.com", "me", "pop.example.com");

class PopPostOfficeTest : public moxeltest::DatabaseTest {
protected:
    void SetUp() override {
        DatabaseTest::SetUp();
        office = std::make_unique<PopPostOffice>();
        office->SetPersistent(true);
    }
    void TearDown() override {
        office.reset();
        DatabaseTest::TearDown();
    }

    PopClientPtr ClientOf(const LetterBoxKey& key) {
        const auto point = office->FindDeliveryPoint(key);
        EXPECT_NE(point, nullptr) << key.ToString();
        return point ? dynamic_cast<PopLetterDistributor&>(*point->GetDistributor()).GetPopClient()
                     : nullptr;
    }
    static bool IsPlaceholder(const PopClientPtr& client) {
        return dynamic_cast<PlaceholderPopClient*>(client.get()) != nullptr;
    }
    // Rows of everything an account is made of.
    static int AccountRows() {
        return RowCount("MailDeliveryPoint") + RowCount("LetterDistributor") +
               RowCount("PopClient") + RowCount("LetterCollection") + RowCount("LetterPruner");
    }
    std::vector<std::string> Registered() {
        std::vector<std::string> texts;
        for (const auto& key : office->GetRegisteredAccounts()) {
            texts.push_back(key.ToString());
        }
        return texts;
    }

    std::unique_ptr<PopPostOffice> office;
};

TEST_F(PopPostOfficeTest, APlaceholderTakesThePasswordOfALoginThenBecomesAPop3Account) {
    office->RegisterPlaceholderAccount(kKey);
    const int rows = AccountRows();
    office->RegisterPlaceholderAccount(kKey);
    EXPECT_EQ(AccountRows(), rows) << "a second registration leaves nothing behind";
    EXPECT_TRUE(office->IsAccountRegistered(kKey));
    EXPECT_TRUE(Registered().empty()) << "placeholders are not listed";

    office->GetLoginHook()(kKey.ToString(), "pa'ss");
    EXPECT_TRUE(IsPlaceholder(ClientOf(kKey)));
    EXPECT_EQ(ClientOf(kKey)->GetPassword(), "pa'ss");

    office->TurnPlaceholderDeliveryPointIntoPopPoint(kKey);
    const auto client = ClientOf(kKey);
    ASSERT_NE(dynamic_cast<TarnwellPopClient*>(client.get()), nullptr);
    EXPECT_EQ(client->GetHostName(), "pop.example.com");
    EXPECT_EQ(client->GetUserName(), "me");
    EXPECT_EQ(client->GetPassword(), "pa'ss");
    EXPECT_EQ(client->GetData().GetPort(), 110);
    EXPECT_EQ(client->GetData().GetTimeoutInSeconds(), 30);
    EXPECT_EQ(Registered(), Strings{kKey.ToString()});
    EXPECT_EQ(AccountRows(), rows) << "the placeholder's client is gone";

    // A later login with a changed password follows it.
    office->GetLoginHook()(kKey.ToString(), "new");
    EXPECT_EQ(ClientOf(kKey)->GetPassword(), "new");
}

TEST_F(PopPostOfficeTest, ALoginWithAnUnknownKeyProtectsTheAccountAtOnce) {
    const LetterBoxKey other("you@example.org", "you", "mail.example.org:995");
    office->MailProgramLoggedIn(other.ToString(), "secret");
    const auto client = ClientOf(other);
    ASSERT_NE(dynamic_cast<TarnwellPopClient*>(client.get()), nullptr);
    EXPECT_EQ(client->GetHostName(), "mail.example.org");
    EXPECT_EQ(client->GetData().GetPort(), 995);
    EXPECT_EQ(client->GetPassword(), "secret");
    EXPECT_EQ(Registered(), Strings{other.ToString()});
}

TEST_F(PopPostOfficeTest, TheHostPartOfAKeyGivesTheServerAndPort) {
    struct Case {
        const char* label;
        std::string host;
        std::string expectedHost;
        int expectedPort;  // 0: refused
    };
    const std::vector<Case> cases = {
        {"no port", "pop.example.com", "pop.example.com", 110},
        {"TLS port", "pop.example.com:995", "pop.example.com", 995},
        {"highest port", "h:65535", "h", 65535},
        {"port too high", "h:65536", "", 0},
        {"port zero", "h:0", "", 0},
        {"port not a number", "h:pop3", "", 0},
        {"empty port", "h:", "", 0},
        {"overlong port", "h:000000995", "", 0},
        {"no host", ":995", "", 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        const LetterBoxKey key("a@example.com", "a", c.host);
        const int rows = AccountRows();
        const auto error = ErrorOf([&] { office->RegisterPopAccount(key, "pw"); });
        if (c.expectedPort == 0) {
            EXPECT_NE(error.find("Invalid "), std::string::npos) << error;
            EXPECT_EQ(AccountRows(), rows);
            continue;
        }
        EXPECT_EQ(error, "(no error)");
        EXPECT_EQ(ClientOf(key)->GetHostName(), c.expectedHost);
        EXPECT_EQ(ClientOf(key)->GetData().GetPort(), c.expectedPort);
        office->UnregisterAccount(key);
    }
}

TEST_F(PopPostOfficeTest, RefusalsNameTheirCauseAndChangeNothing) {
    office->RegisterPlaceholderAccount(kKey);
    const LetterBoxKey unknown("x@example.com", "x", "pop.example.com");
    struct Case {
        const char* label;
        std::function<void()> call;
        std::string error;
    };
    const std::vector<Case> cases = {
        {"turn unknown", [&] { office->TurnPlaceholderDeliveryPointIntoPopPoint(unknown); },
         "Internal error in PopPostOffice::TurnPlaceholderDeliveryPointIntoPopPoint"},
        {"prepare unknown", [&] { office->PrepareDeliveryPointForUnregistration(unknown); },
         "Internal error in PopPostOffice::PrepareDeliveryPointForUnregistration"},
        {"remove unknown", [&] { office->UnregisterAccount(unknown); },
         "Cannot detach the delivery point; it is not in the collection"},
        {"inbox of unknown", [&] { office->GetInbox(unknown); }, "Invalid letter box key"},
        {"login with one slash", [&] { office->MailProgramLoggedIn("me@example.com/host", "pw"); },
         "Invalid LetterBoxKey"},
        {"login with a NUL in the user name",
         [&] { office->MailProgramLoggedIn(std::string("x@example.com/x\0y/h", 19), "pw"); },
         "Invalid LetterBoxKey"},
        {"login with a NUL in the password",
         [&] { office->MailProgramLoggedIn(kKey.ToString(), std::string("pw\0x", 4)); },
         "Invalid password"},
        {"login with a bad port", [&] { office->MailProgramLoggedIn("y@example.com/y/h:x", "pw"); },
         "Invalid port in h:x"},
    };
    const int rows = AccountRows();
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        EXPECT_EQ(ErrorOf(c.call), c.error);
        EXPECT_EQ(AccountRows(), rows);
        EXPECT_EQ(ClientOf(kKey)->GetPassword(), "");
    }
}

TEST_F(PopPostOfficeTest, GivingAnAccountUpKeepsItsHeldMailFetchable) {
    ASSERT_EQ(PopInitializeA(nullptr, nullptr), 1);
    TimeCard::PunchIn();
    moxeltest::DovecotServer dovecot;
    dovecot.AddMessage("tester", "From: stranger@example.org\nSubject: Held\n\nText\n");
    dovecot.Start();
    const LetterBoxKey key("tester@example.test", "tester",
                           "127.0.0.1:" + std::to_string(dovecot.Pop3Port()));
    office->RegisterPopAccount(key, "secret");
    const auto outcome = office->CollectNowAndWait(60s);
    ASSERT_TRUE(outcome.has_value());
    // The run itself fails at its end: no SMTP server is set for the verification letter.
    ASSERT_EQ(SubjectsIn(office->FindDeliveryPoint(key)->GetPendingLetters()), Strings{"Held"})
        << outcome->error;

    office->PrepareDeliveryPointForUnregistration(key);
    EXPECT_TRUE(office->IsAccountRegistered(key));
    EXPECT_TRUE(Registered().empty());
    EXPECT_TRUE(IsPlaceholder(ClientOf(key)));
    EXPECT_EQ(SubjectsIn(office->GetInbox(key)), Strings{"Held"});
    // Besides the verification letter waiting to be sent.
    EXPECT_EQ(RowCount("Letter") - office->CountLettersToSend(), 1);

    office->UnregisterAccount(key);
    EXPECT_FALSE(office->IsAccountRegistered(key));
    EXPECT_EQ(RowCount("Letter") - office->CountLettersToSend(), 0);
    PopUninitialize();
}

TEST_F(PopPostOfficeTest, AnAccountOnPort995IsCollectedOnlyFromAServerWithATrustedCertificate) {
    if (::geteuid() != 0) {
        GTEST_SKIP() << "only root may bind port 995";
    }
    moxeltest::DovecotServer::Options options;
    options.pop3sPort = TarnwellPopClient::kTlsPort;
    moxeltest::DovecotServer dovecot(options);
    dovecot.AddMessage("tester", "From: friend@example.com\nSubject: Over TLS\n\nText\n");
    dovecot.Start();
    const LetterBoxKey key("tester@example.test", "tester", "localhost:995");
    office->RegisterPopAccount(key, "secret");
    office->GetApprovedSenders().Add("friend@example.com");

    struct Case {
        const char* label;
        bool trustTheServer;
        std::string error;
    };
    const std::vector<Case> cases = {
        {"self-signed, not trusted", false,
         "The certificate of the POP3 server cannot be trusted: it is not signed by an authority "
         "this system trusts (Host Name: localhost User Name: tester)"},
        {"trusted", true, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        if (c.trustTheServer) {
            ::setenv("SSL_CERT_FILE", dovecot.CertificateFile().c_str(), 1);
        }
        ASSERT_EQ(PopInitializeA(nullptr, nullptr), 1);
        TimeCard::PunchIn();
        const auto outcome = office->CollectNowAndWait(60s);
        ::unsetenv("SSL_CERT_FILE");
        PopUninitialize();
        ASSERT_TRUE(outcome.has_value());
        if (!c.error.empty()) {
            EXPECT_EQ(outcome->error, c.error);
            EXPECT_EQ(dovecot.MessageCount("tester"), 1);
            continue;
        }
        // The run ends in the dispatch step: no SMTP server is set in these tests.
        EXPECT_EQ(outcome->lettersRetrieved, 1) << outcome->error;
        EXPECT_EQ(SubjectsIn(office->GetInbox(key)), Strings{"Over TLS"});
    }
}

}  // namespace
