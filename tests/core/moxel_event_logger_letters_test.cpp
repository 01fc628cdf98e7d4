#include <gtest/gtest.h>

#include <boost/date_time/posix_time/posix_time.hpp>
#include <memory>
#include <thread>

#include "core/MoxelEventLogger.h"
#include "core/ThreadData.h"
#include "database/LetterBoxData.h"
#include "database/LetterBoxLock.h"
#include "database/LetterData.h"
#include "support/DatabaseFixture.h"
#include "support/FixedClock.h"
#include "support/LogFiles.h"
#include "support/TestDataDir.h"

namespace fs = std::filesystem;
using boost::posix_time::time_from_string;

namespace {

// The two events that list letters, with real letters in a real box.
class MoxelEventLoggerLettersTest : public moxeltest::DatabaseTest {
protected:
    void SetUp() override {
        DatabaseTest::SetUp();
        box = std::make_shared<LetterBox>();
        box->SetPersistent(true);
        logger = std::make_unique<MoxelEventLogger>(logs.Path(), clock);
        logger->ApplicationStarted(thread);
    }

    std::vector<std::string> MessagesAfterStart() const {
        auto all = moxeltest::ReadLogMessages(logs.Path() / "Moxel_2005_11_23.txt");
        all.erase(all.begin());  // "*** Application started ..."
        return all;
    }

    void Deliver(const std::string& from, const std::string& to, const std::string& subject) {
        LetterBoxLock open(box);
        Letter letter(from, to, subject, "body", "");
        box->MoveLetterHere(letter);
    }

    std::shared_ptr<moxeltest::FixedClock> clock =
        std::make_shared<moxeltest::FixedClock>(time_from_string("2005-11-23 08:15:00"));
    moxeltest::TempDir logs;
    std::unique_ptr<MoxelEventLogger> logger;
    LetterBoxPtr box;
    const ThreadId thread = 77;
};

TEST_F(MoxelEventLoggerLettersTest, EmptyBoxWritesExactlyOneLine) {
    logger->LettersRetrieved(thread, box);
    EXPECT_EQ(MessagesAfterStart(), std::vector<std::string>{"Ok, no new messages."});
}

TEST_F(MoxelEventLoggerLettersTest, ListsEachLetterAfterTheCount) {
    Deliver("Ann Smith <Ann@Example.com>", "me@example.org", "Lunch?");
    Deliver("bob@example.net", "me@example.org", "Quotes \"inside\" and 100%");
    logger->LettersRetrieved(thread, box);
    EXPECT_EQ(
        MessagesAfterStart(),
        (std::vector<std::string>{
            "Ok, 2 new message(s):",
            "Subject: \"Lunch?\" from: ann@example.com to: me@example.org.",
            "Subject: \"Quotes \"inside\" and 100%\" from: bob@example.net to: me@example.org.",
        }));
    // Listing leaves the box as it found it: closed, so another thread may take it.
    EXPECT_FALSE(box->IsOpen());
}

TEST_F(MoxelEventLoggerLettersTest, BoxHeldByAnotherThreadIsReportedNotListed) {
    std::thread holder([id = box->GetId()] {
        ThreadDataScope threadData;
        LetterBox other(id);
        ASSERT_TRUE(other.Open());
    });
    holder.join();
    logger->LettersRetrieved(thread, box);
    EXPECT_EQ(MessagesAfterStart(),
              std::vector<std::string>{"Oops! An error occurred (\"Unable to open LetterBox\")."});
}

TEST_F(MoxelEventLoggerLettersTest, SendingMessageNamesSubjectSenderAndRecipient) {
    const auto letter = std::make_shared<Letter>("me@example.org", "stranger@example.com",
                                                 "Re: Hello [KVRQ-1]", "body", "");
    logger->SendingMessage(thread, letter);
    EXPECT_EQ(MessagesAfterStart(),
              std::vector<std::string>{"Sending message \"Re: Hello [KVRQ-1]\" (from: "
                                       "me@example.org to: stranger@example.com)."});
}

TEST_F(MoxelEventLoggerLettersTest, NothingBeforeTheCollectionThreadStarted) {
    MoxelEventLogger quiet(logs.Path() / "quiet", clock);
    Deliver("a@example.com", "me@example.org", "s");
    quiet.LettersRetrieved(thread, box);
    quiet.SendingMessage(thread, std::make_shared<Letter>("a@b.c", "d@e.f", "s", "b", ""));
    EXPECT_TRUE(fs::is_empty(logs.Path() / "quiet"));
}

}  // namespace
