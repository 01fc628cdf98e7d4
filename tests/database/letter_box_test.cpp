#include <gtest/gtest.h>

#include <boost/date_time/posix_time/posix_time.hpp>
#include <filesystem>
#include <functional>
#include <future>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "core/Exception.h"
#include "core/Format.h"
#include "core/ThreadData.h"
#include "database/LetterBoxData.h"
#include "database/LetterBoxLock.h"
#include "database/LetterData.h"
#include "database/StoredTime.h"
#include "database/ThreadDatabase.h"
#include "platform/ThreadId.h"
#include "support/DatabaseFixture.h"
#include "support/LetterBoxHeldElsewhere.h"
#include "support/LetterStoreFiles.h"

using namespace DatabaseLayer;
namespace fs = std::filesystem;
namespace pt = boost::posix_time;

namespace {

int LetterRows(const std::string& condition = "1") {
    return ExecuteScalar(Format("SELECT COUNT(*) FROM Letter WHERE %1%;", condition));
}

std::string BoxState(const LetterBox& box) {
    auto row = ExecuteQuery(Format(
        "SELECT openCount || '/' || openingThreadId AS state FROM LetterCollection WHERE id = %1%;",
        box.GetId()));
    return row.GetStringField("state");
}

// Runs `work` on a thread of its own, with its own database connection, and returns its result.
template <typename Result>
Result OnOtherThread(std::function<Result()> work) {
    std::packaged_task<Result()> task([&work] {
        ThreadDataScope database;
        return work();
    });
    auto result = task.get_future();
    std::thread(std::move(task)).join();
    return result.get();
}

bool OpenElsewhere(std::int64_t boxId) {
    return OnOtherThread<bool>([boxId] { return LetterBox(boxId).Open(); });
}

LetterPtr NewLetter(const std::string& subject) {
    auto letter = std::make_shared<Letter>();
    letter->StoreText("From: Someone <Someone@X.example>\nSubject: " + subject + "\n\nbody of " +
                      subject);
    return letter;
}

class LetterBoxTest : public moxeltest::DatabaseTest {
protected:
    void SetUp() override {
        DatabaseTest::SetUp();
        box = std::make_shared<LetterBox>();
        box->SetPersistent(true);
    }
    void TearDown() override {
        box.reset();
        DatabaseTest::TearDown();
    }

    LetterBoxPtr box;
};

TEST_F(LetterBoxTest, OpensNestWithinOneThread) {
    EXPECT_FALSE(box->IsOpen());
    ASSERT_TRUE(box->Open());
    ASSERT_TRUE(box->Open());
    EXPECT_EQ(BoxState(*box), "2/" + std::to_string(platform::CurrentThreadId()));
    box->Close();
    EXPECT_TRUE(box->IsOpen());
    EXPECT_FALSE(OpenElsewhere(box->GetId()));
    box->Close();
    EXPECT_FALSE(box->IsOpen());
    EXPECT_EQ(BoxState(*box), "0/-1");
    try {
        box->Close();
        FAIL() << "closed a box that is not open";
    } catch (const Exception& error) {
        EXPECT_STREQ(error.what(), "LetterBox not open");
    }
}

TEST_F(LetterBoxTest, AnotherThreadWaitsUntilTheBoxIsClosedCompletely) {
    ASSERT_TRUE(box->Open());
    ASSERT_TRUE(box->Open());
    EXPECT_FALSE(OpenElsewhere(box->GetId()));
    EXPECT_FALSE(OnOtherThread<bool>([id = box->GetId()] { return LetterBox(id).IsOpen(); }));
    const std::string refusal = OnOtherThread<std::string>([id = box->GetId()] {
        LetterBox other(id);
        try {
            LetterBoxLock lock(other);
            return std::string("opened");
        } catch (const Exception& error) {
            return std::string(error.what());
        }
    });
    EXPECT_EQ(refusal, "Unable to open LetterBox");
    // The other thread's operations on the box are refused too.
    const std::string operation = OnOtherThread<std::string>([id = box->GetId()] {
        try {
            LetterBox(id).GetLetterCount();
            return std::string("counted");
        } catch (const Exception& error) {
            return std::string(error.what());
        }
    });
    EXPECT_EQ(operation, "LetterBox not open");
    box->Close();
    EXPECT_FALSE(OpenElsewhere(box->GetId()));
    box->Close();
    // The other thread opens it now and, as it never closes it, keeps it.
    EXPECT_TRUE(OpenElsewhere(box->GetId()));
    EXPECT_FALSE(box->Open());
}

TEST_F(LetterBoxTest, EveryOperationNeedsTheBoxOpen) {
    auto letter = NewLetter("x");
    LetterBox other;
    const std::vector<std::pair<const char*, std::function<void()>>> operations = {
        {"AddLetter", [&] { box->AddLetter(letter); }},
        {"MoveLetterHere", [&] { box->MoveLetterHere(letter); }},
        {"RemoveLetter", [&] { box->RemoveLetter(letter->GetId()); }},
        {"GetLetter", [&] { box->GetLetter(letter->GetId()); }},
        {"GetLetterIds", [&] { box->GetLetterIds(); }},
        {"GetLetterCount", [&] { box->GetLetterCount(); }},
        {"MoveAllLettersTo", [&] { box->MoveAllLettersTo(other); }},
        {"PruneLettersOlderThan",
         [&] { box->PruneLettersOlderThan(pt::second_clock::local_time(), pt::hours(1)); }},
    };
    for (const auto& [name, operation] : operations) {
        SCOPED_TRACE(name);
        try {
            operation();
            ADD_FAILURE() << "ran on a closed box";
        } catch (const Exception& error) {
            EXPECT_STREQ(error.what(), "LetterBox not open");
        }
    }
    EXPECT_EQ(LetterRows(), 1);
    EXPECT_EQ(letter->GetCollectionId(), -1);
}

TEST_F(LetterBoxTest, AddingALetterKeepsOneRowAndOneFileOnceTheOriginalIsDropped) {
    LetterBoxLock lock(box);
    {
        auto letter = NewLetter("added");
        box->AddLetter(letter);
        EXPECT_EQ(letter->GetCollectionId(), -1);
        EXPECT_EQ(LetterRows(), 2);
    }
    EXPECT_EQ(LetterRows(), 1);
    EXPECT_EQ(moxeltest::CountStoreFiles(), 1);
    const auto ids = box->GetLetterIds();
    ASSERT_EQ(ids.size(), 1u);
    const LetterPtr stored = box->GetLetter(ids.front());
    ASSERT_TRUE(stored);
    EXPECT_EQ(stored->GetSubject(), "added");
    EXPECT_EQ(stored->GetText(),
              "From: Someone <Someone@X.example>\nSubject: added\n\nbody of added");
}

TEST_F(LetterBoxTest, MovingKeepsTheLetterItself) {
    LetterBoxLock lock(box);
    auto letter = NewLetter("moved");
    const std::int64_t id = letter->GetId();
    box->MoveLetterHere(letter);
    letter.reset();
    EXPECT_EQ(box->GetLetterIds(), std::vector<std::int64_t>{id});
    EXPECT_EQ(box->GetLetterCount(), 1);
    EXPECT_EQ(box->GetLetter(id)->GetCollectionId(), box->GetId());
    EXPECT_EQ(box->GetLetter(id + 1000), nullptr);
    EXPECT_THROW(box->MoveLetterHere(LetterPtr()), Exception);
}

TEST_F(LetterBoxTest, RemovingALetterDeletesItsRowAndItsFile) {
    LetterBoxLock lock(*box);
    auto first = NewLetter("first");
    auto second = NewLetter("second");
    box->MoveLetterHere(first);
    box->MoveLetterHere(second);
    const fs::path subdirectory =
        (moxeltest::LetterStoreRoot() / first->GetSourceHandle()).parent_path();
    ASSERT_EQ((moxeltest::LetterStoreRoot() / second->GetSourceHandle()).parent_path(),
              subdirectory);
    const std::int64_t firstId = first->GetId();
    const std::int64_t secondId = second->GetId();
    first.reset();
    second.reset();
    box->RemoveLetter(firstId);
    EXPECT_EQ(box->GetLetterIds(), std::vector<std::int64_t>{secondId});
    EXPECT_TRUE(fs::is_directory(subdirectory));
    box->RemoveLetter(secondId);
    EXPECT_EQ(box->GetLetterCount(), 0);
    EXPECT_EQ(moxeltest::CountStoreFiles(), 0);
    EXPECT_FALSE(fs::exists(subdirectory));
}

TEST_F(LetterBoxTest, ALetterRemovedWhileHeldGoesWithItsLastHolder) {
    LetterBoxLock lock(box);
    box->MoveLetterHere(NewLetter("held"));
    const std::int64_t id = box->GetLetterIds().front();
    {
        const LetterPtr held = box->GetLetter(id);
        box->RemoveLetter(id);
        EXPECT_EQ(held->GetText(),
                  "From: Someone <Someone@X.example>\nSubject: held\n\nbody of held");
    }
    EXPECT_EQ(box->GetLetterCount(), 0);
    EXPECT_EQ(moxeltest::CountStoreFiles(), 0);
}

TEST_F(LetterBoxTest, MovesAllLettersToAnotherBox) {
    auto other = std::make_shared<LetterBox>();
    other->SetPersistent(true);
    LetterBoxLock lock(box);
    for (const char* subject : {"a", "b", "c"}) {
        box->MoveLetterHere(NewLetter(subject));
    }
    // A letter object that read its fields before the move sees its new box all the same.
    const LetterPtr held = box->GetLetter(box->GetLetterIds().front());
    ASSERT_EQ(held->GetSubject(), "a");
    box->MoveAllLettersTo(*other);
    EXPECT_EQ(box->GetLetterCount(), 0);
    LetterBoxLock otherLock(other);
    EXPECT_EQ(other->GetLetterCount(), 3);
    EXPECT_EQ(held->GetCollectionId(), other->GetId());
}

TEST_F(LetterBoxTest, ABoxThatIsNotKeptTakesItsLettersAlong) {
    auto kept = NewLetter("kept");
    kept->SetPersistent(true);
    {
        LetterBox temporary;
        LetterBoxLock lock(temporary);
        temporary.MoveLetterHere(NewLetter("one"));
        temporary.AddLetter(NewLetter("two"));
        EXPECT_EQ(LetterRows(), 3);
    }
    EXPECT_EQ(LetterRows(), 1);
    EXPECT_EQ(moxeltest::CountStoreFiles(), 1);
    EXPECT_EQ(ExecuteScalar("SELECT COUNT(*) FROM LetterCollection;"), 1);
}

TEST_F(LetterBoxTest, PrunesLettersRetrievedBeforeTheCutoffOnly) {
    auto other = std::make_shared<LetterBox>();
    other->SetPersistent(true);
    const pt::ptime now = pt::time_from_string("2005-03-11 13:36:46");
    const pt::ptime cutoff = now - pt::hours(24 * 7);
    struct Held {
        const char* subject;
        pt::ptime retrieved;
        bool kept;
    };
    const std::vector<Held> held = {
        {"a second too old", cutoff - pt::seconds(1), false},
        {"years too old", pt::time_from_string("1977-01-02 00:00:00"), false},
        {"exactly at the cutoff", cutoff, true},
        {"young", now - pt::hours(1), true},
    };
    {
        LetterBoxLock lock(box);
        for (const auto& h : held) {
            auto letter = NewLetter(h.subject);
            letter->SetTimeRetrieved(h.retrieved);
            box->MoveLetterHere(letter);
        }
        LetterBoxLock otherLock(other);
        auto elsewhere = NewLetter("old, but in another box");
        elsewhere->SetTimeRetrieved(cutoff - pt::hours(1000));
        other->MoveLetterHere(elsewhere);
        box->PruneLettersOlderThan(now, pt::hours(24 * 7));
        std::vector<std::string> left;
        for (const auto id : box->GetLetterIds()) {
            left.push_back(box->GetLetter(id)->GetSubject());
        }
        EXPECT_EQ(left, (std::vector<std::string>{"exactly at the cutoff", "young"}));
        EXPECT_EQ(other->GetLetterCount(), 1);
    }
    EXPECT_EQ(moxeltest::CountStoreFiles(), 3);
}

TEST_F(LetterBoxTest, PruningComparesTimesAsNumbersNearTheReferenceTime) {
    LetterBoxLock lock(box);
    auto early = NewLetter("day one");
    early->SetTimeRetrieved(pt::time_from_string("1977-01-02 00:00:00"));
    box->MoveLetterHere(early);
    early.reset();
    // The cutoff "777600" sorts before "86400" as text, but is the later time.
    box->PruneLettersOlderThan(pt::time_from_string("1977-01-17 00:00:00"), pt::hours(24 * 7));
    EXPECT_EQ(box->GetLetterCount(), 0);
}

TEST_F(LetterBoxTest, ALockClosesWhatItOpened) {
    {
        LetterBoxLock outer(box);
        {
            LetterBoxLock inner(*box);
            EXPECT_EQ(BoxState(*box), "2/" + std::to_string(platform::CurrentThreadId()));
        }
        EXPECT_TRUE(box->IsOpen());
    }
    EXPECT_FALSE(box->IsOpen());
    EXPECT_THROW(LetterBoxLock{LetterBoxPtr()}, Exception);
}

// A close that fails (here: a trigger of this connection refuses it) is reported, and the box
// is free again for every thread without a restart.
TEST_F(LetterBoxTest, AFailedCloseIsReportedAndFreesTheBox) {
    struct Case {
        const char* label;
        bool leftByException;
        const char* reported;
    };
    const Case cases[] = {
        {"left normally", false, "Unable to close LetterBox: SQLITE_CONSTRAINT[19]: close refused"},
        {"left by an error", true, "earlier error"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        ExecuteStatement(
            "CREATE TEMP TRIGGER refuse_close BEFORE UPDATE ON LetterCollection WHEN "
            "NEW.openCount < OLD.openCount BEGIN SELECT RAISE(ABORT, 'close refused'); END;");
        std::string reported;
        try {
            LetterBoxLock lock(*box);
            if (c.leftByException) {
                throw Exception("earlier error");
            }
        } catch (const Exception& error) {
            reported = error.what();
        }
        ExecuteStatement("DROP TRIGGER refuse_close;");
        EXPECT_EQ(reported, c.reported);
        EXPECT_FALSE(box->IsOpen());
        EXPECT_NO_THROW(moxeltest::LetterBoxHeldElsewhere{box->GetId()});
        LetterBoxLock again(*box);
        EXPECT_EQ(BoxState(*box), "1/" + std::to_string(platform::CurrentThreadId()));
    }
}

TEST_F(LetterBoxTest, ABoxWithoutARowCannotBeOpened) {
    LetterBox missing(box->GetId() + 100);
    EXPECT_THROW(missing.Open(), Exception);
    EXPECT_THROW(LetterBoxLock{missing}, Exception);
}

}  // namespace
