#include <gtest/gtest.h>

#include <boost/date_time/c_local_time_adjustor.hpp>
#include <boost/date_time/posix_time/posix_time.hpp>
#include <cstdlib>
#include <ctime>
#include <optional>
#include <string>
#include <vector>

#include "core/Exception.h"
#include "core/Format.h"
#include "database/LetterBoxLock.h"
#include "database/StoredTime.h"
#include "database/ThreadDatabase.h"
#include "support/LetterBoxHeldElsewhere.h"
#include "support/LetterStoreFiles.h"
#include "support/TrustedSenderListFixture.h"

using namespace DatabaseLayer;
namespace pt = boost::posix_time;

namespace {

using moxeltest::TrustedSenderListTest;
using Event = moxeltest::VerificationEventRecorder::Event;

const std::string kStranger = "stranger@example.com";

Event Creating(const std::string& account, const std::string& sender) {
    return {"CreatingVerificationRequest", account + " " + sender};
}

Event Approved(const std::string& sender) {
    return {"SenderApproved", sender};
}

std::string Bracketed(const std::string& code) {
    return "Re: Lunch? [" + code + "]";
}

// Sets the process's local time zone (TZ) for as long as it lives.
class LocalZone {
public:
    explicit LocalZone(const char* zone) {
        if (const char* old = std::getenv("TZ")) {
            saved = old;
        }
        setenv("TZ", zone, 1);
        tzset();
    }
    ~LocalZone() {
        if (saved) {
            setenv("TZ", saved->c_str(), 1);
        } else {
            unsetenv("TZ");
        }
        tzset();
    }
    LocalZone(const LocalZone&) = delete;
    LocalZone& operator=(const LocalZone&) = delete;

private:
    std::optional<std::string> saved;
};

// What the real clock shows in the local zone at the instant `utc`.
pt::ptime LocalTimeOf(const std::string& utc) {
    return boost::date_time::c_local_adjustor<pt::ptime>::utc_to_local(pt::time_from_string(utc));
}

TEST_F(TrustedSenderListTest, AnAddressWalksFromUnknownThroughPendingToApprovedAndExpires) {
    // Unknown -> Queued: one request with a new code; a second letter in the same pass adds
    // nothing, not even an event.
    Queue(kStranger, "Lunch?");
    Queue(kStranger, "Lunch again?");
    ASSERT_EQ(QueuedRequests().size(), 1u);
    const std::string code = QueuedRequests()[0].verificationCode;
    EXPECT_EQ(code.size(), 37u);
    EXPECT_EQ(QueuedRequests()[0].originalSubject, "Lunch?");
    EXPECT_EQ(recorder.events, std::vector<Event>{Creating(kAccount, kStranger)});
    EXPECT_EQ(PendingCount(), 0);

    // Queued -> Pending: the dispatch writes the letter, records the code and empties the queue.
    Dispatch();
    EXPECT_TRUE(QueuedRequests().empty());
    EXPECT_EQ(PendingCode(kStranger), code);
    EXPECT_EQ(SubjectsOf(*outgoing), std::vector<std::string>{Bracketed(code)});

    // 5 hours later: the event is raised, but it is too early to ask again.
    recorder.events.clear();
    AdvanceTo(kStart + pt::hours(5));
    Queue(kStranger, "Hello?");
    EXPECT_EQ(recorder.events, std::vector<Event>{Creating(kAccount, kStranger)});
    EXPECT_TRUE(QueuedRequests().empty());

    // 6 hours later: asked again with the same code, and the time of asking moves on.
    AdvanceTo(kStart + pt::hours(6));
    Queue(kStranger, "Hello?");
    ASSERT_EQ(QueuedRequests().size(), 1u);
    EXPECT_EQ(QueuedRequests()[0].verificationCode, code);
    Dispatch();
    EXPECT_EQ(SubjectsOf(*outgoing),
              (std::vector<std::string>{Bracketed(code), "Re: Hello? [" + code + "]"}));
    EXPECT_EQ(PendingCount(), 1);
    EXPECT_EQ(TimeFromSecondsText(PendingTimeText(kStranger)), kStart + pt::hours(6));

    // Pending -> Approved by a reply that keeps the code.
    recorder.events.clear();
    Reply(kStranger, "Re: Re: Hello? [" + code + "]");
    EXPECT_EQ(recorder.events, std::vector<Event>{Approved(kStranger)});
    EXPECT_TRUE(list->IsApprovedSender(kStranger));
    recorder.events.clear();
    Queue(kStranger, "Thanks");
    EXPECT_TRUE(recorder.events.empty());
    EXPECT_TRUE(QueuedRequests().empty());
    EXPECT_EQ(PendingCode(kStranger), code) << "the stale entry stays until it expires";

    // The entry expires 14 days after the last letter: kept at that very second, gone after.
    AdvanceTo(kStart + pt::hours(6) + pt::hours(14 * 24));
    Dispatch();
    EXPECT_EQ(PendingCode(kStranger), code);
    AdvanceTo(kStart + pt::hours(6) + pt::hours(14 * 24) + pt::seconds(1));
    Dispatch();
    EXPECT_EQ(PendingCount(), 0);
    EXPECT_TRUE(list->IsApprovedSender(kStranger));

    // Once forgotten, an address that is not approved starts again with a new code.
    list->GetSenderList().Remove(kStranger);
    Queue(kStranger, "Remember me?");
    ASSERT_EQ(QueuedRequests().size(), 1u);
    EXPECT_NE(QueuedRequests()[0].verificationCode, code);
}

TEST_F(TrustedSenderListTest, OneSenderWritingToTwoAccountsIsAskedOnceForTheFirst) {
    const std::string second = "other@home.example";
    Queue(kStranger, "To the first", kAccount);
    Queue(kStranger, "To the second", second);
    ASSERT_EQ(QueuedRequests().size(), 1u);
    EXPECT_EQ(QueuedRequests()[0].letterBoxAddress, kAccount);
    EXPECT_EQ(recorder.events, std::vector<Event>{Creating(kAccount, kStranger)});
    Dispatch();
    const auto letters = LettersOf(*outgoing);
    ASSERT_EQ(letters.size(), 1u);
    EXPECT_EQ(letters[0]->GetSender(), kAccount);
    EXPECT_EQ(letters[0]->GetRecipient(), kStranger);
    EXPECT_EQ(letters[0]->GetSubject().substr(0, 19), "Re: To the first [K");
}

TEST_F(TrustedSenderListTest, ApprovedSendersAndLettersWithoutSenderQueueNothing) {
    list->GetSenderList().Add("friend@example.com");
    list->GetSenderList().Add("partner.example");
    Queue("friend@example.com", "Hi");
    Queue("anyone@partner.example", "Hi");
    // Without an address there is nobody to ask.
    Queue("", "No From header");
    EXPECT_TRUE(QueuedRequests().empty());
    EXPECT_TRUE(recorder.events.empty());
    // Matching is exact: another case or a subdomain is a different sender.
    Queue("Friend@example.com", "Hi");
    Queue("someone@mail.partner.example", "Hi");
    EXPECT_EQ(QueuedRequests().size(), 2u);
}

TEST_F(TrustedSenderListTest, ARepeatWaitsThroughTheRepeatedHourButNotForAClockSetBack) {
    // Berlin's rules: summer time ends on the last Sunday of October, 03:00 back to 02:00.
    const LocalZone berlin("CET-1CEST,M3.5.0,M10.5.0/3");
    ASSERT_EQ(LocalTimeOf("2026-10-25 01:10:00"), pt::time_from_string("2026-10-25 02:10:00"));
    struct Case {
        const char* label;
        pt::ptime last;
        pt::ptime now;
        bool due;
    };
    const Case cases[] = {
        {"asked at 02:30 in summer time, again at 02:10 in winter time",
         LocalTimeOf("2026-10-25 00:30:00"), LocalTimeOf("2026-10-25 01:10:00"), false},
        {"across the whole repeated hour", LocalTimeOf("2026-10-25 00:59:59"),
         LocalTimeOf("2026-10-25 01:00:00"), false},
        {"six hours of local time after the change", LocalTimeOf("2026-10-25 00:30:00"),
         LocalTimeOf("2026-10-25 07:30:00"), true},
        {"clock set back by three hours", kStart + pt::hours(3), kStart, true},
        {"clock set back by two days", kStart + pt::hours(48), kStart, true},
    };
    int i = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        const std::string sender = "sender" + std::to_string(++i) + "@example.com";
        list->GetData().GetPendingAddresses().AddEntry(sender, "KVRQ-1", c.last);
        AdvanceTo(c.now);
        Queue(sender, "Hello?");
        ASSERT_EQ(QueuedRequests().size(), c.due ? 1u : 0u);
        Dispatch();
        EXPECT_EQ(TimeFromSecondsText(PendingTimeText(sender)), c.due ? c.now : c.last);
        EXPECT_EQ(PendingCode(sender), "KVRQ-1");
    }
}

TEST_F(TrustedSenderListTest, AwkwardAddressesAreStoredAndMatchedExactly) {
    const std::vector<std::string> senders = {"o'neil@example.com", "o''brien@example.com",
                                              "jürgen@bücher.example", "100%@example.com %1%",
                                              std::string(5000, 'a') + "@example.com"};
    for (const auto& sender : senders) {
        SCOPED_TRACE(sender.substr(0, 30));
        recorder.events.clear();
        AdvanceTo(kStart);
        Queue(sender, "Hello");
        Queue(sender, "Hello again");
        ASSERT_EQ(QueuedRequests().size(), 1u);
        EXPECT_EQ(QueuedRequests()[0].recipientAddress, sender);
        const std::string code = QueuedRequests()[0].verificationCode;
        Dispatch();
        EXPECT_EQ(PendingCode(sender), code);
        // Found again as pending: too early for a second letter.
        AdvanceTo(kStart + pt::hours(1));
        Queue(sender, "Hello?");
        EXPECT_TRUE(QueuedRequests().empty());
        Reply(sender, "Re: [" + code + "]");
        EXPECT_TRUE(list->IsApprovedSender(sender));
        EXPECT_EQ(recorder.events.back(), Approved(sender));
    }
}

TEST_F(TrustedSenderListTest, AReplyFromAnotherAddressApprovesBothSenderFirst) {
    Queue(kStranger, "Lunch?");
    Dispatch();
    const std::string code = PendingCode(kStranger);
    recorder.events.clear();
    Reply("stranger.at.work@example.org", "RE: Lunch? [" + code + "]");
    EXPECT_EQ(recorder.events,
              (std::vector<Event>{Approved("stranger.at.work@example.org"), Approved(kStranger)}));
    EXPECT_EQ(list->GetSenderList().GetEntries(),
              (std::vector<std::string>{"stranger.at.work@example.org", kStranger}));
    EXPECT_TRUE(LettersOf(*recent).empty());
}

TEST_F(TrustedSenderListTest, ApprovingAnApprovedSenderAddsNothingButIsStillReported) {
    Queue(kStranger, "Lunch?");
    Dispatch();
    const std::string code = PendingCode(kStranger);
    list->GetSenderList().Add("example.org");
    recorder.events.clear();
    Reply("colleague@example.org", Bracketed(code));
    Reply(kStranger, Bracketed(code));
    EXPECT_EQ(recorder.events, (std::vector<Event>{Approved("colleague@example.org"),
                                                   Approved(kStranger), Approved(kStranger)}));
    EXPECT_EQ(list->GetSenderList().GetEntries(),
              (std::vector<std::string>{"example.org", kStranger}));
}

TEST_F(TrustedSenderListTest, AReplyWithoutSenderApprovesOnlyTheAddressAsked) {
    Queue(kStranger, "Lunch?");
    Dispatch();
    const std::string code = PendingCode(kStranger);
    recorder.events.clear();
    Collect("Subject: " + Bracketed(code) + "\n\nno From header");
    ProcessReplies();
    EXPECT_EQ(recorder.events, std::vector<Event>{Approved(kStranger)});
    EXPECT_EQ(list->GetSenderList().GetEntries(), std::vector<std::string>{kStranger});
    EXPECT_FALSE(list->IsApprovedSender("")) << "an empty entry would approve every empty sender";
}

TEST_F(TrustedSenderListTest, EveryWellFormedCodeIsConsumedWhetherItMatchesOrNot) {
    Queue(kStranger, "Lunch?");
    Dispatch();
    const std::string code = PendingCode(kStranger);
    std::string lower = code;
    for (auto& c : lower) {
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    lower.replace(0, 5, "KVRQ-");
    const int filesBefore = moxeltest::CountStoreFiles();
    Collect("From: a@example.com\nSubject: Ordinary mail\n\nkeep me");
    Collect("From: b@example.com\nSubject: Re: [" + lower + "]\n\nlower case");
    Collect("From: c@example.com\nSubject: Re: [KVRQ-00000000000000000000000000000000]\n\nx");
    Collect("From: d@example.com\nSubject: KVRQ-later " + code + "\n\nfirst prefix bad");
    // 31 digits before the bracket: a check that skipped the last character would consume it.
    Collect("From: e@example.com\nSubject: Re: [" + code.substr(0, 36) + "]\n\ncut short");
    Collect("From: f@example.com\nSubject: " + Bracketed(code) + "\n\nthe real reply");
    recorder.events.clear();
    {
        // The delivery point has the box open already; opens nest.
        LetterBoxLock held(*recent);
        ProcessReplies();
    }
    EXPECT_EQ(SubjectsOf(*recent), (std::vector<std::string>{"Ordinary mail", "KVRQ-later " + code,
                                                             "Re: [" + code.substr(0, 36) + "]"}));
    EXPECT_EQ(recorder.events,
              (std::vector<Event>{Approved("f@example.com"), Approved(kStranger)}));
    EXPECT_FALSE(list->IsApprovedSender("b@example.com"));
    EXPECT_FALSE(list->IsApprovedSender("c@example.com"));
    // The consumed replies are gone with their texts and their temporary box.
    EXPECT_EQ(moxeltest::CountStoreFiles(), filesBefore + 3);
    EXPECT_EQ(ExecuteScalar("SELECT COUNT(*) FROM Letter;"), 3 + 1) << "the held and the sent";
    EXPECT_EQ(ExecuteScalar("SELECT COUNT(*) FROM LetterCollection;"), 2);
    for (const auto& letter : LettersOf(*recent)) {
        EXPECT_FALSE(letter->GetText().empty());
    }
}

TEST_F(TrustedSenderListTest, AFailedApprovalPutsEveryReplyBackWithItsText) {
    Queue(kStranger, "Lunch?");
    Dispatch();
    const std::string code = PendingCode(kStranger);
    const std::string text = "From: " + kStranger + "\nSubject: " + Bracketed(code) + "\n\nIt's me";
    const std::int64_t reply = Collect(text);
    ExecuteStatement(
        "CREATE TRIGGER refuse_entries BEFORE INSERT ON String "
        "BEGIN SELECT RAISE(ABORT, 'disk full'); END;");
    EXPECT_THROW(ProcessReplies(), Exception);
    EXPECT_FALSE(list->IsApprovedSender(kStranger));
    {
        const auto letters = LettersOf(*recent);
        ASSERT_EQ(letters.size(), 1u);
        EXPECT_EQ(letters[0]->GetId(), reply);
        EXPECT_EQ(letters[0]->GetText(), text);
    }
    EXPECT_EQ(ExecuteScalar("SELECT COUNT(*) FROM LetterCollection;"), 2);

    // With the fault gone, the next sort approves.
    ExecuteStatement("DROP TRIGGER refuse_entries;");
    ProcessReplies();
    EXPECT_TRUE(list->IsApprovedSender(kStranger));
    EXPECT_TRUE(LettersOf(*recent).empty());
}

TEST_F(TrustedSenderListTest, RepliesWaitWhileAnotherThreadHoldsTheirBox) {
    Queue(kStranger, "Lunch?");
    Dispatch();
    Collect("From: " + kStranger + "\nSubject: " + Bracketed(PendingCode(kStranger)) + "\n\nme");
    {
        moxeltest::LetterBoxHeldElsewhere held(recent->GetId());
        EXPECT_EQ(ErrorOf([this] { ProcessReplies(); }), "Unable to open LetterBox");
    }
    EXPECT_EQ(LettersOf(*recent).size(), 1u);
    EXPECT_FALSE(list->IsApprovedSender(kStranger));
    ProcessReplies();
    EXPECT_TRUE(list->IsApprovedSender(kStranger));
}

TEST_F(TrustedSenderListTest, ANewListStoresItsTimesAndIsFoundAgainById) {
    const std::int64_t id = list->GetId();
    auto field = [id](const std::string& name) {
        return ExecuteQuery(Format("SELECT %1% FROM TrustedSenderList WHERE id = %2%;", name, id))
            .GetStringField(name);
    };
    EXPECT_EQ(field("timeVerificationExpires"), "336:00:00");
    EXPECT_EQ(field("timeBetweenVerificationRequests"), "06:00:00");

    list->GetSenderList().Add("friend@example.com");
    Queue(kStranger, "Lunch?");
    Queue("queued@example.com", "Still queued");
    list->GetData().GetPendingAddresses().AddEntry("pending@example.com", "KVRQ-2", kStart);
    list->GetData().SetTimeBetweenVerificationRequests(pt::minutes(90));
    list.reset();

    TrustedSenderList reopened(id);
    EXPECT_TRUE(reopened.IsApprovedSender("friend@example.com"));
    EXPECT_TRUE(reopened.GetData().GetRequestQueue().HoldsRequestFor("queued@example.com"));
    EXPECT_EQ(reopened.GetData()
                  .GetPendingAddresses()
                  .FindByAddress("pending@example.com")
                  ->GetVerificationCode(),
              "KVRQ-2");
    EXPECT_EQ(reopened.GetData().GetTimeBetweenVerificationRequests(), pt::minutes(90));
    EXPECT_EQ(field("timeBetweenVerificationRequests"), "01:30:00");
}

TEST_F(TrustedSenderListTest, AListThatIsNotKeptLeavesNoRows) {
    const char* tables[] = {"TrustedSenderList",
                            "SenderList",
                            "StringCollection",
                            "String",
                            "VerificationRequestCollection",
                            "VerificationRequest",
                            "AddressPendingVerificationCollection",
                            "AddressPendingVerification"};
    list->SetPersistent(false);
    list.reset();
    {
        TrustedSenderList scratch;
        scratch.GetSenderList().Add("friend@example.com");
        scratch.QueueVerificationRequest(*MakeLetter(kStranger, "Lunch?"), kAccount, clock,
                                         reporter);
        scratch.GetData().GetPendingAddresses().AddEntry("pending@example.com", "KVRQ-3", kStart);
        for (const char* table : tables) {
            EXPECT_EQ(ExecuteScalar(Format("SELECT COUNT(*) FROM %1%;", table)), 1) << table;
        }
    }
    for (const char* table : tables) {
        EXPECT_EQ(ExecuteScalar(Format("SELECT COUNT(*) FROM %1%;", table)), 0) << table;
    }
}

TEST_F(TrustedSenderListTest, UnreadableStoredTimesFallBackToTheDefaults) {
    ExecuteStatement(
        Format("UPDATE TrustedSenderList SET timeVerificationExpires = '', "
               "timeBetweenVerificationRequests = 'soon' WHERE id = %1%;",
               list->GetId()));
    EXPECT_EQ(list->GetData().GetTimeVerificationExpires(), pt::hours(14 * 24));
    EXPECT_EQ(list->GetData().GetTimeBetweenVerificationRequests(), pt::hours(6));
    Queue(kStranger, "Lunch?");
    Dispatch();
    AdvanceTo(kStart + pt::hours(5));
    Queue(kStranger, "Hello?");
    EXPECT_TRUE(QueuedRequests().empty());
    AdvanceTo(kStart + pt::hours(6));
    Queue(kStranger, "Hello?");
    EXPECT_EQ(QueuedRequests().size(), 1u);
}

}  // namespace
