#include <gtest/gtest.h>

#include <boost/date_time/posix_time/posix_time.hpp>
#include <functional>
#include <string>
#include <vector>

#include "core/Exception.h"
#include "core/Format.h"
#include "database/AppPropertyCollection.h"
#include "database/LetterBoxLock.h"
#include "database/Schema.h"
#include "database/StoredTime.h"
#include "database/ThreadDatabase.h"
#include "database/Transaction.h"
#include "postoffice/MessageIds.h"
#include "support/LetterBoxHeldElsewhere.h"
#include "support/TrustedSenderListFixture.h"

using namespace DatabaseLayer;
namespace pt = boost::posix_time;

namespace {

using moxeltest::TrustedSenderListTest;
using VerificationLetterTest = TrustedSenderListTest;

const std::string kStranger = "stranger@example.com";

// Fails every change of a letter's recipient to `recipient`, as a full disk would.
void RefuseLettersTo(const std::string& recipient) {
    ExecuteStatement(
        Format("CREATE TRIGGER refuse_letter BEFORE UPDATE OF recipient ON Letter "
               "WHEN NEW.recipient = '%1%' BEGIN SELECT RAISE(ABORT, 'disk full'); "
               "END;",
               recipient));
}

std::string Sender(int i) {
    return "sender" + std::to_string(i) + "@example.com";
}

TEST_F(VerificationLetterTest, TheDefaultTemplatesQuoteTheSubjectAndNameBothAddresses) {
    Queue(kStranger, "Lunch?");
    Dispatch();
    const std::string code = PendingCode(kStranger);
    const auto letters = LettersOf(*outgoing);
    ASSERT_EQ(letters.size(), 1u);
    const std::string text = letters[0]->GetText();
    std::string headers = text.substr(0, text.find("\n\n"));
    // The letter's own Message-ID differs every time.
    const auto idStart = headers.find("\nMessage-ID: <") + 13;
    const auto idEnd = headers.find('\n', idStart);
    EXPECT_EQ(CleanMessageId(headers.substr(idStart, idEnd - idStart)),
              headers.substr(idStart, idEnd - idStart));
    headers.replace(idStart, idEnd - idStart, "<id>");
    EXPECT_EQ(headers, "Auto-Submitted: auto-replied\nContent-Type: text/plain\nFrom: " + kAccount +
                           "\nMessage-ID: <id>\nMIME-Version: 1.0\nSubject: Re: Lunch? [" + code +
                           "]\nTo: " + kStranger);
    EXPECT_EQ(letters[0]->GetReturnPath(), "");
    const std::string body = text.substr(text.find("\n\n") + 2);
    EXPECT_EQ(body.substr(0, 43), "***** THIS IS AN AUTOMATED RESPONSE ***** \n");
    EXPECT_NE(
        body.find("\nYou recently sent a message to " + kAccount + " from " + kStranger + ".\n"),
        std::string::npos)
        << body;
    EXPECT_NE(body.find("\nNote: Please keep the verification code in the subject intact.\n"),
              std::string::npos);
    EXPECT_EQ(body.find('%'), std::string::npos) << "every placeholder is filled";
}

TEST_F(VerificationLetterTest, LongSubjectsAreCutTo27CharactersAndAnEllipsis) {
    struct Case {
        const char* label;
        std::string subject;
        std::string quoted;
    };
    const Case cases[] = {
        {"one word", "Hello", "Hello"},
        {"30 characters", "Minutes of the meeting, item 1", "Minutes of the meeting, item 1"},
        {"31 characters", "Minutes of the meeting, item 12", "Minutes of the meeting, ite..."},
        {"10 KB", std::string(10240, 'z'), std::string(27, 'z') + "..."},
        {"empty", "", ""},
    };
    int i = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        const std::string sender = Sender(++i);
        Queue(sender, c.subject);
        Dispatch();
        const auto letters = LettersOf(*outgoing);
        ASSERT_EQ(letters.size(), static_cast<std::size_t>(i));
        EXPECT_EQ(letters.back()->GetSubject(),
                  "Re: " + c.quoted + " [" + PendingCode(sender) + "]");
    }
}

TEST_F(VerificationLetterTest, TemplatesEditedByTheUserAlwaysGiveALetter) {
    struct Case {
        const char* label;
        std::string subject;
        std::string body;
        std::string expectedSubject;
        std::string expectedBody;
    };
    // %C% stands for the code, which is drawn afresh for every case.
    const Case cases[] = {
        {"stray percent signs", "100% sure [%2%] 50%", "Hi %1%, 100%% sure %",
         "100% sure [%C%] 50%", "Hi " + kStranger + ", 100%% sure %"},
        {"no placeholders", "Please verify", "Reply, please.", "Please verify", "Reply, please."},
        {"unknown placeholders", "%3% %2% %0% %s", "%2% %9% %1$s", "%3% %C% %0% %s",
         kAccount + " %9% %1$s"},
        {"placeholders swapped", "[%2%] %1%", "%2% to %1%", "[%C%] Lunch?",
         kAccount + " to " + kStranger},
        {"a header break typed in", "Re: %1%\nBcc: victim@example.org", "x",
         "Re: Lunch? Bcc: victim@example.org", "x"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        GetAppProperties().SetValue("VerificationRequestSubject", c.subject);
        GetAppProperties().SetValue("VerificationRequestBody", c.body);
        Queue(kStranger, "Lunch?");
        ASSERT_NO_THROW(Dispatch());
        const std::string code = PendingCode(kStranger);
        const auto letters = LettersOf(*outgoing);
        ASSERT_FALSE(letters.empty());
        std::string expectedSubject = c.expectedSubject;
        if (const auto at = expectedSubject.find("%C%"); at != std::string::npos) {
            expectedSubject.replace(at, 3, code);
        }
        EXPECT_EQ(letters.back()->GetSubject(), expectedSubject);
        const std::string text = letters.back()->GetText();
        EXPECT_EQ(text.substr(text.find("\n\n") + 2), c.expectedBody);
        EXPECT_EQ(text.find("\nBcc:"), std::string::npos);
        // The same sender again: asked again later with the same code.
        AdvanceTo(clock.Now() + pt::hours(6));
    }
}

TEST_F(VerificationLetterTest, ExpiryComparesTimesAsNumbers) {
    // Near the reference time the stored counts differ in length: as texts "86400" would sort
    // after "691200".
    const pt::ptime reference = GetReferenceTime();
    list->GetData().SetTimeVerificationExpires(pt::hours(2 * 24));
    auto& pending = list->GetData().GetPendingAddresses();
    pending.AddEntry("one.day@example.com", "KVRQ-1", reference + pt::hours(24));
    pending.AddEntry("just.before@example.com", "KVRQ-2",
                     reference + pt::hours(8 * 24) - pt::seconds(1));
    pending.AddEntry("at.cutoff@example.com", "KVRQ-3", reference + pt::hours(8 * 24));
    pending.AddEntry("nine.days@example.com", "KVRQ-4", reference + pt::hours(9 * 24));
    pending.AddEntry("never@example.com", "KVRQ-5", reference);
    ExecuteStatement(
        "UPDATE AddressPendingVerification SET lastVerificationTime = '' WHERE "
        "address = 'never@example.com';");
    AdvanceTo(reference + pt::hours(10 * 24));
    Dispatch();
    EXPECT_EQ(PendingCode("one.day@example.com"), "");
    EXPECT_EQ(PendingCode("just.before@example.com"), "");
    EXPECT_EQ(PendingCode("never@example.com"), "");
    EXPECT_EQ(PendingCode("at.cutoff@example.com"), "KVRQ-3");
    EXPECT_EQ(PendingCode("nine.days@example.com"), "KVRQ-4");
}

TEST_F(VerificationLetterTest, AnotherListsEntriesAreLeftAlone) {
    TrustedSenderList other;
    other.GetData().GetPendingAddresses().AddEntry(kStranger, "KVRQ-OTHER",
                                                   kStart - pt::hours(100 * 24));
    Queue(kStranger, "Lunch?");
    Dispatch();
    EXPECT_EQ(ExecuteScalar("SELECT COUNT(*) FROM AddressPendingVerification;"), 2);
    EXPECT_NE(list->GetData().GetPendingAddresses().FindByAddress(kStranger)->GetVerificationCode(),
              "KVRQ-OTHER");
    EXPECT_EQ(other.GetData().GetPendingAddresses().FindByAddress(kStranger)->GetVerificationCode(),
              "KVRQ-OTHER");
}

// Calls `queue` for each of `count` senders; the one at `poisoned` (0-based) is the address
// whose letter the database refuses.
void QueueMany(int count, int poisoned, const std::function<void(const std::string&)>& queue) {
    // One transaction, as the sorting of collected letters has.
    Transaction transaction;
    for (int i = 0; i < count; ++i) {
        queue(i == poisoned ? "poison@example.com" : Sender(i));
    }
}

TEST_F(VerificationLetterTest, LettersAreCommittedInBatchesOf100) {
    RefuseLettersTo("poison@example.com");
    struct Case {
        int poisoned;
        int kept;
    };
    const Case cases[] = {{0, 0}, {99, 0}, {100, 100}, {199, 100}, {200, 200}, {249, 200}};
    for (const auto& c : cases) {
        SCOPED_TRACE("poisoned request " + std::to_string(c.poisoned));
        TrustedSenderList fresh;
        LetterBox box;
        QueueMany(250, c.poisoned, [&](const std::string& sender) {
            fresh.QueueVerificationRequest(*MakeLetter(sender, "Hi"), kAccount, clock, reporter);
        });
        const std::string error = ErrorOf([&] { fresh.DispatchVerificationRequests(clock, box); });
        EXPECT_NE(error.find("disk full"), std::string::npos) << error;
        LetterBoxLock lock(box);
        EXPECT_EQ(box.GetLetterCount(), c.kept);
        // A request leaves the queue in the transaction that writes its letter, and only then.
        EXPECT_EQ(fresh.GetData().GetRequestQueue().GetElementCount(), 250 - c.kept);
    }
}

TEST_F(VerificationLetterTest, AFailedBatchLeavesOnlyTheUnwrittenRequestsForTheNextRun) {
    RefuseLettersTo("poison@example.com");
    QueueMany(250, 150, [&](const std::string& sender) { Queue(sender, "Hi"); });
    EXPECT_THROW(Dispatch(), Exception);
    // The first batch stands, complete and readable; the pending addresses were recorded.
    auto letters = LettersOf(*outgoing);
    ASSERT_EQ(letters.size(), 100u);
    for (int i = 0; i < 100; ++i) {
        EXPECT_EQ(letters[i]->GetRecipient(), Sender(i));
        EXPECT_NE(letters[i]->GetText().find("To: " + Sender(i)), std::string::npos);
    }
    letters.clear();
    const auto queued = QueuedRequests();
    ASSERT_EQ(queued.size(), 150u);
    EXPECT_EQ(queued.front().recipientAddress, Sender(100));
    EXPECT_EQ(PendingCount(), 250);
    // A sender already written to, or still queued, is not asked again in the same pass.
    Queue(Sender(3), "Again");
    Queue(Sender(120), "Again");
    EXPECT_EQ(QueuedRequests().size(), 150u);

    ExecuteStatement("DROP TRIGGER refuse_letter;");
    AdvanceTo(kStart + pt::minutes(5));
    Dispatch();
    EXPECT_TRUE(QueuedRequests().empty());
    // The next run writes only the rest: every sender gets exactly one letter.
    std::vector<std::string> recipients;
    for (const auto& letter : LettersOf(*outgoing)) {
        recipients.push_back(letter->GetRecipient());
    }
    std::vector<std::string> expected;
    for (int i = 0; i < 250; ++i) {
        expected.push_back(i == 150 ? "poison@example.com" : Sender(i));
    }
    EXPECT_EQ(recipients, expected);
    EXPECT_EQ(TimeFromSecondsText(PendingTimeText(Sender(0))), kStart);
    EXPECT_EQ(TimeFromSecondsText(PendingTimeText(Sender(100))), kStart + pt::minutes(5));
    EXPECT_EQ(PendingCode("poison@example.com").size(), 37u);
}

TEST_F(VerificationLetterTest, AnOutgoingBoxHeldElsewhereKeepsTheQueue) {
    Queue(kStranger, "Lunch?");
    {
        moxeltest::LetterBoxHeldElsewhere held(outgoing->GetId());
        EXPECT_EQ(ErrorOf([this] { Dispatch(); }), "Unable to open LetterBox");
    }
    EXPECT_EQ(QueuedRequests().size(), 1u);
    EXPECT_EQ(PendingCount(), 1);
    Dispatch();
    EXPECT_TRUE(QueuedRequests().empty());
    EXPECT_EQ(LettersOf(*outgoing).size(), 1u);
}

TEST_F(VerificationLetterTest, AnEmptyQueueWritesNothing) {
    Dispatch();
    EXPECT_TRUE(LettersOf(*outgoing).empty());
    EXPECT_EQ(PendingCount(), 0);
}

}  // namespace

namespace {

TEST_F(VerificationLetterTest, AnOlderDatabaseGainsTheHeldLettersMessageId) {
    ExecuteStatement(
        "DROP TABLE VerificationRequest; CREATE TABLE VerificationRequest (id INTEGER PRIMARY "
        "KEY, collectionId INT DEFAULT -1, recipientAddress TEXT, letterBoxAddress TEXT, "
        "verificationCode TEXT, originalSubject TEXT);");
    CreateAllTables();
    const auto held =
        Collect("From: " + kStranger + "\nSubject: Lunch?\nmessage-id:\n <a.1@x.org>\n\n");
    LetterBoxLock lock(*recent);
    list->QueueVerificationRequest(*recent->GetLetter(held), kAccount, clock, reporter);
    Dispatch();
    const auto letters = LettersOf(*outgoing);
    ASSERT_EQ(letters.size(), 1u);
    const std::string text = letters[0]->GetText();
    EXPECT_NE(text.find("\nIn-Reply-To: <a.1@x.org>\n"), std::string::npos) << text;
    EXPECT_NE(text.find("\nReferences: <a.1@x.org>\n"), std::string::npos) << text;
}

}  // namespace
