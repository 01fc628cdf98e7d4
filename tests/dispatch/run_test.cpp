// The dispatch run beyond the faults of the server: the retry schedule on a fixed clock, empty
// and not-yet-due boxes, local delivery, the three ways of authorisation, a stop during a run,
// and bad server settings.
#include <chrono>

#include "DispatchTest.h"
#include "peers/ScriptedPopServer.h"
#include "postoffice/MailDeliveryPoint.h"
#include "postoffice/PopLetterDistributor.h"
#include "support/LetterBoxContents.h"
#include "support/LetterBoxHeldElsewhere.h"
#include "support/LetterStoreFiles.h"
#include "support/LoopbackSockets.h"
#include "support/MemoryPopClient.h"

namespace dispatchtest {
namespace {

using namespace std::chrono_literals;
using moxeltest::ScriptedPopServer;

// A server that refuses every recipient of the run's letters (`letters` of them).
Script RefusingRecipients(int letters) {
    Script script = Join(Greeting(), Ehlo());
    for (int index = 0; index < letters; ++index) {
        AppendToScript(script, Join(index == 0 ? Script{} : Ok(), Ok(),
                                    Step::Answer("550 5.1.1 no such user\r\n")));
    }
    return Join(script, Quit());
}

struct ScheduleStep {
    pt::time_duration sinceFirstFailure;  // when the attempt is due
    int countAfter;                       // its count after it failed; 0: dropped
};

TEST_F(DispatchTest, AFailingLetterIsTriedExactlyOnTheScheduleAndDroppedAfterTheNinthAttempt) {
    AddLetter("one");
    // Past the ninth attempt: never tried again, never dropped.
    AddLetter("stale", kFriend, 9, kStart - pt::hours(24 * 100));
    const ScheduleStep schedule[] = {
        {pt::seconds(0), 1}, {pt::seconds(1), 2}, {pt::hours(1), 3},
        {pt::hours(12), 4},  {pt::hours(24), 5},  {pt::hours(36), 6},
        {pt::hours(48), 7},  {pt::hours(60), 8},  {pt::hours(72), 0},
    };
    for (std::size_t attempt = 0; attempt < std::size(schedule); ++attempt) {
        const ScheduleStep& step = schedule[attempt];
        SCOPED_TRACE("attempt " + std::to_string(attempt + 1));
        const bool last = attempt + 1 == std::size(schedule);
        if (attempt >= 2) {
            // A second early the letter is not due: the run connects and sends nothing.
            clock.Set(kStart + step.sinceFirstFailure - pt::seconds(1));
            ScriptedSmtpServer idle(Join(Greeting(), Ehlo(), Quit()));
            UseServer(idle.Port());
            recorder.Clear();
            EXPECT_EQ(Dispatch(), "");
            EXPECT_EQ(recorder.Events(), (Strings{"SendingMail", "MessagesSent 0"}));
            EXPECT_EQ(BoxState(), (Strings{"one " + std::to_string(attempt), "stale 9"}));
        }
        clock.Set(kStart + step.sinceFirstFailure);
        ScriptedSmtpServer refusing(RefusingRecipients(1));
        UseServer(refusing.Port());
        recorder.Clear();
        EXPECT_EQ(Dispatch(), "");
        EXPECT_EQ(
            recorder.Events(),
            (Strings{"SendingMail", "SendingMessage one",
                     last ? "MessageNotSent one giveUp" : "MessageNotSent one", "MessagesSent 0"}));
        const Strings left = last ? Strings{"stale 9"}
                                  : Strings{"one " + std::to_string(step.countAfter), "stale 9"};
        EXPECT_EQ(BoxState(), left);
    }
}

TEST_F(DispatchTest, AnEmptyBoxMakesNoConnectionAndNoEvent) {
    // Nothing listens here: a connection would fail the run.
    UseServer(moxeltest::UnusedLoopbackPort());
    EXPECT_EQ(Dispatch(), "");
    EXPECT_TRUE(recorder.Events().empty());
    EXPECT_FALSE(point->GetLetterBox().IsOpen());
}

TEST_F(DispatchTest, ABoxOfLettersNotYetDueConnectsAndReportsNoneSent) {
    AddLetter("waiting", kFriend, 2, kStart - pt::minutes(59));
    ScriptedSmtpServer server(Join(Greeting(), Ehlo(), Quit()));
    UseServer(server.Port());
    EXPECT_EQ(Dispatch(), "");
    EXPECT_EQ(recorder.Events(), (Strings{"SendingMail", "MessagesSent 0"}));
    EXPECT_EQ(recorder.Hosts(), Strings{point->GetSmtpServerAddress()});
    EXPECT_EQ(BoxState(), Strings{"waiting 2"});
    EXPECT_EQ(server.Transcript().find("MAIL"), std::string::npos) << server.Transcript();
}

TEST_F(DispatchTest, ALetterToAProtectedAddressGoesToItsInboxWithoutSmtp) {
    moxeltest::MemoryMailbox::ResetAll();
    moxeltest::MemoryPopClient::Register();
    MailDeliveryPoint own(kMe, std::make_shared<PopLetterDistributor>(
                                   std::make_shared<moxeltest::MemoryPopClient>("pop.example")));
    ASSERT_TRUE(accounts->Attach(LetterBoxKey(kMe, "me", "pop.example"), own));
    AddLetter("to me", kMe);
    AddLetter("to friend");
    // Only the letter to the friend crosses the wire.
    ScriptedSmtpServer server(Join(Greeting(), Ehlo(), Accepted(), Quit()));
    UseServer(server.Port());

    EXPECT_EQ(Dispatch(), "");
    const Strings events = recorder.Events();
    EXPECT_EQ(events.size(), 6u);
    EXPECT_EQ(events.back(), "MessagesSent 2");
    for (const char* subject : {"to me", "to friend"}) {
        EXPECT_EQ(std::count(events.begin(), events.end(), std::string("MessageSent ") + subject),
                  1);
    }
    EXPECT_TRUE(BoxState().empty());
    EXPECT_EQ(moxeltest::SubjectsIn(own.GetInbox()), Strings{"to me"});
    const std::string wire = server.Transcript();
    EXPECT_EQ(wire.find("RCPT TO:<" + kMe), std::string::npos) << wire;
    EXPECT_NE(wire.find("RCPT TO:<" + kFriend), std::string::npos) << wire;

    // An inbox that another thread holds is a failed attempt like any other.
    AddLetter("to me again", kMe);
    ScriptedSmtpServer second(Join(Greeting(), Ehlo(), Quit()));
    UseServer(second.Port());
    recorder.Clear();
    {
        moxeltest::LetterBoxHeldElsewhere held(own.GetInbox()->GetId());
        EXPECT_EQ(Dispatch(), "");
    }
    EXPECT_EQ(recorder.Errors(), Strings{"Unable to open LetterBox"});
    EXPECT_EQ(BoxState(), Strings{"to me again 1"});
}

struct LoginCase {
    const char* label;
    bool enabled;
    int method;
    bool smtpLogin;
    bool popLogin;
};

TEST_F(DispatchTest, LogsInOnlyTheWayTheSettingsAsk) {
    const LoginCase cases[] = {
        {"method 1", true, 1, true, false},
        {"method 2", true, 2, false, true},
        {"disabled, method 1", false, 1, false, false},
        {"disabled, method 2", false, 2, false, false},
        {"unknown method", true, 3, false, false},
    };
    point->SetUserName("smtp-user");
    point->SetPassword("smtp-pass");
    point->SetPopUserName("pop-user");
    point->SetPopPassword("pop-pass");
    for (const auto& item : cases) {
        SCOPED_TRACE(item.label);
        AddLetter("letter");
        point->SetAuthorizationEnabled(item.enabled);
        point->SetAuthorizationMethod(item.method);
        ScriptedPopServer pop({ScriptedPopServer::Send("+OK ready\r\n"),
                               ScriptedPopServer::Expect(), ScriptedPopServer::Send("+OK\r\n"),
                               ScriptedPopServer::Expect(), ScriptedPopServer::Send("+OK\r\n"),
                               ScriptedPopServer::Expect(), ScriptedPopServer::Send("+OK 0 0\r\n"),
                               ScriptedPopServer::Expect(), ScriptedPopServer::Send("+OK\r\n")});
        point->SetPopServer(Format("127.0.0.1:%1%", pop.Port()));
        ScriptedSmtpServer smtp(Join(Greeting(), Ehlo("AUTH PLAIN"),
                                     item.smtpLogin ? Step::Answer("235 2.7.0 ok\r\n") : Script{},
                                     Accepted(), Quit()));
        UseServer(smtp.Port());

        EXPECT_EQ(Dispatch(), "");
        EXPECT_TRUE(BoxState().empty());
        const std::string wire = smtp.Transcript();
        EXPECT_EQ(wire.find("AUTH PLAIN AHNtdHAtdXNlcgBzbXRwLXBhc3M=") != std::string::npos,
                  item.smtpLogin)
            << wire;
        const Strings popLines = pop.Received(item.popLogin ? 10s : 100ms);
        EXPECT_EQ(popLines, item.popLogin
                                ? (Strings{"USER pop-user", "PASS pop-pass", "STAT", "QUIT"})
                                : Strings{});
    }
}

TEST_F(DispatchTest, AFailedPopLoginFailsTheRunBeforeAnySmtpConnection) {
    AddLetter("letter");
    point->SetAuthorizationEnabled(true);
    point->SetAuthorizationMethod(2);
    ScriptedPopServer pop({ScriptedPopServer::Send("+OK ready\r\n"), ScriptedPopServer::Expect(),
                           ScriptedPopServer::Send("+OK\r\n"), ScriptedPopServer::Expect(),
                           ScriptedPopServer::Send("-ERR [AUTH] invalid password\r\n")});
    point->SetPopServer(Format("127.0.0.1:%1%", pop.Port()));
    // Nothing listens here: an SMTP connection would change the error.
    UseServer(moxeltest::UnusedLoopbackPort());

    const std::string error = Dispatch();
    EXPECT_EQ(error, "User authentication failed");
    EXPECT_EQ(recorder.Events(), Strings{"SendingMail"});
    EXPECT_EQ(BoxState(), Strings{"letter 0"});
    EXPECT_TRUE(pop.WaitForEnd(5s));
    EXPECT_FALSE(point->GetLetterBox().IsOpen());
}

// Stops the program's work as soon as the first letter has gone out.
class StopAfterFirstLetter : public MoxelCoreEventHandler {
public:
    void MessageSent(const ThreadId&, const LetterPtr&) override { TimeCard::PunchOut(); }
};

TEST_F(DispatchTest, AStopDuringARunLeavesTheLettersNotYetSentWithTheirCounts) {
    AddLetter("a");
    AddLetter("b", kFriend, 1, kStart - pt::hours(1));
    AddLetter("c", kFriend, 3, kStart - pt::hours(13));
    StopAfterFirstLetter stopper;
    reporter.AddHandler(&stopper);
    ScriptedSmtpServer server(Join(Greeting(), Ehlo(), Accepted(), Quit()));
    UseServer(server.Port());

    const std::string error = Dispatch();
    reporter.RemoveHandler(&stopper);
    EXPECT_EQ(error, "End of work");
    const Strings events = recorder.Events();
    ASSERT_EQ(events.size(), 3u);
    EXPECT_EQ(events.back().rfind("MessageSent ", 0), 0u) << events.back();
    const Strings left = BoxState();
    EXPECT_EQ(left.size(), 2u);
    // The sent letter's text went when the run stopped; the others keep theirs.
    EXPECT_EQ(moxeltest::CountStoreFiles(), 2);
    for (const std::string expected : {"a 0", "b 1", "c 3"}) {
        if (events.back() != "MessageSent " + expected.substr(0, 1)) {
            EXPECT_NE(std::find(left.begin(), left.end(), expected), left.end()) << expected;
        }
    }
    EXPECT_TRUE(server.WaitForEnd(5s)) << "the connection is closed";
    EXPECT_FALSE(point->GetLetterBox().IsOpen());
}

TEST_F(DispatchTest, ABadServerSettingFailsTheRunWithAClearText) {
    AddLetter("letter");
    for (const char* setting : {"127.0.0.1:x", "127.0.0.1:70000", ":25", ""}) {
        SCOPED_TRACE(setting);
        point->SetSmtpServerAddress(setting);
        const std::string error = Dispatch();
        EXPECT_NE(error.find("cannot be used"), std::string::npos) << error;
        EXPECT_NE(error.find("smtp.example.com:587"), std::string::npos) << error;
    }
    EXPECT_EQ(BoxState(), Strings{"letter 0"});
}

TEST_F(DispatchTest, ASecondRunWhileAnotherThreadHoldsTheBoxFailsBeforeConnecting) {
    AddLetter("letter");
    UseServer(moxeltest::UnusedLoopbackPort());
    moxeltest::LetterBoxHeldElsewhere held(point->GetLetterBox().GetId());
    EXPECT_EQ(Dispatch(), "Unable to open LetterBox");
    EXPECT_TRUE(recorder.Events().empty());
}

}  // namespace
}  // namespace dispatchtest
