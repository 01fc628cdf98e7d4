// The daily digest of held mail, through whole collection runs against real peers: Dovecot
// upstream, aiosmtpd as the SMTP server (which must never see a digest), a fixed clock moved by
// the test, and the local POP3 server read by Python's poplib.
#include <gtest/gtest.h>

#include <boost/date_time/posix_time/posix_time.hpp>
#include <chrono>
#include <filesystem>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "core/EventReporter.h"
#include "core/Exception.h"
#include "core/TimeCard.h"
#include "database/AppPropertyCollection.h"
#include "database/LetterBoxData.h"
#include "database/LetterBoxLock.h"
#include "database/LetterData.h"
#include "dispatch/TarnwellSmtpDispatchPoint.h"
#include "peers/AiosmtpdServer.h"
#include "peers/DovecotServer.h"
#include "popserver/LocalPopServer.h"
#include "popwire.h"
#include "postoffice/HeldMail.h"
#include "postoffice/HeldMailDigest.h"
#include "postoffice/PopPostOffice.h"
#include "smtpwire.h"
#include "support/ChildProcess.h"
#include "support/DatabaseFixture.h"
#include "support/FixedClock.h"
#include "support/LetterBoxHeldElsewhere.h"
#include "support/TestDataDir.h"

using moxeltest::DovecotServer;
using namespace std::chrono_literals;
namespace pt = boost::posix_time;
using Strings = std::vector<std::string>;

namespace {

std::string Message(const std::string& from, const std::string& to, const std::string& subject) {
    return "From: " + from + "\nTo: " + to + "\nSubject: " + subject + "\n\nText of " + subject +
           "\n";
}

bool IsDigest(const std::string& text) {
    return text.find("\nSubject: Moxel: ") != std::string::npos ||
           text.rfind("Subject: Moxel: ", 0) == 0;
}

class HeldMailDigestTest : public moxeltest::DatabaseTest {
protected:
    void SetUp() override {
        DatabaseTest::SetUp();
        ASSERT_EQ(PopInitializeA(nullptr, nullptr), 1);
        ASSERT_EQ(SmtpInitializeA(nullptr, nullptr), 1);
        TimeCard::PunchIn();
        dovecot.Start();
        ASSERT_NE(smtp.Port(), 0) << "aiosmtpd did not start (is python3-aiosmtpd installed?)";
        office = std::make_unique<PopPostOffice>();
        office->SetPersistent(true);
        office->SetClock(clock);
        office->SetEventReporter(reporter);
        office->GetSmtpDispatchPoint()->SetSmtpServerAddress("127.0.0.1:" +
                                                             std::to_string(smtp.Port()));
        for (const auto* user : {"tester", "second"}) {
            office->RegisterPopAccount(KeyOf(user), "secret");
        }
    }
    void TearDown() override {
        office.reset();
        SmtpUninitialize();
        PopUninitialize();
        DatabaseTest::TearDown();
    }

    LetterBoxKey KeyOf(const std::string& user) const {
        return LetterBoxKey(user + "@example.test", user,
                            "127.0.0.1:" + std::to_string(dovecot.Pop3Port()));
    }
    void Collect() {
        const auto outcome = office->CollectNowAndWait(60s);
        ASSERT_TRUE(outcome.has_value()) << "no run answered";
        ASSERT_TRUE(outcome->succeeded) << outcome->error;
    }
    // The digests in `user`'s inbox, in order, taken out of it (as a mail program would).
    Strings TakeDigests(const std::string& user) {
        const auto inbox = office->GetInbox(KeyOf(user));
        LetterBoxLock open(inbox);
        Strings digests;
        for (const auto id : inbox->GetLetterIds()) {
            const std::string text = inbox->GetLetter(id)->GetText();
            if (IsDigest(text)) {
                digests.push_back(text);
                inbox->RemoveLetter(id);
            }
        }
        return digests;
    }
    // The messages aiosmtpd accepted, once at least `count` arrived (at most 10 s).
    Strings Sent(std::size_t count) const {
        const auto deadline = std::chrono::steady_clock::now() + 10s;
        while (true) {
            Strings messages;
            // The envelope is written after the content: its presence means the content is whole.
            for (int n = 1;
                 std::filesystem::exists(sent.Path() / (std::to_string(n) + ".envelope")); ++n) {
                messages.push_back(
                    moxeltest::ReadWholeFile(sent.Path() / (std::to_string(n) + ".eml")));
            }
            if (messages.size() >= count || std::chrono::steady_clock::now() > deadline) {
                return messages;
            }
            std::this_thread::sleep_for(20ms);
        }
    }

    DovecotServer dovecot{
        DovecotServer::Options{{{"tester", "secret"}, {"second", "secret"}}, {}, ""}};
    moxeltest::TempDir sent;
    moxeltest::AiosmtpdServer smtp{sent.Path()};
    const pt::ptime kStart = pt::time_from_string("2005-03-11 13:36:46");
    std::shared_ptr<moxeltest::FixedClock> clock = std::make_shared<moxeltest::FixedClock>(kStart);
    std::shared_ptr<EventReporter> reporter = std::make_shared<EventReporter>();
    std::unique_ptr<PopPostOffice> office;
};

TEST_F(HeldMailDigestTest, OneDigestADayPerAccountListingOnlyWhatWasHeldSinceTheLast) {
    struct Arrival {
        std::string user;
        std::string sender;
        std::string subject;
    };
    struct Run {
        const char* label;
        int hour;  // since the first run
        const char* digestSetting;
        // Before the run the newest held letter is deleted, so that its id is given again.
        bool deleteNewestHeld;
        std::vector<Arrival> arrivals;
        // The subjects each account's digest lists; empty: no digest.
        Strings tester;
        Strings second;
    };
    const std::vector<Run> runs = {
        {"the first held letters bring a digest to their account only",
         0,
         "",
         false,
         {{"tester", "stranger@example.org", "Lunch?"},
          {"tester", "other@example.net", "=?UTF-8?B?R3LDvMOfZQ==?="}},
         {"Lunch?", "Grüße"},
         {}},
        {"within 24 hours a new held letter waits, taking the id of a deleted one",
         1,
         "",
         true,
         {{"tester", "late@example.org", "Later"}},
         {},
         {}},
        {"after 24 hours only the letters held since the last digest are listed",
         25,
         "",
         false,
         {{"second", "stranger@example.org", "Hello second"}},
         {"Later"},
         {"Hello second"}},
        {"nothing held since: no digest however late", 60, "", false, {}, {}, {}},
        {"switched off: nothing",
         90,
         "false",
         false,
         {{"tester", "third@example.org", "While off"}},
         {},
         {}},
        {"switched on again: what was held meanwhile", 91, "true", false, {}, {"While off"}, {}},
    };
    for (const auto& run : runs) {
        SCOPED_TRACE(run.label);
        if (*run.digestSetting != '\0') {
            GetAppProperties().SetValue(AppPropertyCollection::kHeldMailDigest, run.digestSetting);
        }
        if (run.deleteNewestHeld) {
            HeldMail review(*office);
            review.Delete(review.List().back().id);
        }
        for (const auto& arrival : run.arrivals) {
            dovecot.AddMessage(arrival.user, Message(arrival.sender, arrival.user + "@example.test",
                                                     arrival.subject));
        }
        clock->Set(kStart + pt::hours(run.hour));
        Collect();
        for (const auto& [user, listed] :
             {std::pair{"tester", run.tester}, std::pair{"second", run.second}}) {
            const auto digests = TakeDigests(user);
            ASSERT_EQ(digests.size(), listed.empty() ? 0u : 1u) << user;
            if (listed.empty()) {
                continue;
            }
            const std::string& digest = digests[0];
            EXPECT_NE(digest.find("Subject: Moxel: " + std::to_string(listed.size()) +
                                  (listed.size() == 1 ? " message" : " messages")),
                      std::string::npos)
                << digest;
            std::size_t lines = 0;
            std::istringstream in(digest);
            for (std::string line; std::getline(in, line);) {
                lines += line.find("Subject: ") != std::string::npos ? 1 : 0;
            }
            EXPECT_EQ(lines, listed.size() + 1) << "one subject line per held letter\n" << digest;
            for (const auto& subject : listed) {
                EXPECT_NE(digest.find("Subject: " + subject + "\n"), std::string::npos)
                    << subject << "\n"
                    << digest;
            }
        }
    }
    // Only the verification requests to the senders went out by SMTP; no digest, and nothing
    // to an account's own address.
    // One verification request to each of the five senders.
    const auto messages = Sent(5);
    EXPECT_EQ(messages.size(), 5u);
    for (const auto& message : messages) {
        EXPECT_FALSE(IsDigest(message)) << message;
        EXPECT_EQ(message.find("To: tester@"), std::string::npos) << message;
        EXPECT_EQ(message.find("To: second@"), std::string::npos) << message;
    }
}

// All digests of a day are delivered together or not at all, and a failed day is not recorded.
TEST_F(HeldMailDigestTest, ABusyInboxHoldsBackEveryDigestUntilItIsFree) {
    GetAppProperties().SetValue(AppPropertyCollection::kHeldMailDigest, "false");
    for (const auto* user : {"tester", "second"}) {
        dovecot.AddMessage(
            user, Message("stranger@example.org", std::string(user) + "@example.test", "Hello"));
    }
    Collect();
    GetAppProperties().SetValue(AppPropertyCollection::kHeldMailDigest, "true");
    auto& points = office->GetDeliveryPoints();
    {
        const moxeltest::LetterBoxHeldElsewhere busy(office->GetInbox(KeyOf("second"))->GetId());
        EXPECT_THROW(DeliverHeldMailDigests(*clock, points), Exception);
    }
    EXPECT_TRUE(TakeDigests("tester").empty()) << "the first account's digest was undone";
    EXPECT_EQ(DeliverHeldMailDigests(*clock, points), 2);
    EXPECT_EQ(TakeDigests("tester").size(), 1u);
    EXPECT_EQ(TakeDigests("second").size(), 1u);
    EXPECT_EQ(DeliverHeldMailDigests(*clock, points), 0) << "that day is recorded";
}

const char* const kPoplibScript = R"(
import poplib, sys
port, user, password = int(sys.argv[1]), sys.argv[2], sys.argv[3]
box = poplib.POP3('127.0.0.1', port, timeout=30)
box.user(user)
box.pass_(password)
count, size = box.stat()
for n in range(1, count + 1):
    sys.stdout.buffer.write(b'\r\n'.join(box.retr(n)[1]) + b'\r\n=====\r\n')
box.quit()
)";

TEST_F(HeldMailDigestTest, AMailProgramDownloadsTheDigestThroughTheLocalServer) {
    // A subject that decodes to a line break must not add a header or a line of its own.
    dovecot.AddMessage("tester", Message("Stranger <stranger@example.org>", "tester@example.test",
                                         "=?UTF-8?Q?Hi=0D=0ABcc:_victim@example.net?="));
    Collect();
    LocalPopServer server(*office, reporter, [](const std::string&) {});
    server.Start(0);
    const auto port = server.WaitUntilListening(10s);
    ASSERT_NE(port, 0u);
    const auto result = moxeltest::RunToEnd(
        "/usr/bin/python3",
        {"-c", kPoplibScript, std::to_string(port), KeyOf("tester").ToString(), "secret"}, {}, {},
        60s);
    ASSERT_EQ(result.exitCode, 0) << result.err;
    const std::string& text = result.out;
    ASSERT_TRUE(IsDigest(text)) << text;
    const std::string headers = text.substr(0, text.find("\r\n\r\n") + 2);
    for (const auto* header :
         {"\r\nFrom: Moxel <tester@example.test>\r\n", "\r\nTo: tester@example.test\r\n",
          "\r\nAuto-Submitted: auto-generated\r\n",
          "\r\nSubject: Moxel: 1 message held for you\r\n",
          "\r\nContent-Type: text/plain; charset=UTF-8\r\n", "\r\nDate: Fri, 11 Mar 2005 13:36:46 ",
          "\r\nMessage-ID: <"}) {
        EXPECT_NE(("\r\n" + headers).find(header), std::string::npos) << header << "\n" << headers;
    }
    EXPECT_EQ(headers.find("Bcc"), std::string::npos) << headers;
    EXPECT_NE(text.find("From: stranger@example.org\r\n"), std::string::npos) << text;
    EXPECT_NE(text.find("Subject: Hi  Bcc: victim@example.net\r\n"), std::string::npos) << text;
    EXPECT_NE(text.find("moxel held release ID"), std::string::npos) << text;
    EXPECT_NE(text.find("Held Mail"), std::string::npos) << text;
    for (std::size_t at = 0, next; (next = text.find("\r\n", at)) != std::string::npos;
         at = next + 2) {
        EXPECT_LT(next - at, 998u);
    }
    const auto messages = Sent(1);
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_FALSE(IsDigest(messages[0])) << "only the verification request went out";
}

}  // namespace
