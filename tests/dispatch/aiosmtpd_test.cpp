// Against a real SMTP server (aiosmtpd on loopback): the exact text that arrives, and the SMTP
// settings test from its letters to their sorting when they come back.
#include <filesystem>
#include <functional>
#include <map>
#include <regex>

#include "DispatchTest.h"
#include "core/Exception.h"
#include "database/MessageText.h"
#include "database/ThreadDatabase.h"
#include "dispatch/SettingsTestLetter.h"
#include "dispatch/SettingsTestLines.h"
#include "dispatch/SmtpSettingsTest.h"
#include "peers/AiosmtpdServer.h"
#include "postoffice/MailDeliveryPoint.h"
#include "postoffice/PopLetterDistributor.h"
#include "postoffice/TrustedSenderList.h"
#include "support/ErrorOf.h"
#include "support/LetterBoxContents.h"
#include "support/LetterStoreFiles.h"
#include "support/LoopbackSockets.h"
#include "support/MemoryPopClient.h"
#include "support/TestDataDir.h"

namespace dispatchtest {
namespace {

using moxeltest::AiosmtpdServer;
using moxeltest::ReadWholeFile;

// The messages aiosmtpd saved, each as {envelope, content}, in arrival order.
std::vector<std::pair<std::string, std::string>> Received(const std::filesystem::path& folder) {
    std::vector<std::pair<std::string, std::string>> messages;
    for (int n = 1; std::filesystem::exists(folder / (std::to_string(n) + ".eml")); ++n) {
        messages.emplace_back(ReadWholeFile(folder / (std::to_string(n) + ".envelope")),
                              ReadWholeFile(folder / (std::to_string(n) + ".eml")));
    }
    return messages;
}

std::string WithCrLf(const std::string& text) {
    return std::regex_replace(text, std::regex("\n"), "\r\n");
}

class AiosmtpdDispatchTest : public DispatchTest {
protected:
    void SetUp() override {
        DispatchTest::SetUp();
        server = std::make_unique<AiosmtpdServer>(folder.Path());
        ASSERT_NE(server->Port(), 0) << "aiosmtpd did not start (is python3-aiosmtpd installed?)";
        UseServer(server->Port());
        point->SetAuthorizationEnabled(true);
        point->SetAuthorizationMethod(1);
        point->SetUserName("tester");
        point->SetPassword("secret");
    }
    void TearDown() override {
        server.reset();
        DispatchTest::TearDown();
    }

    moxeltest::TempDir folder;
    std::unique_ptr<AiosmtpdServer> server;
};

TEST_F(AiosmtpdDispatchTest, TheServerReceivesExactlyTheTextBehindTheDateLine) {
    std::string megabyte;
    while (megabyte.size() < 1024 * 1024) {
        megabyte += std::string(99, static_cast<char>('a' + megabyte.size() / 100 % 26)) + "\n";
    }
    const std::map<std::string, std::string> texts = {
        {"dots", "Subject: dots\n\n.\nbetween\n.\n"},
        {"double dots", "Subject: double dots\n\n..\n..two\n...three\n"},
        {"no last line feed", "Subject: no last line feed\n\nfirst\nlast"},
        {"crlf", "Subject: crlf\r\n\r\nline one\r\nline two\r\n"},
        {"utf-8",
         "Subject: utf-8\n\nGr\xC3\xBC\xC3\x9F"
         "e, \xE6\x97\xA5\xE6\x9C\xAC\n"},
        {"megabyte", "Subject: megabyte\n\n" + megabyte},
    };
    std::map<std::string, std::string> expected;
    for (const auto& [subject, text] : texts) {
        LetterBoxLock lock(point->GetLetterBox());
        auto letter = std::make_shared<Letter>();
        letter->StoreText(text);
        letter->SetSender(kMe);
        letter->SetRecipient(kFriend);
        point->GetLetterBox().MoveLetterHere(letter);
        std::string wire = WithCrLf(letter->GetText());
        if (wire.size() < 2 || wire.compare(wire.size() - 2, 2, "\r\n") != 0) {
            wire += "\r\n";
        }
        expected[subject] = wire;
    }

    EXPECT_EQ(Dispatch(), "");

    EXPECT_EQ(recorder.Events().back(), "MessagesSent 6");
    EXPECT_TRUE(BoxState().empty());
    EXPECT_EQ(moxeltest::CountStoreFiles(), 0);
    const std::regex dateLine(
        "Date: [A-Z][a-z]{2}, \\d{2} [A-Z][a-z]{2} \\d{4} \\d{2}:\\d{2}:\\d{2} [+-]\\d{4}\r\n");
    std::map<std::string, std::string> arrived;
    for (const auto& [envelope, content] : Received(folder.Path())) {
        EXPECT_EQ(envelope.substr(0, envelope.find('\n', kMe.size() + 1)), kMe + "\n" + kFriend);
        std::smatch date;
        ASSERT_TRUE(
            std::regex_search(content, date, dateLine, std::regex_constants::match_continuous))
            << content.substr(0, 80);
        const std::string rest = content.substr(static_cast<std::size_t>(date.length()));
        const auto subjectEnd = rest.find("\r\n");
        arrived[rest.substr(9, subjectEnd - 9)] = rest;
    }
    ASSERT_EQ(arrived.size(), expected.size());
    for (const auto& [subject, wire] : expected) {
        SCOPED_TRACE(subject);
        EXPECT_TRUE(arrived[subject] == wire)
            << "sizes " << arrived[subject].size() << " and " << wire.size();
    }
}

class SettingsTestTest : public AiosmtpdDispatchTest {
protected:
    void SetUp() override {
        AiosmtpdDispatchTest::SetUp();
        moxeltest::MemoryMailbox::ResetAll();
        moxeltest::MemoryPopClient::Register();
    }
    MailDeliveryPointPtr AddAccount(const std::string& address) {
        auto account = std::make_shared<MailDeliveryPoint>(
            address, std::make_shared<PopLetterDistributor>(
                         std::make_shared<moxeltest::MemoryPopClient>("pop.example")));
        EXPECT_TRUE(accounts->Attach(LetterBoxKey(address, "user", "pop.example"), *account));
        return account;
    }
    // Runs a settings test to its end; its result and lines.
    SmtpSettingsTest::Result RunSettingsTest(
        const std::optional<std::string>& typed,
        std::function<bool()> isComputerOnline = [] { return true; }) {
        SmtpSettingsTest test(std::move(isComputerOnline));
        test.Start(point->GetData().GetId(), SmtpSettingsTest::AddressesToTest(*accounts, typed),
                   typed, lines);
        return test.Wait();
    }

    SettingsTestLines lines;
};

TEST_F(SettingsTestTest, PassesWhenEveryAccountsLetterGoesOutAndTheirReturnStartsNoVerification) {
    const std::string other = "other@home.example";
    const auto first = AddAccount(kMe);
    const auto second = AddAccount(other);

    const auto result = RunSettingsTest(std::nullopt);

    EXPECT_EQ(result.outcome, SmtpSettingsTest::Outcome::Passed);
    EXPECT_FALSE(result.failure);
    EXPECT_EQ(SmtpSettingsTest::OutcomeText(result.outcome), "Your settings have PASSED the test.");
    EXPECT_EQ(
        lines.Lines(),
        (Strings{"Sending test message from " + kMe + " to " + kMe + ".", "Ok, message sent.",
                 "Sending test message from " + other + " to " + kMe + ".", "Ok, message sent."}));
    const auto received = Received(folder.Path());
    ASSERT_EQ(received.size(), 2u);
    EXPECT_EQ(received[1].first.substr(0, received[1].first.find('\n', other.size() + 1)),
              other + "\n" + kMe);

    // Both come back through the first account, as a mail server delivers them, with a forgery
    // beside them: only the forgery is held and answered with a verification request.
    TrustedSenderList trusted;
    trusted.SetPersistent(true);
    const auto arrive = [&](const std::string& content, const std::string& sender) {
        LetterBoxLock lock(first->GetRecentLetters());
        Letter letter;
        letter.StoreText(RemoveCarriageReturns("Return-Path: <" + sender + ">\r\n" + content));
        letter.SetTimeRetrieved(clock.Now());
        first->GetRecentLetters()->MoveLetterHere(letter);
    };
    arrive(received[0].second, kMe);
    arrive(received[1].second, other);
    std::string forged = received[1].second;
    forged.replace(forged.find(std::string(kSettingsTestHeader) + ": ") +
                       std::string(kSettingsTestHeader).size() + 2,
                   4, "0000");
    forged.replace(forged.find("Subject: "), 9, "Subject: forged ");
    // Without the empty return path, which would have it dropped as a bounce.
    forged.erase(forged.find("Return-Path: <>\r\n"), 17);
    arrive(forged, other);
    first->SortIncomingMail(clock, trusted.GetSenderList(), trusted, reporter);

    EXPECT_EQ(moxeltest::SubjectsIn(first->GetInbox()),
              (Strings{"Testing Moxel SMTP settings.", "Testing Moxel SMTP settings."}));
    EXPECT_EQ(moxeltest::SubjectsIn(first->GetPendingLetters()),
              Strings{"forged Testing Moxel SMTP settings."});
    EXPECT_EQ(DatabaseLayer::ExecuteScalar("SELECT COUNT(*) FROM VerificationRequest;"), 1);
}

TEST_F(SettingsTestTest, FailsAsIncorrectOrOfflineAndKeepsTheLettersWhenTheServerCannotBeReached) {
    AddAccount(kMe);
    UseServer(moxeltest::UnusedLoopbackPort());
    const std::string typed = "typed@example.net";
    const struct {
        const char* label;
        std::function<bool()> isComputerOnline;
        SmtpSettingsTest::Outcome outcome;
    } cases[] = {
        {"on-line", [] { return true; }, SmtpSettingsTest::Outcome::Incorrect},
        {"off-line", [] { return false; }, SmtpSettingsTest::Outcome::NoInternet},
        {"an on-line check that fails",
         []() -> bool { throw Exception("Failed to initialize the ICMP library"); },
         SmtpSettingsTest::Outcome::Incorrect},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        const auto result = RunSettingsTest(typed, c.isComputerOnline);
        EXPECT_EQ(result.outcome, c.outcome);
        ASSERT_TRUE(result.failure);
        EXPECT_NE(
            moxeltest::ErrorOf([&] { std::rethrow_exception(result.failure); }).find("refused"),
            std::string::npos);
    }
    EXPECT_EQ(SmtpSettingsTest::OutcomeText(SmtpSettingsTest::Outcome::Incorrect),
              "Your settings seem INCORRECT!");
    EXPECT_EQ(SmtpSettingsTest::OutcomeText(SmtpSettingsTest::Outcome::NoInternet),
              "It seems that you have no connection to the Internet.");
    // Two letters a run, to the typed address, kept for the next run.
    LetterBoxLock lock(point->GetLetterBox());
    const auto ids = point->GetLetterBox().GetLetterIds();
    ASSERT_EQ(ids.size(), 2 * std::size(cases));
    for (const auto id : ids) {
        EXPECT_EQ(point->GetLetterBox().GetLetter(id)->GetRecipient(), typed);
    }
}

TEST_F(SettingsTestTest, AFailedLetterShowsItsLineAndFailsTheTest) {
    point->SetAuthorizationEnabled(false);
    ScriptedSmtpServer refusing(Join(Greeting(), Ehlo(), Ok(),
                                     Step::Answer("550 5.1.1 unknown sender domain\r\n"),
                                     SecondAfterRefusal(), Quit()));
    UseServer(refusing.Port());
    SmtpSettingsTest test([] { return true; });
    test.Start(point->GetData().GetId(), {"a@nowhere.example", kMe}, std::nullopt, lines);
    const auto result = test.Wait();
    EXPECT_EQ(result.outcome, SmtpSettingsTest::Outcome::Incorrect);
    EXPECT_FALSE(result.failure);
    EXPECT_EQ(lines.Lines(),
              (Strings{"Sending test message from a@nowhere.example to a@nowhere.example.",
                       "Oops! Failed to send the message (\"The SMTP server refused the "
                       "recipient: 550 5.1.1 unknown sender domain\").",
                       "Sending test message from " + kMe + " to a@nowhere.example.",
                       "Ok, message sent."}));
}

TEST_F(SettingsTestTest, WithNoAddressItFailsAtOnce) {
    SmtpSettingsTest test([] { return true; });
    const auto addresses = SmtpSettingsTest::AddressesToTest(*accounts, std::string());
    EXPECT_EQ(moxeltest::ErrorOf(
                  [&] { test.Start(point->GetData().GetId(), addresses, std::nullopt, lines); }),
              "No addresses to verify.");
}

}  // namespace
}  // namespace dispatchtest
