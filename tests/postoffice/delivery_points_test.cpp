#include <gtest/gtest.h>

#include <boost/date_time/posix_time/posix_time.hpp>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "core/EventReporter.h"
#include "core/Exception.h"
#include "database/LetterBoxData.h"
#include "database/LetterBoxLock.h"
#include "database/LetterData.h"
#include "database/ThreadDatabase.h"
#include "postoffice/MailDeliveryPoint.h"
#include "postoffice/MailDeliveryPointsData.h"
#include "postoffice/PopLetterDistributor.h"
#include "postoffice/TrustedSenderList.h"
#include "support/DatabaseFixture.h"
#include "support/ErrorOf.h"
#include "support/FixedClock.h"
#include "support/LetterBoxContents.h"
#include "support/LetterBoxHeldElsewhere.h"
#include "support/LetterStoreFiles.h"
#include "support/MailFlowRecorder.h"
#include "support/MemoryPopClient.h"

using DatabaseLayer::MailDeliveryPointsData;
using moxeltest::ErrorOf;
using moxeltest::MemoryMailbox;
using moxeltest::MemoryPopClient;
using moxeltest::RowCount;
using moxeltest::SubjectsIn;
namespace pt = boost::posix_time;
using Strings = std::vector<std::string>;

namespace {

const std::string kAddress = "me@home.example";
const std::string kHost = "pop.example.net";
const std::string kFriend = "friend@example.com";
const std::string kStranger = "stranger@example.org";

std::string Message(const std::string& from, const std::string& subject,
                    const std::string& returnPath = "") {
    std::string text = returnPath.empty() ? "" : "Return-Path: " + returnPath + "\n";
    if (!from.empty()) {
        text += "From: " + from + "\n";
    }
    return text + "To: " + kAddress + "\nSubject: " + subject + "\n\nText of " + subject + "\n";
}

class DeliveryPointTest : public moxeltest::DatabaseTest {
protected:
    void SetUp() override {
        DatabaseTest::SetUp();
        MemoryMailbox::ResetAll();
        MemoryPopClient::Register();
        reporter.AddHandler(&recorder);
        points = std::make_unique<MailDeliveryPointsData>();
        points->SetPersistent(true);
        trusted = std::make_unique<TrustedSenderList>();
        trusted->SetPersistent(true);
    }
    void TearDown() override {
        reporter.RemoveHandler(&recorder);
        trusted.reset();
        points.reset();
        DatabaseTest::TearDown();
    }

    static LetterBoxKey Key(const std::string& address = kAddress) {
        return LetterBoxKey(address, "user", kHost);
    }
    static MailDeliveryPointPtr NewPoint(const std::string& address = kAddress) {
        return std::make_shared<MailDeliveryPoint>(
            address,
            std::make_shared<PopLetterDistributor>(std::make_shared<MemoryPopClient>(kHost)));
    }
    MailDeliveryPointPtr AddPoint(const std::string& address = kAddress) {
        auto point = NewPoint(address);
        EXPECT_TRUE(points->Attach(Key(address), *point));
        return point;
    }
    // Puts a downloaded message into the recent box, retrieved at `retrieved` (default: now).
    void Arrive(MailDeliveryPoint& point, const std::string& text,
                pt::ptime retrieved = pt::not_a_date_time) {
        LetterBoxLock open(point.GetRecentLetters());
        Letter letter;
        letter.StoreText(text);
        letter.SetTimeRetrieved(retrieved.is_not_a_date_time() ? clock.Now() : retrieved);
        point.GetRecentLetters()->MoveLetterHere(letter);
    }
    void Sort(MailDeliveryPoint& point) {
        point.SortIncomingMail(clock, trusted->GetSenderList(), *trusted, reporter);
    }
    static Strings RequestedAddresses() {
        Strings addresses;
        for (auto row = DatabaseLayer::ExecuteQuery(
                 "SELECT recipientAddress FROM VerificationRequest ORDER BY id;");
             !row.AtEnd(); row.NextRow()) {
            addresses.push_back(row.GetStringField("recipientAddress"));
        }
        return addresses;
    }

    const pt::ptime kStart = pt::time_from_string("2005-03-11 13:36:46");
    moxeltest::FixedClock clock{kStart};
    EventReporter reporter;
    moxeltest::MailFlowRecorder recorder;
    std::unique_ptr<MailDeliveryPointsData> points;
    std::unique_ptr<TrustedSenderList> trusted;
};

// The tables that hold a delivery point and what it owns.
const Strings kPointTables = {
    "MailDeliveryPoint", "LetterCollection", "LetterPruner", "LetterDistributor",
    "PopClient",         "StringCollection", "String",       "Letter"};

std::vector<int> CountPointRows() {
    std::vector<int> counts;
    for (const auto& table : kPointTables) {
        counts.push_back(RowCount(table));
    }
    return counts;
}

TEST_F(DeliveryPointTest, ANewPointNamesWhatItOwnsAndLeavesNoRowUnlessAttached) {
    const auto before = CountPointRows();
    {
        const auto point = NewPoint();
        auto& data = point->GetData();
        EXPECT_EQ(data.GetInt64Field("letterBoxId"), point->GetInbox()->GetId());
        EXPECT_EQ(data.GetInt64Field("recentLettersBoxId"), point->GetRecentLetters()->GetId());
        EXPECT_EQ(data.GetInt64Field("pendingLettersPrunerId"), point->GetPendingPruner().GetId());
        EXPECT_EQ(data.GetInt64Field("distributorId"), point->GetDistributor()->GetData().GetId());
        EXPECT_EQ(point->GetAddress(), kAddress);
        EXPECT_EQ(point->GetLetterBoxKey(), "");
        EXPECT_EQ(data.GetCollectionId(), -1);
        // Inbox, pending box, recent box and the distributor's retrieved box.
        EXPECT_EQ(RowCount("LetterCollection"), before[1] + 4);
        Arrive(*point, Message(kFriend, "Unsorted"));
    }
    EXPECT_EQ(CountPointRows(), before);
    EXPECT_EQ(moxeltest::CountStoreFiles(), 0);
}

TEST_F(DeliveryPointTest, AttachedPointsAreFoundByKeyOrAddressAndDetachedWithAllTheirMail) {
    const std::string address = "o'neil@home.example";
    const auto before = CountPointRows();
    auto first = AddPoint(address);
    Arrive(*first, Message(kFriend, "Waiting"));
    {
        const auto second = NewPoint(address);
        EXPECT_FALSE(points->Attach(Key(address), *second)) << "the key is taken";
        EXPECT_EQ(second->GetLetterBoxKey(), "");
    }
    EXPECT_EQ(points->GetElementCount(), 1);

    const auto found = points->Find(Key(address));
    ASSERT_NE(found, nullptr);
    EXPECT_EQ(found->GetId(), first->GetId());
    EXPECT_EQ(found->GetLetterBoxKey(), Key(address).ToString());
    EXPECT_EQ(SubjectsIn(found->GetRecentLetters()), Strings{"Waiting"});
    ASSERT_NE(points->FindByAddress(address), nullptr);
    EXPECT_EQ(points->FindByAddress(address)->GetId(), first->GetId());
    EXPECT_EQ(points->FindByAddress(kAddress), nullptr);
    EXPECT_EQ(points->Find(Key(kAddress)), nullptr);

    EXPECT_EQ(ErrorOf([&] { points->Detach(Key(kAddress)); }),
              "Cannot detach the delivery point; it is not in the collection");
    EXPECT_EQ(points->GetElementCount(), 1);
    EXPECT_EQ(moxeltest::CountStoreFiles(), 1);

    points->Detach(Key(address));
    EXPECT_EQ(points->GetElementCount(), 0);
    EXPECT_EQ(points->Find(Key(address)), nullptr);
    first.reset();
    EXPECT_EQ(CountPointRows(), before);
    EXPECT_EQ(moxeltest::CountStoreFiles(), 0);
}

TEST_F(DeliveryPointTest, ACollectionThatIsNotKeptDeletesEveryPointWithItsMail) {
    const auto before = CountPointRows();
    {
        MailDeliveryPointsData loose;
        for (const std::string address : {"one@home.example", "two@home.example"}) {
            const auto point = NewPoint(address);
            ASSERT_TRUE(loose.Attach(Key(address), *point));
            Arrive(*point, Message(kStranger, "Held for " + address));
            Sort(*point);
        }
        EXPECT_EQ(RowCount("Letter"), before[7] + 2);
    }
    // The verification requests belong to the trusted sender list and stay.
    EXPECT_EQ(CountPointRows(), before);
    EXPECT_EQ(moxeltest::CountStoreFiles(), 0);
}

TEST_F(DeliveryPointTest, DeliveringReportsTheAccountAndWhatArrived) {
    const auto point = AddPoint();
    MemoryMailbox::Of(kHost).Add("1", "First");
    MemoryMailbox::Of(kHost).Add("2", "Second");
    point->DeliverMail(clock, reporter);
    EXPECT_EQ(recorder.Events(),
              (Strings{"CheckingMail " + Key().ToString(), "LettersRetrieved 2"}));
    EXPECT_EQ(SubjectsIn(point->GetRecentLetters()), (Strings{"First", "Second"}));
}

TEST_F(DeliveryPointTest, AFailedDownloadIsReportedWithItsMessageAndPassedOn) {
    const auto point = AddPoint();
    MemoryMailbox::Of(kHost).Add("1", "First");
    MemoryMailbox::Of(kHost).failDownloadAt = 0;
    EXPECT_EQ(ErrorOf([&] { point->DeliverMail(clock, reporter); }), "connection dropped");
    EXPECT_EQ(recorder.Events(),
              (Strings{"CheckingMail " + Key().ToString(), "CollectingFailed connection dropped"}));

    // An error of another kind is reported by a fixed text, and still passed on.
    recorder.Clear();
    MemoryMailbox::Of(kHost).failConnectOddly = true;
    EXPECT_THROW(point->DeliverMail(clock, reporter), std::logic_error);
    EXPECT_EQ(recorder.Events(),
              (Strings{"CheckingMail " + Key().ToString(),
                       "CollectingFailed Internal error in MailDeliveryPoint::DeliverMail; please "
                       "contact Technical Support"}));
}

TEST_F(DeliveryPointTest, APointWithoutAValidKeyIsReportedWithAnEmptyKey) {
    const auto point = NewPoint();
    point->DeliverMail(clock, reporter);
    EXPECT_EQ(recorder.Events(), (Strings{"CheckingMail //", "LettersRetrieved 0"}));
}

TEST_F(DeliveryPointTest, SortingSendsApprovedMailToTheInboxAndHoldsAndAsksTheRest) {
    trusted->GetSenderList().Add(kFriend);
    const auto point = AddPoint();
    Arrive(*point, Message("Friend <" + kFriend + ">", "From a friend"));
    Arrive(*point, Message(kStranger, "From a stranger"));
    Sort(*point);

    EXPECT_EQ(SubjectsIn(point->GetInbox()), Strings{"From a friend"});
    EXPECT_EQ(SubjectsIn(point->GetPendingLetters()), Strings{"From a stranger"});
    EXPECT_TRUE(SubjectsIn(point->GetRecentLetters()).empty());
    EXPECT_EQ(RequestedAddresses(), Strings{kStranger});
    EXPECT_EQ(recorder.Events(), Strings{"ApprovedLettersAdded 1"});

    // A sort that adds nothing says so too.
    recorder.Clear();
    Sort(*point);
    EXPECT_EQ(recorder.Events(), Strings{"ApprovedLettersAdded 0"});
    EXPECT_EQ(SubjectsIn(point->GetPendingLetters()), Strings{"From a stranger"});
}

TEST_F(DeliveryPointTest, MailWithAnEmptyReturnPathIsDeletedUnanswered) {
    const auto point = AddPoint();
    Arrive(*point, Message(kStranger, "Delivery failure", "<>"));
    Arrive(*point, Message(kStranger, "Real mail", "<" + kStranger + ">"));
    Sort(*point);
    EXPECT_EQ(SubjectsIn(point->GetPendingLetters()), Strings{"Real mail"});
    EXPECT_EQ(RequestedAddresses(), Strings{kStranger});
    EXPECT_EQ(RowCount("Letter"), 1);
    EXPECT_EQ(moxeltest::CountStoreFiles(), 1);

    // On its own, a bounce asks nobody.
    const auto other = AddPoint("other@home.example");
    Arrive(*other, Message("bouncer@example.net", "Undeliverable", "<>"));
    Sort(*other);
    EXPECT_EQ(RequestedAddresses(), Strings{kStranger});
    EXPECT_TRUE(SubjectsIn(other->GetPendingLetters()).empty());
}

TEST_F(DeliveryPointTest, AReplyWithItsCodeReleasesTheHeldMailInTheSameSort) {
    const auto point = AddPoint();
    Arrive(*point, Message(kStranger, "Lunch?"));
    Sort(*point);
    LetterBox outgoing;
    trusted->DispatchVerificationRequests(clock, outgoing);
    auto pending = DatabaseLayer::ExecuteQuery(
        "SELECT verificationCode FROM "
        "AddressPendingVerification;");
    ASSERT_FALSE(pending.AtEnd());
    const std::string code = pending.GetStringField("verificationCode");

    recorder.Clear();
    Arrive(*point, Message(kStranger, "Re: Lunch? [" + code + "]"));
    Sort(*point);
    EXPECT_TRUE(trusted->IsApprovedSender(kStranger));
    EXPECT_EQ(SubjectsIn(point->GetInbox()), Strings{"Lunch?"}) << "the reply itself is consumed";
    EXPECT_TRUE(SubjectsIn(point->GetPendingLetters()).empty());
    EXPECT_EQ(recorder.Events(), Strings{"ApprovedLettersAdded 1"});
}

TEST_F(DeliveryPointTest, HeldMailIsPrunedAfterSevenDaysAtMostOnceADay) {
    const auto point = AddPoint();
    Sort(*point);  // the first pruning, at kStart
    const pt::ptime dayLater = kStart + pt::hours(25);
    Arrive(*point, Message(kStranger, "Eight days old"), dayLater - pt::hours(8 * 24));
    Arrive(*point, Message(kStranger, "Six days old"), dayLater - pt::hours(6 * 24));

    clock.Set(kStart + pt::hours(23));
    Sort(*point);
    EXPECT_EQ(SubjectsIn(point->GetPendingLetters()), (Strings{"Eight days old", "Six days old"}))
        << "less than a day since the last pruning";

    clock.Set(dayLater);
    Sort(*point);
    EXPECT_EQ(SubjectsIn(point->GetPendingLetters()), Strings{"Six days old"});
}

TEST_F(DeliveryPointTest, MailWithoutASenderAddressIsHeldAndAsksNobody) {
    const auto point = AddPoint();
    const Strings froms = {"", "\"Nobody\" <>", "<>", "()"};
    for (std::size_t n = 0; n < froms.size(); ++n) {
        Arrive(*point, Message(froms[n], "Case " + std::to_string(n)));
    }
    Sort(*point);
    EXPECT_EQ(SubjectsIn(point->GetPendingLetters()).size(), froms.size());
    EXPECT_TRUE(RequestedAddresses().empty());
    EXPECT_TRUE(SubjectsIn(point->GetInbox()).empty());
}

TEST_F(DeliveryPointTest, ASortThatCannotOpenABoxLeavesEveryLetterWhereItWas) {
    trusted->GetSenderList().Add(kFriend);
    const auto point = AddPoint();
    Arrive(*point, Message(kFriend, "Approved"));
    Arrive(*point, Message(kStranger, "Unknown"));
    {
        moxeltest::LetterBoxHeldElsewhere held(point->GetInbox()->GetId());
        EXPECT_EQ(ErrorOf([&] { Sort(*point); }), "Unable to open LetterBox");
        EXPECT_FALSE(point->GetPendingLetters()->IsOpen()) << "opened before the failure";
    }
    EXPECT_EQ(SubjectsIn(point->GetRecentLetters()), (Strings{"Approved", "Unknown"}));
    EXPECT_TRUE(RequestedAddresses().empty());
    EXPECT_TRUE(recorder.Events().empty());

    Sort(*point);
    EXPECT_EQ(SubjectsIn(point->GetInbox()), Strings{"Approved"});
}

TEST_F(DeliveryPointTest, ReleasingAllLettersHandsEveryWaitingLetterToTheInbox) {
    const auto point = AddPoint();
    Arrive(*point, Message(kStranger, "Held"));
    Sort(*point);
    Arrive(*point, Message(kStranger, "Not yet sorted"));
    // Downloaded and deleted on the server, but not handed over: the recent box was busy.
    MemoryMailbox::Of(kHost).Add("uid-1", "Downloaded");
    {
        moxeltest::LetterBoxHeldElsewhere held(point->GetRecentLetters()->GetId());
        EXPECT_EQ(ErrorOf([&] { point->DeliverMail(clock, reporter); }),
                  "Unable to open LetterBox");
    }
    ASSERT_TRUE(MemoryMailbox::Of(kHost).messages.empty());
    point->ReleaseAllLetters();
    EXPECT_EQ(SubjectsIn(point->GetInbox()), (Strings{"Downloaded", "Held", "Not yet sorted"}));
    EXPECT_TRUE(SubjectsIn(point->GetPendingLetters()).empty());
    EXPECT_TRUE(SubjectsIn(point->GetRecentLetters()).empty());
}

}  // namespace
