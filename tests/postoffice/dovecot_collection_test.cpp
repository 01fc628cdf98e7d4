// Collecting and sorting a real mailbox: a mail delivery point with a TarnwellPopClient against
// a throw-away Dovecot, with a fresh data folder for each test.
#include <gtest/gtest.h>

#include <atomic>
#include <boost/date_time/posix_time/posix_time.hpp>
#include <chrono>
#include <cstdlib>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "core/EventReporter.h"
#include "core/ThreadData.h"
#include "database/AppPropertyCollection.h"
#include "database/LetterBoxData.h"
#include "database/LetterBoxLock.h"
#include "database/LetterData.h"
#include "database/ThreadDatabase.h"
#include "peers/DovecotServer.h"
#include "popwire.h"
#include "postoffice/MailDeliveryPoint.h"
#include "postoffice/MailDeliveryPointsData.h"
#include "postoffice/PopLetterDistributor.h"
#include "postoffice/TarnwellPopClient.h"
#include "postoffice/TrustedSenderList.h"
#include "support/DatabaseFixture.h"
#include "support/ErrorOf.h"
#include "support/FixedClock.h"
#include "support/LetterBoxContents.h"
#include "support/LetterStoreFiles.h"
#include "support/MailFlowRecorder.h"

using moxeltest::DovecotServer;
using moxeltest::ErrorOf;
using moxeltest::RowCount;
using moxeltest::SubjectsIn;
namespace pt = boost::posix_time;
using Strings = std::vector<std::string>;

namespace {

const std::string kUser = "tester";
const std::string kAddress = "tester@example.test";
const std::string kFriend = "friend@example.com";
const std::string kStranger = "stranger@example.org";

std::string Message(const std::string& from, const std::string& subject,
                    const std::string& extraHeaders = "") {
    return extraHeaders + "From: " + from + "\nTo: " + kAddress + "\nSubject: " + subject +
           "\n\nText of " + subject + "\n";
}

class DovecotCollectionTest : public moxeltest::DatabaseTest {
protected:
    void SetUp() override {
        DatabaseTest::SetUp();
        ASSERT_EQ(PopInitializeA(nullptr, nullptr), 1);
        dovecot.Start();
        // Dovecot offers STLS, and the session takes it: trusting the test certificate keeps
        // certificate warnings out of the events these tests follow.
        ::setenv("SSL_CERT_FILE", dovecot.CertificateFile().c_str(), 1);
        reporter.AddHandler(&recorder);
        points = std::make_unique<DatabaseLayer::MailDeliveryPointsData>();
        points->SetPersistent(true);
        trusted = std::make_unique<TrustedSenderList>();
        trusted->SetPersistent(true);
        point = std::make_shared<MailDeliveryPoint>(
            kAddress, std::make_shared<PopLetterDistributor>(std::make_shared<TarnwellPopClient>(
                          "127.0.0.1", kUser, "secret", dovecot.Pop3Port(), 10)));
        ASSERT_TRUE(points->Attach(Key(), *point));
    }
    void TearDown() override {
        reporter.RemoveHandler(&recorder);
        point.reset();
        trusted.reset();
        points.reset();
        PopUninitialize();
        ::unsetenv("SSL_CERT_FILE");
        DatabaseTest::TearDown();
    }

    static LetterBoxKey Key() { return LetterBoxKey(kAddress, kUser, "127.0.0.1"); }
    // One collection run of the point, as the post office makes it: a fresh object from the row.
    void Deliver() {
        point = points->Find(Key());
        point->DeliverMail(clock, reporter);
    }
    void Sort() { point->SortIncomingMail(clock, trusted->GetSenderList(), *trusted, reporter); }
    int OnServer() const { return dovecot.MessageCount(kUser); }
    int RetrievedIds() {
        return std::dynamic_pointer_cast<PopLetterDistributor>(point->GetDistributor())
            ->GetData()
            .GetRetrievedLetterIds()
            .GetElementCount();
    }
    PopLetterDistributor& Distributor() {
        return dynamic_cast<PopLetterDistributor&>(*point->GetDistributor());
    }

    // Messages with an "X-UIDL" header keep it as their unique id, so that a test can give two
    // messages the same one.
    DovecotServer dovecot{
        DovecotServer::Options{{{kUser, "secret"}}, {}, "pop3_reuse_xuidl = yes\n"}};
    const pt::ptime kStart = pt::time_from_string("2005-03-11 13:36:46");
    moxeltest::FixedClock clock{kStart};
    EventReporter reporter;
    moxeltest::MailFlowRecorder recorder;
    std::unique_ptr<DatabaseLayer::MailDeliveryPointsData> points;
    std::unique_ptr<TrustedSenderList> trusted;
    MailDeliveryPointPtr point;
};

const Strings kThree = {"First", "Second", "Third"};

void AddThree(DovecotServer& dovecot) {
    dovecot.AddMessage(kUser, Message(kFriend, "First"));
    dovecot.AddMessage(kUser, Message(kFriend, "Second"));
    dovecot.AddMessage(kUser, Message(kFriend, "Third"));
}

TEST_F(DovecotCollectionTest, ThreeMessagesArriveOnceAndLeaveTheServer) {
    AddThree(dovecot);
    Deliver();
    EXPECT_EQ(SubjectsIn(point->GetRecentLetters()), kThree);
    EXPECT_EQ(OnServer(), 0);
    EXPECT_EQ(RetrievedIds(), 0);
    EXPECT_EQ(recorder.Events(),
              (Strings{"CheckingMail " + Key().ToString(), "LettersRetrieved 3"}));
}

TEST_F(DovecotCollectionTest, LeavingCopiesBringsThreeThenNoneThenExactlyTheNewOne) {
    GetAppProperties().SetLeaveCopies(true);
    AddThree(dovecot);
    Deliver();
    EXPECT_EQ(SubjectsIn(point->GetRecentLetters()), kThree);
    Sort();
    Deliver();
    EXPECT_TRUE(SubjectsIn(point->GetRecentLetters()).empty());
    dovecot.AddMessage(kUser, Message(kFriend, "Fourth"));
    Deliver();
    EXPECT_EQ(SubjectsIn(point->GetRecentLetters()), Strings{"Fourth"});
    EXPECT_EQ(OnServer(), 4);
    EXPECT_EQ(RetrievedIds(), 4);
}

TEST_F(DovecotCollectionTest, AnEightBitMessageIsStoredByteForByte) {
    const std::string text = "From: =?utf-8?q?J=C3=BCrgen?= <juergen@example.de>\nTo: " + kAddress +
                             "\nSubject: Gr\xC3\xBC\xC3\x9F"
                             "e\nContent-Type: text/plain; charset=utf-8\n"
                             "Content-Transfer-Encoding: 8bit\n\nSch\xC3\xB6ne Gr\xC3\xBC\xC3\x9F"
                             "e, 10 \xE2\x82\xAC\n"
                             ".a line with a dot\n\xFF\x80 raw bytes\n";
    dovecot.AddMessage(kUser, text);
    Deliver();
    LetterBoxLock open(point->GetRecentLetters());
    const auto ids = point->GetRecentLetters()->GetLetterIds();
    ASSERT_EQ(ids.size(), 1u);
    const LetterPtr letter = point->GetRecentLetters()->GetLetter(ids[0]);
    EXPECT_EQ(letter->GetText(), text);
    EXPECT_EQ(letter->GetSubject(),
              "Gr\xC3\xBC\xC3\x9F"
              "e");
    EXPECT_EQ(letter->GetSender(), "juergen@example.de");
}

TEST_F(DovecotCollectionTest, TwoMessagesWithOneUniqueIdAreFetchedOnce) {
    GetAppProperties().SetLeaveCopies(true);
    dovecot.AddMessage(kUser, Message(kFriend, "First", "X-UIDL: same-id\n"));
    dovecot.AddMessage(kUser, Message(kFriend, "Second", "X-UIDL: same-id\n"));
    dovecot.AddMessage(kUser, Message(kFriend, "Third"));
    Deliver();
    EXPECT_EQ(SubjectsIn(point->GetRecentLetters()), (Strings{"First", "Third"}));
    EXPECT_EQ(RetrievedIds(), 2);
}

TEST_F(DovecotCollectionTest, SortingDeliversApprovedMailHoldsStrangersAndDropsBounces) {
    trusted->GetSenderList().Add(kFriend);
    dovecot.AddMessage(kUser, Message("A Friend <" + kFriend + ">", "From a friend"));
    dovecot.AddMessage(kUser, Message(kStranger, "Lunch?"));
    dovecot.AddMessage(kUser,
                       Message("mailer-daemon@example.net", "Undeliverable", "Return-Path: <>\n"));
    Deliver();
    Sort();
    EXPECT_EQ(SubjectsIn(point->GetInbox()), Strings{"From a friend"});
    EXPECT_EQ(SubjectsIn(point->GetPendingLetters()), Strings{"Lunch?"});
    EXPECT_EQ(RowCount("VerificationRequest"), 1);
    EXPECT_EQ(RowCount("Letter"), 2) << "the bounce is gone";

    // The stranger answers the verification letter; the answer approves them and releases the
    // held letter in the same sort.
    LetterBox outgoing;
    trusted->DispatchVerificationRequests(clock, outgoing);
    const auto subjects = SubjectsIn(outgoing);
    ASSERT_EQ(subjects.size(), 1u);
    dovecot.AddMessage(kUser, Message(kStranger, "Re: " + subjects[0]));
    recorder.Clear();
    Deliver();
    Sort();
    EXPECT_TRUE(trusted->IsApprovedSender(kStranger));
    EXPECT_EQ(SubjectsIn(point->GetInbox()), (Strings{"From a friend", "Lunch?"}));
    EXPECT_TRUE(SubjectsIn(point->GetPendingLetters()).empty());
    EXPECT_EQ(recorder.Events(), (Strings{"CheckingMail " + Key().ToString(), "LettersRetrieved 1",
                                          "ApprovedLettersAdded 1"}));
}

TEST_F(DovecotCollectionTest, HeldMailOfEightDaysIsPrunedAndOfSixDaysKept) {
    Sort();  // the first pruning, at kStart
    const pt::ptime dayLater = kStart + pt::hours(25);
    dovecot.AddMessage(kUser, Message(kStranger, "Eight days old"));
    clock.Set(dayLater - pt::hours(8 * 24));
    Deliver();
    dovecot.AddMessage(kUser, Message(kStranger, "Six days old"));
    clock.Set(dayLater - pt::hours(6 * 24));
    Deliver();

    clock.Set(kStart + pt::hours(23));
    Sort();
    EXPECT_EQ(SubjectsIn(point->GetPendingLetters()), (Strings{"Eight days old", "Six days old"}));
    clock.Set(dayLater);
    Sort();
    EXPECT_EQ(SubjectsIn(point->GetPendingLetters()), Strings{"Six days old"});
}

TEST_F(DovecotCollectionTest, AWrongPasswordIsReportedWithTheServerAndTheUser) {
    Distributor().GetPopClient()->SetPassword("wrong");
    AddThree(dovecot);
    const std::string error = ErrorOf([this] { Deliver(); });
    const std::string who = " (Host Name: 127.0.0.1 User Name: tester)";
    ASSERT_GT(error.size(), who.size());
    EXPECT_EQ(error.substr(error.size() - who.size()), who);
    EXPECT_EQ(recorder.Events(),
              (Strings{"CheckingMail " + Key().ToString(), "CollectingFailed " + error}));
    EXPECT_EQ(OnServer(), 3);
}

TEST_F(DovecotCollectionTest, DovecotGoneInsideTheSecondOfThreeLosesAndRepeatsNothing) {
    std::string large = Message(kFriend, "Second");
    while (large.size() < 40u * 1024 * 1024) {
        large += "A long line of a very large message, sent while the server goes away.\n";
    }
    dovecot.AddMessage(kUser, Message(kFriend, "First"));
    dovecot.AddMessage(kUser, large);
    dovecot.AddMessage(kUser, Message(kFriend, "Third"));
    large.clear();

    // Dovecot goes down as soon as the second message's download has begun: its letter's row
    // is made before the first byte arrives, and the first letter's row is still there.
    std::atomic<bool> stopped{false};
    std::thread watcher([&] {
        ThreadDataScope database;
        const std::string count = "SELECT COUNT(*) FROM Letter;";
        while (DatabaseLayer::ExecuteScalar(count) < 2) {
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        dovecot.Kill();
        stopped = true;
    });
    const std::string error = ErrorOf([this] { Deliver(); });
    watcher.join();
    ASSERT_TRUE(stopped);
    EXPECT_NE(error, "(no error)");
    EXPECT_EQ(SubjectsIn(Distributor().GetData().GetRetrievedLetters()), Strings{"First"});
    EXPECT_EQ(RetrievedIds(), 1);
    EXPECT_TRUE(SubjectsIn(point->GetRecentLetters()).empty());
    EXPECT_EQ(RowCount("Letter"), 1);
    EXPECT_EQ(moxeltest::CountStoreFiles(), 1);
    EXPECT_EQ(OnServer(), 3);

    dovecot.Start();
    Distributor().GetPopClient()->GetData().SetPort(dovecot.Pop3Port());
    Deliver();
    EXPECT_EQ(SubjectsIn(point->GetRecentLetters()), kThree);
    EXPECT_EQ(OnServer(), 0);
    EXPECT_EQ(RowCount("Letter"), 3);
}

TEST_F(DovecotCollectionTest,
       AnAccountOffPort995TakesStlsWhenOfferedAndWarnsOfADoubtfulCertificate) {
    struct Case {
        const char* label;
        std::string configuration;  // added to Dovecot's
        bool trusted;               // the test certificate is in the CA store
        bool tls;
        Strings warnings;
    };
    const Case cases[] = {
        {"no STLS offered", "protocol pop3 {\n  ssl = no\n}\n", false, false, {}},
        {"STLS, certificate of an unknown authority",
         "",
         false,
         true,
         {"CollectingWarning The certificate of the POP3 server cannot be trusted: it is not "
          "signed by an authority this system trusts; the mail is still fetched over TLS, which "
          "is safer than plain text (Host Name: 127.0.0.1 User Name: tester)"}},
        {"STLS, trusted certificate", "", true, true, {}},
    };
    for (const auto& item : cases) {
        SCOPED_TRACE(item.label);
        DovecotServer server(DovecotServer::Options{{{kUser, "secret"}}, {}, item.configuration});
        server.AddMessage(kUser, Message(kFriend, item.label));
        server.Start();
        if (item.trusted) {
            ::setenv("SSL_CERT_FILE", server.CertificateFile().c_str(), 1);
        } else {
            ::unsetenv("SSL_CERT_FILE");
        }
        const LetterBoxKey key(kAddress, kUser, "127.0.0.1:" + std::to_string(server.Pop3Port()));
        const auto account = std::make_shared<MailDeliveryPoint>(
            kAddress, std::make_shared<PopLetterDistributor>(std::make_shared<TarnwellPopClient>(
                          "127.0.0.1", kUser, "secret", server.Pop3Port(), 10)));
        ASSERT_TRUE(points->Attach(key, *account));
        recorder.Clear();

        points->Find(key)->DeliverMail(clock, reporter);
        Strings expected{"CheckingMail " + key.ToString()};
        expected.insert(expected.end(), item.warnings.begin(), item.warnings.end());
        expected.push_back("LettersRetrieved 1");
        EXPECT_EQ(recorder.Events(), expected);
        EXPECT_EQ(server.MessageCount(kUser), 0);
        // Dovecot marks a login over TLS as such; over plain loopback it says "secured".
        const std::string log = server.Log();
        EXPECT_EQ(log.find(", TLS") != std::string::npos, item.tls) << log;
        EXPECT_NE(log.find("Login: user=<" + kUser + ">"), std::string::npos) << log;
    }
}

}  // namespace
