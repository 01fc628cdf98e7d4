// The mail drop on a real database and post office: login, the wait for an inbox held by
// another thread, the order of its checks, marks applied only by Update, and unique ids.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <functional>
#include <thread>

#include "core/Directories.h"
#include "database/LetterBoxData.h"
#include "database/ThreadDatabase.h"
#include "popserver/LetterUniqueId.h"
#include "popserver/MailDrop.h"
#include "popserver/PostOfficeLetterBoxProvider.h"
#include "support/ErrorOf.h"
#include "support/InboxFixture.h"
#include "support/LetterBoxContents.h"
#include "support/LetterBoxHeldElsewhere.h"
#include "support/SyncRecorder.h"

using moxeltest::ErrorOf;
using Strings = std::vector<std::string>;
using namespace std::chrono_literals;

namespace {

class MailDropTest : public moxeltest::InboxTest {
protected:
    std::unique_ptr<MailDrop> NewDrop() {
        return std::make_unique<MailDrop>(std::make_shared<PostOfficeLetterBoxProvider>(*office));
    }
};

TEST_F(MailDropTest, TheFirstLoginProtectsTheAccountAndServesItsEmptyInbox) {
    auto drop = NewDrop();
    drop->Login(kKey.ToString(), "secret", 1);
    EXPECT_TRUE(office->IsAccountRegistered(kKey));
    EXPECT_TRUE(drop->IsLoggedIn());
    EXPECT_EQ(drop->GetLetterCount(), 0);
    drop->Logout();
    EXPECT_FALSE(drop->IsLoggedIn());
}

TEST_F(MailDropTest, LoginFailuresCarryTheirReasonAndCreateNoAccount) {
    const int accountsBefore = moxeltest::RowCount("MailDeliveryPoint");
    for (const auto& [label, user, reason] :
         std::vector<std::tuple<std::string, std::string, std::string>>{
             {"no key", "just-a-name", "Invalid LetterBoxKey"},
             {"NUL byte", std::string("me@example.com/me\0x/host", 24), "Invalid LetterBoxKey"},
         }) {
        SCOPED_TRACE(label);
        auto drop = NewDrop();
        EXPECT_EQ(ErrorOf([&] { drop->Login(user, "pw", 1); }), reason);
        EXPECT_THROW(drop->Login(user, "pw", 1), MailDrop::LoginFailureException);
    }
    EXPECT_EQ(moxeltest::RowCount("MailDeliveryPoint"), accountsBefore);
}

TEST_F(MailDropTest, ALoginWaitsForAnInboxHeldElsewhereAndGivesUpAtItsTimeOut) {
    FillInbox({"Subject: one\n\nText\n"});
    const auto boxId = office->GetInbox(kKey)->GetId();
    {
        auto held = std::make_unique<moxeltest::LetterBoxHeldElsewhere>(boxId);
        std::thread release([&] {
            std::this_thread::sleep_for(1500ms);
            held.reset();
        });
        auto drop = NewDrop();
        const std::string error = ErrorOf([&] { drop->Login(kKey.ToString(), "secret", 10); });
        release.join();
        ASSERT_EQ(error, "(no error)");
        EXPECT_EQ(drop->GetLetterCount(), 1);
        drop->Logout();
    }
    moxeltest::LetterBoxHeldElsewhere held(boxId);
    auto drop = NewDrop();
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(ErrorOf([&] { drop->Login(kKey.ToString(), "secret", 1); }),
              "Unable to open LetterBox");
    EXPECT_GE(std::chrono::steady_clock::now() - start, 1s);
    EXPECT_EQ(ErrorOf([&] { drop->Login(kKey.ToString(), "secret", 1); }),
              "Internal error: Unable to login: logout first");
}

TEST_F(MailDropTest, ChecksComeInTheirOrderAndMarksOnlyCountAtUpdate) {
    FillInbox({"Subject: zero\n\nA\n", "Subject: one\n\nBB\n", "Subject: two\n\nCCC\n"});
    auto drop = NewDrop();
    EXPECT_THROW(drop->GetLetterSize(-1), MailDrop::InvalidLetterIndexException);
    EXPECT_THROW(drop->GetLetterSize(0), MailDrop::LoggedOutException);
    EXPECT_THROW(drop->GetUndeletedCount(), MailDrop::LoggedOutException);
    drop->Login(kKey.ToString(), "secret", 1);
    EXPECT_THROW(drop->GetLetterText(3), MailDrop::InvalidLetterIndexException);

    const auto sizeBefore = drop->GetUndeletedSize();
    drop->MarkDeleted(2);
    drop->MarkDeleted(0);
    EXPECT_THROW(drop->MarkDeleted(2), MailDrop::LetterDeletedException);
    EXPECT_THROW(drop->GetLetterText(0), MailDrop::LetterDeletedException);
    EXPECT_EQ(drop->GetUndeletedCount(), 1);
    EXPECT_EQ(drop->GetUndeletedSize(), drop->GetLetterSize(1));
    EXPECT_LT(drop->GetUndeletedSize(), sizeBefore);
    drop->ResetDeleted();
    EXPECT_EQ(drop->GetUndeletedCount(), 3);

    drop->MarkDeleted(1);
    drop->Logout();
    EXPECT_EQ(InboxTexts().size(), 3u) << "a logout without Update removes nothing";

    // As the program keeps its database (the fixture's fresh file may not be set up so yet).
    DatabaseLayer::ExecuteStatement("PRAGMA journal_mode=WAL;");
    drop->Login(kKey.ToString(), "secret", 1);
    drop->MarkDeleted(2);
    drop->MarkDeleted(0);
    {
        // The client hears "+OK" after Update: the removals must outlive a power failure.
        moxeltest::SyncRecorder syncs;
        drop->Update();
        std::filesystem::path log = GetDatabasePath();
        log += "-wal";
        const auto synced = syncs.Paths();
        EXPECT_NE(std::find(synced.begin(), synced.end(),
                            std::filesystem::weakly_canonical(log).string()),
                  synced.end());
    }
    drop->Logout();
    EXPECT_EQ(InboxTexts(), Strings{"Subject: one\n\nBB\n"});
}

// A letter's size is the length of the text RETR sends before its line ends become CR LF:
// stored carriage returns do not count, also when sizes are asked for again, and a new login
// of the same mail drop sizes the letters it finds then.
TEST_F(MailDropTest, SizesAreTheLengthsOfTheServedTexts) {
    const std::vector<std::pair<std::string, std::uint64_t>> cases{
        {"Subject: lf\n\nA\n", 15},
        {"Subject: crlf\r\n\r\nBB\r\n", 18},
        {"", 0},
        {"Subject: long\n\n" + std::string(200000, 'x') + "\r\n", 200016},
    };
    std::vector<std::string> texts;
    std::uint64_t total = 0;
    for (const auto& row : cases) {
        texts.push_back(row.first);
        total += row.second;
    }
    FillInbox(texts);
    auto drop = NewDrop();
    drop->Login(kKey.ToString(), "secret", 1);
    for (int round = 0; round < 2; ++round) {
        for (int index = 0; index < static_cast<int>(cases.size()); ++index) {
            SCOPED_TRACE(cases[static_cast<std::size_t>(index)].first.substr(0, 14));
            EXPECT_EQ(drop->GetLetterSize(index), cases[static_cast<std::size_t>(index)].second);
        }
    }
    EXPECT_EQ(drop->GetUndeletedSize(), total);
    drop->MarkDeleted(1);
    EXPECT_EQ(drop->GetUndeletedSize(), total - 18);
    drop->Update();
    drop->Logout();

    // As many letters as before, one of them new.
    FillInbox({"Subject: later\n\nsomething else\n"});
    drop->Login(kKey.ToString(), "secret", 1);
    ASSERT_EQ(drop->GetLetterCount(), static_cast<int>(cases.size()));
    for (int index = 0; index < drop->GetLetterCount(); ++index) {
        EXPECT_EQ(drop->GetLetterSize(index), drop->GetLetterText(index).size()) << index;
    }
    drop->Logout();
}

TEST_F(MailDropTest, UniqueIdsStartWithTheCrcAndDifferForLettersOfTheSameText) {
    EXPECT_EQ(Crc32("abc"), 0x352441C2U);
    FillInbox({"abc", "abc"});
    Strings first;
    for (int session = 0; session < 2; ++session) {
        auto drop = NewDrop();
        drop->Login(kKey.ToString(), "secret", 1);
        Strings ids{drop->GetUniqueId(0), drop->GetUniqueId(1)};
        drop->Logout();
        EXPECT_EQ(ids[0].rfind("352441c2-", 0), 0u) << ids[0];
        EXPECT_NE(ids[0], ids[1]);
        if (session == 0) {
            first = ids;
        }
        EXPECT_EQ(ids, first) << "stable across sessions";
    }
}

}  // namespace
