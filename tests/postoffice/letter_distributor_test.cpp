#include <gtest/gtest.h>

#include <algorithm>
#include <boost/date_time/posix_time/posix_time.hpp>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "core/Directories.h"
#include "core/Exception.h"
#include "database/AppPropertyCollection.h"
#include "database/LetterBoxData.h"
#include "database/LetterBoxLock.h"
#include "database/LetterData.h"
#include "database/ThreadDatabase.h"
#include "postoffice/PlaceholderPopClient.h"
#include "postoffice/PopLetterDistributor.h"
#include "support/DatabaseFixture.h"
#include "support/ErrorOf.h"
#include "support/FixedClock.h"
#include "support/LetterBoxContents.h"
#include "support/LetterBoxHeldElsewhere.h"
#include "support/LetterStoreFiles.h"
#include "support/MemoryPopClient.h"
#include "support/SyncRecorder.h"

using moxeltest::MemoryMailbox;
using moxeltest::MemoryPopClient;
using moxeltest::RowCount;
using moxeltest::SubjectsIn;
using Strings = std::vector<std::string>;

namespace {

const std::string kHost = "pop.example.net";

class LetterDistributorTest : public moxeltest::DatabaseTest {
protected:
    void SetUp() override {
        DatabaseTest::SetUp();
        MemoryMailbox::ResetAll();
        MemoryPopClient::Register();
        distributor =
            std::make_unique<PopLetterDistributor>(std::make_shared<MemoryPopClient>(kHost));
        distributor->GetData().SetPersistent(true);
        box = std::make_unique<LetterBox>();
        box->SetPersistent(true);
    }
    void TearDown() override {
        box.reset();
        distributor.reset();
        DatabaseTest::TearDown();
    }

    static MemoryMailbox& Server() { return MemoryMailbox::Of(kHost); }
    void Distribute() { distributor->Distribute(*box, clock); }
    // The message of the Exception that Distribute throws; "(no error)" when none.
    std::string FailingDistribute() {
        return moxeltest::ErrorOf([this] { Distribute(); });
    }
    int RetrievedIdCount() {
        return distributor->GetData().GetRetrievedLetterIds().GetElementCount();
    }
    Strings Retrieved() { return SubjectsIn(distributor->GetData().GetRetrievedLetters()); }
    void Fill(int count) {
        for (int n = 1; n <= count; ++n) {
            Server().Add("uid-" + std::to_string(n), "Message " + std::to_string(n));
        }
    }
    Strings Calls() {
        Strings calls = Server().calls;
        Server().calls.clear();
        return calls;
    }

    const boost::posix_time::ptime kNow =
        boost::posix_time::time_from_string("2005-03-11 13:36:46");
    moxeltest::FixedClock clock{kNow};
    std::unique_ptr<PopLetterDistributor> distributor;
    std::unique_ptr<LetterBox> box;
};

const Strings kThree = {"Message 1", "Message 2", "Message 3"};

TEST_F(LetterDistributorTest, ACompleteRunEmptiesTheServerAndForgetsTheIds) {
    Fill(3);
    const std::string firstText = Server().messages[0].text;
    Distribute();

    EXPECT_EQ(SubjectsIn(*box), kThree);
    EXPECT_TRUE(Server().messages.empty());
    EXPECT_EQ(RetrievedIdCount(), 0);
    EXPECT_TRUE(Retrieved().empty());
    EXPECT_EQ(Calls(), (Strings{"connect", "count", "id 0", "id 1", "id 2", "get 0", "get 1",
                                "get 2", "delete-all", "disconnect"}));

    LetterBoxLock open(*box);
    for (const auto id : box->GetLetterIds()) {
        const LetterPtr letter = box->GetLetter(id);
        EXPECT_EQ(letter->GetTimeRetrieved(), kNow);
        EXPECT_EQ(letter->GetSender(), "friend@example.com");
        if (letter->GetSubject() == "Message 1") {
            EXPECT_EQ(letter->GetText(),
                      "From: friend@example.com\nTo: me@home.example\nSubject: "
                      "Message 1\n\nBody of Message 1\n");
        }
    }
}

TEST_F(LetterDistributorTest, LeavingCopiesFetchesEveryMessageOnceAndDeletesNone) {
    GetAppProperties().SetLeaveCopies(true);
    Fill(3);
    {
        moxeltest::SyncRecorder syncs;
        Distribute();
        // Nothing relies on them yet; synced all the same, so that unsynced files never pile up.
        const auto synced = syncs.Paths();
        const std::string store = std::filesystem::canonical(moxeltest::LetterStoreRoot());
        EXPECT_EQ(std::count_if(synced.begin(), synced.end(),
                                [&](const std::string& path) {
                                    return path.starts_with(store) &&
                                           std::filesystem::is_regular_file(path);
                                }),
                  3)
            << "the run's letter files";
    }
    EXPECT_EQ(SubjectsIn(*box), kThree);

    Calls();
    Distribute();
    EXPECT_EQ(SubjectsIn(*box), kThree) << "a run without new mail brings nothing";
    EXPECT_EQ(Calls(), (Strings{"connect", "count", "id 0", "id 1", "id 2", "disconnect"}));

    Server().Add("uid-4", "Message 4");
    Distribute();
    EXPECT_EQ(SubjectsIn(*box), (Strings{"Message 1", "Message 2", "Message 3", "Message 4"}));
    EXPECT_EQ(Server().messages.size(), 4u);
    EXPECT_EQ(RetrievedIdCount(), 4);

    // Switching back deletes, at the end of the next complete run, what was fetched before.
    GetAppProperties().SetLeaveCopies(false);
    Distribute();
    EXPECT_TRUE(Server().messages.empty());
    EXPECT_EQ(RetrievedIdCount(), 0);
    EXPECT_EQ(SubjectsIn(*box).size(), 4u);
}

// Run with "LeaveCopies" false and true.
class BrokenDownloadTest : public LetterDistributorTest,
                           public ::testing::WithParamInterface<bool> {};

TEST_P(BrokenDownloadTest, ADownloadBrokenAtTheSecondOfThreeLosesAndRepeatsNothing) {
    const bool leaveCopies = GetParam();
    GetAppProperties().SetLeaveCopies(leaveCopies);
    Fill(3);
    Server().failDownloadAt = 1;

    EXPECT_EQ(FailingDistribute(), "connection dropped");
    EXPECT_TRUE(SubjectsIn(*box).empty()) << "nothing is handed over after a failure";
    EXPECT_EQ(Retrieved(), Strings{"Message 1"});
    EXPECT_EQ(RetrievedIdCount(), 1);
    EXPECT_EQ(Server().messages.size(), 3u);
    EXPECT_EQ(RowCount("Letter"), 1) << "the broken download leaves no row";
    EXPECT_EQ(moxeltest::CountStoreFiles(), 1) << "and no file";

    Distribute();
    EXPECT_EQ(SubjectsIn(*box), kThree);
    EXPECT_TRUE(Retrieved().empty());
    EXPECT_EQ(Server().messages.size(), leaveCopies ? 3u : 0u);
    EXPECT_EQ(RowCount("Letter"), 3);
}

INSTANTIATE_TEST_SUITE_P(LeaveCopies, BrokenDownloadTest, ::testing::Bool());

TEST_F(LetterDistributorTest, ALetterWhoseIdCannotBeRecordedIsNotKeptEither) {
    Fill(2);
    DatabaseLayer::ExecuteStatement(
        "CREATE TRIGGER full BEFORE INSERT ON String BEGIN SELECT RAISE(ABORT, 'disk full'); END;");
    EXPECT_NE(FailingDistribute().find("disk full"), std::string::npos);
    EXPECT_EQ(RowCount("Letter"), 0) << "a letter without its id would be fetched twice";
    EXPECT_EQ(moxeltest::CountStoreFiles(), 0);
    EXPECT_EQ(Server().messages.size(), 2u);

    DatabaseLayer::ExecuteStatement("DROP TRIGGER full;");
    Distribute();
    EXPECT_EQ(SubjectsIn(*box), (Strings{"Message 1", "Message 2"}));
}

TEST_F(LetterDistributorTest, AnEmptyServerIsAskedForNothingAndNothingMoves) {
    Distribute();
    EXPECT_EQ(Calls(), (Strings{"connect", "count", "disconnect"}));
    EXPECT_TRUE(SubjectsIn(*box).empty());
}

TEST_F(LetterDistributorTest, OfTwoMessagesWithOneUniqueIdOnlyTheFirstIsFetched) {
    GetAppProperties().SetLeaveCopies(true);
    Server().Add("same", "First");
    Server().Add("same", "Second");
    Server().Add("it's", "Quoted id");
    Distribute();
    EXPECT_EQ(SubjectsIn(*box), (Strings{"First", "Quoted id"}));
    Distribute();
    EXPECT_EQ(SubjectsIn(*box).size(), 2u) << "an id with a quote is found again";
}

TEST_F(LetterDistributorTest, MessagesWithoutAnIdAreAlwaysFetchedNeverTakenForStoredOnes) {
    GetAppProperties().SetLeaveCopies(true);
    Server().Add("", "First");
    Server().Add("", "Second");
    Distribute();
    EXPECT_EQ(SubjectsIn(*box), (Strings{"First", "Second"}));
    GetAppProperties().SetLeaveCopies(false);
    Server().Add("", "Third");
    Distribute();
    // Nothing left the server unread: the first two came again, the third once.
    EXPECT_TRUE(Server().messages.empty());
    const Strings subjects = SubjectsIn(*box);
    EXPECT_EQ(std::count(subjects.begin(), subjects.end(), "Third"), 1);
}

TEST_F(LetterDistributorTest, AMessageWithARepeatedIdStaysOnTheServerUntilItIsStored) {
    Server().Add("same", "First");
    Server().Add("same", "Second");
    Server().Add("other", "Third");
    Distribute();
    EXPECT_EQ(SubjectsIn(*box), (Strings{"First", "Third"}));
    EXPECT_EQ(Calls(), (Strings{"connect", "count", "id 0", "id 1", "id 2", "get 0", "get 2",
                                "delete 0", "delete 2", "disconnect"}));
    ASSERT_EQ(Server().messages.size(), 1u);

    Distribute();
    EXPECT_EQ(SubjectsIn(*box), (Strings{"First", "Second", "Third"}));
    EXPECT_TRUE(Server().messages.empty());
}

// Per-letter commits and letter files are not synced one by one; before any message goes from
// the server, every stored letter's file, its folder, and then the database must be on the disk.
TEST_F(LetterDistributorTest, StoredMailIsOnTheDiskBeforeTheFirstDeletion) {
    namespace fs = std::filesystem;
    struct Case {
        const char* label;
        Strings ids;     // one message per id
        bool newFolder;  // the store makes its first folder in this run
    };
    // As the program keeps its database (the fixture's fresh file may not be set up so yet).
    DatabaseLayer::ExecuteStatement("PRAGMA journal_mode=WAL;");
    for (const Case& run : {Case{"every message stored: delete-all", {"a", "b", "c"}, true},
                            Case{"a repeated id: deletes one by one", {"a", "a", "b"}, false}}) {
        SCOPED_TRACE(run.label);
        MemoryMailbox::ResetAll();
        for (const auto& id : run.ids) {
            Server().Add(id, "Message " + id);
        }
        box = std::make_unique<LetterBox>();
        box->SetPersistent(true);
        moxeltest::SyncRecorder syncs;
        Strings syncedFirst;
        Server().beforeDeletion = [&] { syncedFirst = syncs.Paths(); };
        Distribute();
        ASSERT_FALSE(syncedFirst.empty()) << "no deletion was asked for";

        // Where `path` was synced last before the deletion; -1 when it was not.
        const auto position = [&](const fs::path& path) {
            const auto found = std::find(syncedFirst.rbegin(), syncedFirst.rend(),
                                         fs::weakly_canonical(path).string());
            return found == syncedFirst.rend() ? -1 : int(syncedFirst.rend() - found) - 1;
        };
        fs::path log = GetDatabasePath();
        log += "-wal";
        const int logSynced = position(log);
        EXPECT_GE(logSynced, 0) << "the database's log";
        LetterBoxLock open(*box);
        ASSERT_EQ(box->GetLetterCount(), 2 + (run.newFolder ? 1 : 0));
        for (const auto id : box->GetLetterIds()) {
            const fs::path file =
                moxeltest::LetterStoreRoot() / box->GetLetter(id)->GetSourceHandle();
            EXPECT_GE(position(file), 0) << file;
            EXPECT_LT(position(file), logSynced) << file << " after the database";
            EXPECT_GE(position(file.parent_path()), 0) << file.parent_path();
        }
        EXPECT_EQ(position(moxeltest::LetterStoreRoot()) >= 0, run.newFolder)
            << "the store's root, holding a new folder";
        const Strings all = syncs.Paths();
        EXPECT_NE(std::find(all.begin() + static_cast<std::ptrdiff_t>(syncedFirst.size()),
                            all.end(), fs::weakly_canonical(log).string()),
                  all.end())
            << "the forgetting of the deleted messages' ids is put on the disk";
    }
}

TEST_F(LetterDistributorTest, LettersThatCannotBeHandedOverWaitForTheNextRun) {
    Fill(3);
    {
        moxeltest::LetterBoxHeldElsewhere held(box->GetId());
        EXPECT_EQ(FailingDistribute(), "Unable to open LetterBox");
    }
    // The server was emptied; the letters are kept on this side, and the ids of the deleted
    // messages are forgotten: this server hands out an old id again.
    EXPECT_TRUE(Server().messages.empty());
    EXPECT_EQ(Retrieved(), kThree);
    EXPECT_EQ(RetrievedIdCount(), 0);

    Server().Add("uid-1", "Message 4");
    Distribute();
    EXPECT_EQ(SubjectsIn(*box), (Strings{"Message 1", "Message 2", "Message 3", "Message 4"}));
    EXPECT_EQ(RetrievedIdCount(), 0);
}

TEST_F(LetterDistributorTest, ARefusedDeletionKeepsTheMessagesOnBothSides) {
    Fill(2);
    Server().failDeletion = true;
    EXPECT_EQ(FailingDistribute(), "deletion refused");
    EXPECT_EQ(Server().messages.size(), 2u);
    EXPECT_EQ(Retrieved(), (Strings{"Message 1", "Message 2"}));

    Server().failDeletion = false;
    Calls();
    Distribute();
    EXPECT_EQ(Calls(), (Strings{"connect", "count", "id 0", "id 1", "delete-all", "disconnect"}))
        << "the stored messages are not fetched again";
    EXPECT_EQ(SubjectsIn(*box), (Strings{"Message 1", "Message 2"}));
    EXPECT_TRUE(Server().messages.empty());
}

TEST_F(LetterDistributorTest, AReloadedDistributorKnowsItsClientAndItsIds) {
    GetAppProperties().SetLeaveCopies(true);
    Fill(2);
    Distribute();
    const std::int64_t id = distributor->GetData().GetId();
    distributor.reset();

    PopLetterDistributor reloaded(id);
    ASSERT_NE(std::dynamic_pointer_cast<MemoryPopClient>(reloaded.GetPopClient()), nullptr);
    EXPECT_EQ(reloaded.GetPopClient()->GetHostName(), kHost);
    Server().Add("uid-3", "Message 3");
    reloaded.Distribute(*box, clock);
    EXPECT_EQ(SubjectsIn(*box), kThree);
}

TEST_F(LetterDistributorTest, ReplacingTheClientDeletesTheOldRowAndKeepsTheNewOne) {
    const std::int64_t id = distributor->GetData().GetId();
    const std::int64_t oldClientId = distributor->GetPopClient()->GetData().GetId();
    auto placeholder =
        std::make_shared<PlaceholderPopClient>("mail.example.org", "me", "pw", 110, 30);
    const std::int64_t newClientId = placeholder->GetData().GetId();
    distributor->ReplacePopClient(placeholder);
    placeholder.reset();
    distributor.reset();

    EXPECT_FALSE(DatabaseLayer::PopClientDataTable().Exists(oldClientId));
    EXPECT_TRUE(DatabaseLayer::PopClientDataTable().Exists(newClientId));
    PopLetterDistributor reloaded(id);
    EXPECT_NE(std::dynamic_pointer_cast<PlaceholderPopClient>(reloaded.GetPopClient()), nullptr);
    EXPECT_EQ(reloaded.GetPopClient()->GetData().GetId(), newClientId);

    // A distributor that is not kept does not keep its new client either.
    {
        PopLetterDistributor loose(std::make_shared<MemoryPopClient>(kHost));
        auto another = std::make_shared<MemoryPopClient>(kHost);
        loose.ReplacePopClient(another);
    }
    EXPECT_EQ(RowCount("PopClient"), 1);
}

TEST_F(LetterDistributorTest, ADistributorThatIsNotKeptTakesEveryRowWithIt) {
    const Strings tables = {"LetterDistributor", "PopClient", "StringCollection",
                            "LetterCollection"};
    std::vector<int> before;
    for (const auto& table : tables) {
        before.push_back(RowCount(table));
    }
    {
        PopLetterDistributor loose(std::make_shared<MemoryPopClient>(kHost));
        EXPECT_EQ(loose.GetData().GetType(), 1);
        EXPECT_EQ(RowCount("PopClient"), before[1] + 1);
    }
    for (std::size_t n = 0; n < tables.size(); ++n) {
        EXPECT_EQ(RowCount(tables[n]), before[n]) << tables[n];
    }
}

}  // namespace
