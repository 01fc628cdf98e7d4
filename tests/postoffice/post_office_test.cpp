// The post office and its collection thread against real peers: Dovecot upstream, aiosmtpd as
// the SMTP server, a fixed clock for the letters and a hand-moved tick clock for the work
// interval. One scripted server stands in where a download must be caught half-way.
#include <gtest/gtest.h>

#include <algorithm>
#include <boost/date_time/posix_time/posix_time.hpp>
#include <chrono>
#include <filesystem>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "core/EventReporter.h"
#include "core/TickClock.h"
#include "core/TimeCard.h"
#include "database/LetterBoxData.h"
#include "database/LetterBoxLock.h"
#include "database/LetterData.h"
#include "dispatch/TarnwellSmtpDispatchPoint.h"
#include "peers/AiosmtpdServer.h"
#include "peers/DovecotServer.h"
#include "peers/ScriptedPopServer.h"
#include "popwire.h"
#include "popwire/PopwireTest.h"
#include "postoffice/MailDeliveryPointsData.h"
#include "postoffice/PopLetterDistributor.h"
#include "postoffice/PopPostOffice.h"
#include "smtpwire.h"
#include "support/DatabaseFixture.h"
#include "support/ErrorOf.h"
#include "support/FixedClock.h"
#include "support/LetterBoxContents.h"
#include "support/TestDataDir.h"

using moxeltest::DovecotServer;
using moxeltest::ErrorOf;
using moxeltest::RowCount;
using moxeltest::ScriptedPopServer;
using moxeltest::SubjectsIn;
using namespace std::chrono_literals;
namespace pt = boost::posix_time;
using Strings = std::vector<std::string>;

namespace {

const std::string kFriend = "friend@example.com";
const std::string kStranger = "stranger@example.org";

std::string Message(const std::string& from, const std::string& to, const std::string& subject) {
    return "From: " + from + "\nTo: " + to + "\nSubject: " + subject + "\n\nText of " + subject +
           "\n";
}

// The work interval's clock, moved by the test.
class ManualTicks : public TickClock {
public:
    std::chrono::steady_clock::time_point Now() const override {
        std::lock_guard lock(mutex);
        return now;
    }
    void Advance(std::chrono::seconds step) {
        std::lock_guard lock(mutex);
        now += step;
    }

private:
    mutable std::mutex mutex;
    std::chrono::steady_clock::time_point now{};
};

// Records the events of runs and of the collection thread as short texts, in order.
class RunRecorder : public MoxelCoreEventHandler {
public:
    void CollectingStarted(const ThreadId&) override { Record("CollectingStarted"); }
    void CollectingFinished(const ThreadId&) override { Record("CollectingFinished"); }
    void ErrorOccurred(const ThreadId&, const std::string& error) override {
        Record("ErrorOccurred " + error);
    }
    void ApplicationStarted(const ThreadId&) override { Record("ApplicationStarted"); }
    void ApplicationExited(const ThreadId&) override { Record("ApplicationExited"); }
    void CheckingMail(const ThreadId&, const LetterBoxKey& key) override {
        Record("CheckingMail " + key.GetUserName());
    }
    void ProcessingIncomingMail(const ThreadId&) override { Record("ProcessingIncomingMail"); }

    Strings Events() const {
        std::lock_guard lock(mutex);
        return events;
    }
    int Count(const std::string& event) const {
        const auto all = Events();
        return static_cast<int>(std::count(all.begin(), all.end(), event));
    }

private:
    void Record(const std::string& event) {
        std::lock_guard lock(mutex);
        events.push_back(event);
    }

    mutable std::mutex mutex;
    Strings events;
};

class PostOfficeTest : public moxeltest::DatabaseTest {
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
        office->SetTickClock(ticks);
        reporter->AddHandler(&recorder);
        office->SetEventReporter(reporter);
        office->GetSmtpDispatchPoint()->SetSmtpServerAddress("127.0.0.1:" +
                                                             std::to_string(smtp.Port()));
    }
    void TearDown() override {
        office.reset();
        reporter->RemoveHandler(&recorder);
        SmtpUninitialize();
        PopUninitialize();
        DatabaseTest::TearDown();
    }

    // The account of Dovecot's `user`, its port in the key.
    LetterBoxKey KeyOf(const std::string& user) const {
        return LetterBoxKey(user + "@example.test", user,
                            "127.0.0.1:" + std::to_string(dovecot.Pop3Port()));
    }
    Strings Inbox(const std::string& user) {
        return SubjectsIn(office->FindDeliveryPoint(KeyOf(user))->GetInbox());
    }
    Strings Held(const std::string& user) {
        return SubjectsIn(office->FindDeliveryPoint(KeyOf(user))->GetPendingLetters());
    }
    // Waits until `count` runs are recorded (so their ends are taken), at most 60 seconds.
    bool WaitForRuns(std::uint64_t count) const {
        const auto deadline = std::chrono::steady_clock::now() + 60s;
        while (office->GetFinishedRunCount() < count) {
            if (std::chrono::steady_clock::now() > deadline) {
                return false;
            }
            std::this_thread::sleep_for(10ms);
        }
        return true;
    }
    CollectionOutcome Collect() {
        const auto outcome = office->CollectNowAndWait(60s);
        EXPECT_TRUE(outcome.has_value()) << "no run answered";
        return outcome.value_or(CollectionOutcome{});
    }
    // Puts a composed letter into the dispatch point's box.
    void QueueOutgoing(const std::string& subject) {
        auto& box = office->GetDispatchPoint()->GetLetterBox();
        LetterBoxLock open(box);
        const Letter letter("me@example.test", kStranger, subject, "Body", "<me@example.test>");
        box.AddLetter(letter);
    }

    DovecotServer dovecot{
        DovecotServer::Options{{{"tester", "secret"}, {"second", "secret2"}}, {}, ""}};
    // The messages aiosmtpd accepted, in order, once at least `count` arrived (at most 10 s).
    Strings Sent(std::size_t count) const {
        const auto deadline = std::chrono::steady_clock::now() + 10s;
        Strings messages;
        while (true) {
            messages.clear();
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

    moxeltest::TempDir sent;
    moxeltest::AiosmtpdServer smtp{sent.Path()};
    std::shared_ptr<moxeltest::FixedClock> clock =
        std::make_shared<moxeltest::FixedClock>(pt::time_from_string("2005-03-11 13:36:46"));
    std::shared_ptr<ManualTicks> ticks = std::make_shared<ManualTicks>();
    std::shared_ptr<EventReporter> reporter = std::make_shared<EventReporter>();
    RunRecorder recorder;
    std::unique_ptr<PopPostOffice> office;
};

TEST_F(PostOfficeTest, ARunDownloadsSortsSendsTheChallengeAndTheAnswerReleasesTheLetter) {
    office->RegisterPopAccount(KeyOf("tester"), "secret");
    office->GetApprovedSenders().Add(kFriend);
    dovecot.AddMessage("tester", Message(kFriend, "tester@example.test", "From a friend"));
    dovecot.AddMessage("tester", Message(kStranger, "tester@example.test", "Lunch?"));

    const auto first = Collect();
    EXPECT_TRUE(first.succeeded) << first.error;
    EXPECT_EQ(first.lettersRetrieved, 2);
    EXPECT_EQ(first.lettersApproved, 1);
    EXPECT_EQ(first.lettersSent, 1);
    EXPECT_EQ(first.started, clock->Now());
    // The first held letter brings the day's digest of held mail with it.
    EXPECT_EQ(Inbox("tester"), (Strings{"From a friend", "Moxel: 1 message held for you"}));
    EXPECT_EQ(Held("tester"), Strings{"Lunch?"});
    EXPECT_EQ(dovecot.MessageCount("tester"), 0);
    const auto letters = Sent(1);
    ASSERT_EQ(letters.size(), 1u);
    EXPECT_NE(letters[0].find(kStranger), std::string::npos) << letters[0];

    // The stranger answers, keeping the subject with its code.
    const auto subjectAt = letters[0].find("Subject: ");
    ASSERT_NE(subjectAt, std::string::npos);
    const auto subject =
        letters[0].substr(subjectAt + 9, letters[0].find('\r', subjectAt) - subjectAt - 9);
    dovecot.AddMessage("tester", Message(kStranger, "tester@example.test", "Re: " + subject));
    const auto second = Collect();
    EXPECT_TRUE(second.succeeded) << second.error;
    EXPECT_EQ(second.lettersApproved, 1);
    EXPECT_EQ(Inbox("tester"),
              (Strings{"From a friend", "Lunch?", "Moxel: 1 message held for you"}));
    EXPECT_TRUE(Held("tester").empty());
    EXPECT_EQ(office->GetLastRun()->lettersApproved, 1);
}

// Makes every run take 100 seconds of the work interval's clock.
class SlowRuns : public MoxelCoreEventHandler {
public:
    explicit SlowRuns(ManualTicks& ticksIn) : ticks(ticksIn) {}
    void ProcessingIncomingMail(const ThreadId&) override { ticks.Advance(100s); }

private:
    ManualTicks& ticks;
};

TEST_F(PostOfficeTest, TheNextRunComesOneWorkIntervalAfterTheEndOfTheLastOne) {
    SlowRuns slow(*ticks);
    reporter->AddHandler(&slow);
    office->StartCollecting(300);
    ASSERT_TRUE(WaitForRuns(1));
    ticks->Advance(299s);
    // Several turns of the thread's 100 ms loop, none of which may start a run.
    std::this_thread::sleep_for(400ms);
    EXPECT_EQ(recorder.Count("CollectingStarted"), 1);
    ticks->Advance(1s);
    EXPECT_TRUE(WaitForRuns(2));

    // A run asked for in between moves the next regular one: the interval counts from its end.
    ticks->Advance(200s);
    ASSERT_TRUE(office->CollectNowAndWait(60s).has_value());
    EXPECT_EQ(recorder.Count("CollectingStarted"), 3);
    ticks->Advance(250s);
    std::this_thread::sleep_for(400ms);
    EXPECT_EQ(recorder.Count("CollectingStarted"), 3);
    ticks->Advance(50s);
    EXPECT_TRUE(WaitForRuns(4));

    EXPECT_EQ(ErrorOf([&] { office->StartCollecting(300); }),
              "PostOffice CollectLettersOnce thread is already running.");
    EXPECT_TRUE(office->Stop());
    EXPECT_EQ(office->GetState(), PostOffice::State::Idle);
    EXPECT_EQ(recorder.Events().back(), "ApplicationExited");
    reporter->RemoveHandler(&slow);
}

TEST_F(PostOfficeTest, AFailingAccountEndsTheRunAndBothAreTriedAgainAtTheInterval) {
    office->RegisterPopAccount(KeyOf("tester"), "wrong");
    office->RegisterPopAccount(KeyOf("second"), "secret2");
    dovecot.AddMessage("tester", Message(kFriend, "tester@example.test", "One"));
    dovecot.AddMessage("second", Message(kFriend, "second@example.test", "Two"));
    office->GetApprovedSenders().Add(kFriend);

    office->StartCollecting(300);
    ASSERT_TRUE(WaitForRuns(1));
    const auto failed = office->GetLastRun();
    ASSERT_TRUE(failed.has_value());
    EXPECT_FALSE(failed->succeeded);
    EXPECT_NE(failed->error.find("Host Name: 127.0.0.1"), std::string::npos) << failed->error;
    EXPECT_EQ(recorder.Count("CheckingMail second"), 0);
    EXPECT_EQ(recorder.Count("ProcessingIncomingMail"), 0);
    EXPECT_EQ(dovecot.MessageCount("second"), 1);
    EXPECT_EQ(office->GetState(), PostOffice::State::Running) << "a failed run ends no thread";

    office->UpdatePassword(KeyOf("tester"), "secret");
    ticks->Advance(300s);
    ASSERT_TRUE(WaitForRuns(2));
    EXPECT_TRUE(office->GetLastRun()->succeeded) << office->GetLastRun()->error;
    EXPECT_EQ(Inbox("tester"), Strings{"One"});
    EXPECT_EQ(Inbox("second"), Strings{"Two"});
}

TEST_F(PostOfficeTest, WithoutAccountsEveryRunStillSendsTheOutgoingLetters) {
    for (const std::string subject : {"First", "Second"}) {
        SCOPED_TRACE(subject);
        QueueOutgoing(subject);
        const auto outcome = Collect();
        EXPECT_TRUE(outcome.succeeded) << outcome.error;
        EXPECT_EQ(outcome.lettersSent, 1);
    }
    EXPECT_EQ(Sent(2).size(), 2u);
    EXPECT_EQ(office->CountLettersToSend(), 0);
}

// Removes an account from the collection thread itself, when the run begins downloading the
// first one.
class RemoveOnFirstDownload : public MoxelCoreEventHandler {
public:
    RemoveOnFirstDownload(std::int64_t pointsIdIn, LetterBoxKey victimIn)
        : pointsId(pointsIdIn), victim(std::move(victimIn)) {}
    void CheckingMail(const ThreadId&, const LetterBoxKey&) override {
        if (!done) {
            done = true;
            DatabaseLayer::MailDeliveryPointsData(pointsId).Detach(victim);
        }
    }

private:
    std::int64_t pointsId;
    LetterBoxKey victim;
    bool done = false;  // collection thread only
};

TEST_F(PostOfficeTest, AnAccountRemovedDuringARunIsSkipped) {
    struct Case {
        const char* label;
        // Removed when the run begins downloading the first account ("tester").
        const char* removed;
        const char* kept;
    };
    const Case cases[] = {
        {"a later account, before its turn", "second", "tester"},
        {"the account whose download begins", "tester", "second"},
    };
    office->GetApprovedSenders().Add(kFriend);
    const std::map<std::string, std::string> passwords = {{"tester", "secret"},
                                                          {"second", "secret2"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        for (const auto& [user, password] : passwords) {
            office->RegisterPopAccount(KeyOf(user), password);
        }
        dovecot.AddMessage(c.removed, Message(kFriend, "x@example.test", "Removed"));
        dovecot.AddMessage(c.kept, Message(kFriend, "x@example.test", "Kept"));
        RemoveOnFirstDownload remover(office->GetDeliveryPoints().GetId(), KeyOf(c.removed));
        reporter->AddHandler(&remover);
        const auto outcome = Collect();
        reporter->RemoveHandler(&remover);
        EXPECT_TRUE(outcome.succeeded) << outcome.error;
        EXPECT_FALSE(office->IsAccountRegistered(KeyOf(c.removed)));
        EXPECT_EQ(dovecot.MessageCount(c.removed), 1) << "nothing taken for a removed account";
        EXPECT_EQ(Inbox(c.kept), Strings{"Kept"});
        EXPECT_EQ(dovecot.MessageCount(c.kept), 0);
        office->UnregisterAccount(KeyOf(c.kept));
        // Emptied for the next case: the removed account's message is left where it was.
        office->RegisterPopAccount(KeyOf(c.removed), passwords.at(c.removed));
        ASSERT_TRUE(Collect().succeeded);
        office->UnregisterAccount(KeyOf(c.removed));
    }
}

Strings LinesSoFar(ScriptedPopServer& server, std::size_t atLeast) {
    const auto deadline = std::chrono::steady_clock::now() + 30s;
    auto lines = server.Received(50ms);
    while (lines.size() < atLeast && std::chrono::steady_clock::now() < deadline) {
        lines = server.Received(50ms);
    }
    return lines;
}

TEST_F(PostOfficeTest, AStopDuringADownloadEndsTheRunAndKeepsWhatWasStored) {
    using popwiretest::Join;
    const auto answer = [](const std::string& reply) {
        return ScriptedPopServer::Answer(reply + "\r\n");
    };
    const std::string first = "From: " + kFriend + "\r\nSubject: Whole\r\n\r\nText\r\n.\r\n";
    // The second message stops half-way and the server goes silent for a minute, then hangs
    // up; the client would wait two. Only a stop that ends the wait itself sees "End of work"
    // (waiting it out would end the run with the closed connection instead).
    ScriptedPopServer server(Join(popwiretest::Greeting(), answer("-ERR no capabilities"),
                                  popwiretest::Login(2, 200), answer("-ERR no capabilities"),
                                  ScriptedPopServer::Answer("+OK\r\n1 uid-1\r\n2 uid-2\r\n.\r\n"),
                                  ScriptedPopServer::Answer("+OK\r\n" + first),
                                  ScriptedPopServer::Answer("+OK\r\nFrom: " + kFriend + "\r\n"),
                                  ScriptedPopServer::Pause(60s), ScriptedPopServer::Close()));
    const LetterBoxKey key("user@example.test", "user",
                           "127.0.0.1:" + std::to_string(server.Port()));
    office->RegisterPopAccount(key, "pass");
    const auto point = office->FindDeliveryPoint(key);
    ASSERT_NE(point, nullptr);
    dynamic_cast<PopLetterDistributor&>(*point->GetDistributor())
        .GetPopClient()
        ->GetData()
        .SetTimeoutInSeconds(120);

    office->StartCollecting(300);
    const auto lines = LinesSoFar(server, 8);
    ASSERT_EQ(lines.back(), "RETR 2");
    EXPECT_TRUE(office->Stop(30s)) << "the stop waited for the silent server";
    EXPECT_EQ(office->GetState(), PostOffice::State::Idle);
    const auto events = recorder.Events();
    ASSERT_GE(events.size(), 3u);
    EXPECT_EQ(Strings(events.end() - 3, events.end()),
              (Strings{"ErrorOccurred End of work", "CollectingFinished", "ApplicationExited"}));
    EXPECT_EQ(office->GetLastRun()->error, "End of work");
    EXPECT_EQ(RowCount("Letter"), 1) << "the whole message is kept for the next run";
    const auto all = server.Received();
    EXPECT_TRUE(std::none_of(all.begin(), all.end(), [](const std::string& line) {
        return line.rfind("DELE", 0) == 0;
    })) << "nothing is deleted";
}

TEST_F(PostOfficeTest, AStopWhileTheServerIsSilentEndsTheRunAtOnce) {
    using popwiretest::Join;
    using Step = ScriptedPopServer;
    // The client would wait two minutes for each of these servers.
    const popwiretest::Script silence{Step::Pause(120s)};
    struct Case {
        const char* label;
        popwiretest::Script script;
        std::size_t linesBeforeSilence;
    };
    const Case cases[] = {
        {"no greeting", silence, 0},
        {"TLS handshake",
         Join(popwiretest::Greeting(), Step::Answer("+OK\r\nSTLS\r\n.\r\n"),
              Step::Answer("+OK begin TLS\r\n"), silence),
         2},
        {"no answer to QUIT",
         Join(popwiretest::Greeting(), Step::Answer("-ERR no capabilities\r\n"),
              popwiretest::Login(0, 0), popwiretest::Script{Step::Expect()}, silence),
         5},
    };
    for (const auto& item : cases) {
        SCOPED_TRACE(item.label);
        ScriptedPopServer server(item.script);
        const LetterBoxKey key("user@example.test", "user",
                               "127.0.0.1:" + std::to_string(server.Port()));
        office->RegisterPopAccount(key, "pass");
        dynamic_cast<PopLetterDistributor&>(*office->FindDeliveryPoint(key)->GetDistributor())
            .GetPopClient()
            ->GetData()
            .SetTimeoutInSeconds(120);

        office->StartCollecting(300);
        ASSERT_TRUE(server.WaitForConnection(30s));
        // (A TLS hello may add lines of its own.)
        ASSERT_GE(LinesSoFar(server, item.linesBeforeSilence).size(), item.linesBeforeSilence);
        EXPECT_TRUE(office->Stop(30s)) << "the stop waited for the silent server";
        const auto events = recorder.Events();
        ASSERT_GE(events.size(), 3u);
        EXPECT_EQ(
            Strings(events.end() - 3, events.end()),
            (Strings{"ErrorOccurred End of work", "CollectingFinished", "ApplicationExited"}));
        office->UnregisterAccount(key);
    }
}

}  // namespace
