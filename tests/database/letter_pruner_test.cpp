#include <gtest/gtest.h>

#include <boost/date_time/posix_time/posix_time.hpp>
#include <future>
#include <memory>
#include <string>
#include <thread>

#include "core/Clock.h"
#include "core/Exception.h"
#include "core/Format.h"
#include "core/ThreadData.h"
#include "database/LetterBoxData.h"
#include "database/LetterBoxLock.h"
#include "database/LetterData.h"
#include "database/LetterPruner.h"
#include "database/ThreadDatabase.h"
#include "support/DatabaseFixture.h"
#include "support/LetterStoreFiles.h"

using namespace DatabaseLayer;
namespace pt = boost::posix_time;

namespace {

// A clock the test sets by hand.
class FixedClock : public Clock {
public:
    explicit FixedClock(pt::ptime start) : now(start) {}
    pt::ptime Now() const override { return now; }
    pt::ptime now;
};

const pt::time_duration kMaxAge = pt::hours(7 * 24);
const pt::time_duration kInterval = pt::hours(24);

class LetterPrunerTest : public moxeltest::DatabaseTest {
protected:
    void SetUp() override {
        DatabaseTest::SetUp();
        pruner = std::make_unique<LetterPruner>();
        pruner->SetPersistent(true);
    }
    void TearDown() override {
        pruner.reset();
        DatabaseTest::TearDown();
    }

    // Puts a letter retrieved at `retrieved` into the pruner's box.
    void Hold(const std::string& subject, const pt::ptime& retrieved) {
        const LetterBoxPtr box = pruner->GetLetterBox();
        LetterBoxLock lock(box);
        Letter letter;
        letter.StoreText("From: spam@x.example\nSubject: " + subject + "\n\nbody");
        letter.SetTimeRetrieved(retrieved);
        box->MoveLetterHere(letter);
    }

    int Held() {
        const LetterBoxPtr box = pruner->GetLetterBox();
        LetterBoxLock lock(box);
        return box->GetLetterCount();
    }

    std::string LastPruneText() {
        return ExecuteQuery(Format("SELECT lastPruneTime FROM LetterPruner WHERE id = %1%;",
                                   pruner->GetId()))
            .GetStringField("lastPruneTime");
    }

    FixedClock clock{pt::time_from_string("2005-03-11 13:36:46")};
    std::unique_ptr<LetterPruner> pruner;
};

TEST_F(LetterPrunerTest, ANewPrunerPrunesAtItsFirstCall) {
    EXPECT_EQ(LastPruneText(), "");
    EXPECT_TRUE(pruner->IsPruneDue(kInterval, clock.now));
    Hold("eight days old", clock.now - pt::hours(8 * 24));
    Hold("six days old", clock.now - pt::hours(6 * 24));
    pruner->Prune(kMaxAge, kInterval, clock);
    EXPECT_EQ(Held(), 1);
    EXPECT_EQ(moxeltest::CountStoreFiles(), 1);
    EXPECT_EQ(LastPruneText(), "2005-Mar-11 13:36:46");
}

TEST_F(LetterPrunerTest, PrunesAtMostOncePerInterval) {
    pruner->Prune(kMaxAge, kInterval, clock);
    Hold("old", clock.now - pt::hours(30 * 24));
    clock.now += kInterval - pt::seconds(1);
    EXPECT_FALSE(pruner->IsPruneDue(kInterval, clock.now));
    pruner->Prune(kMaxAge, kInterval, clock);
    EXPECT_EQ(Held(), 1);
    EXPECT_EQ(LastPruneText(), "2005-Mar-11 13:36:46");
    clock.now += pt::seconds(1);
    EXPECT_TRUE(pruner->IsPruneDue(kInterval, clock.now));
    pruner->Prune(kMaxAge, kInterval, clock);
    EXPECT_EQ(Held(), 0);
    EXPECT_EQ(LastPruneText(), "2005-Mar-12 13:36:46");
}

TEST_F(LetterPrunerTest, KeepsALetterRetrievedExactlyAtTheCutoffSecond) {
    Hold("at the cutoff", clock.now - kMaxAge);
    Hold("one second older", clock.now - kMaxAge - pt::seconds(1));
    pruner->Prune(kMaxAge, kInterval, clock);
    const LetterBoxPtr box = pruner->GetLetterBox();
    LetterBoxLock lock(box);
    ASSERT_EQ(box->GetLetterCount(), 1);
    EXPECT_EQ(box->GetLetter(box->GetLetterIds().front())->GetSubject(), "at the cutoff");
}

TEST_F(LetterPrunerTest, ABoxHeldByTheCallerIsPrunedAndStaysOpen) {
    Hold("old", clock.now - pt::hours(8 * 24));
    const LetterBoxPtr box = pruner->GetLetterBox();
    LetterBoxLock lock(box);
    pruner->Prune(kMaxAge, kInterval, clock);
    EXPECT_TRUE(box->IsOpen());
    EXPECT_EQ(box->GetLetterCount(), 0);
}

TEST_F(LetterPrunerTest, ABoxHeldByAnotherThreadFailsButTheTimeIsRecorded) {
    Hold("old", clock.now - pt::hours(8 * 24));
    std::promise<void> opened;
    std::promise<void> done;
    std::thread holder([&, id = pruner->GetLetterBox()->GetId()] {
        ThreadDataScope database;
        LetterBox box(id);
        LetterBoxLock lock(box);
        opened.set_value();
        done.get_future().wait();
    });
    opened.get_future().wait();
    try {
        pruner->Prune(kMaxAge, kInterval, clock);
        ADD_FAILURE() << "pruned a box held elsewhere";
    } catch (const Exception& error) {
        EXPECT_STREQ(error.what(), "Unable to open LetterBox");
    }
    done.set_value();
    holder.join();
    EXPECT_EQ(LastPruneText(), "2005-Mar-11 13:36:46");
    EXPECT_EQ(Held(), 1);
    EXPECT_FALSE(pruner->IsPruneDue(kInterval, clock.now));
}

TEST_F(LetterPrunerTest, AnUnreadableOrFutureLastTimeNeverStopsPruning) {
    for (const char* stored : {"garbage", "2005-Feb-30 10:00:00", "2031-Jan-01 00:00:00"}) {
        SCOPED_TRACE(stored);
        ExecuteStatement(Format("UPDATE LetterPruner SET lastPruneTime = '%1%' WHERE id = %2%;",
                                stored, pruner->GetId()));
        EXPECT_TRUE(pruner->IsPruneDue(kInterval, clock.now));
    }
    Hold("old", clock.now - pt::hours(8 * 24));
    pruner->Prune(kMaxAge, kInterval, clock);
    EXPECT_EQ(Held(), 0);
    EXPECT_EQ(LastPruneText(), "2005-Mar-11 13:36:46");
}

TEST_F(LetterPrunerTest, APrunerIsKeptOrDroppedWithItsBoxAndLetters) {
    Hold("kept", clock.now);
    const std::int64_t boxId = pruner->GetLetterBox()->GetId();
    {
        LetterPruner reopened(pruner->GetId());
        EXPECT_EQ(reopened.GetLetterBox()->GetId(), boxId);
        EXPECT_EQ(ExecuteScalar(Format("SELECT letterBoxId FROM LetterPruner WHERE id = %1%;",
                                       pruner->GetId())),
                  boxId);
    }
    pruner->SetPersistent(false);
    pruner.reset();
    EXPECT_EQ(ExecuteScalar("SELECT COUNT(*) FROM LetterPruner;"), 0);
    EXPECT_EQ(ExecuteScalar("SELECT COUNT(*) FROM LetterCollection;"), 0);
    EXPECT_EQ(ExecuteScalar("SELECT COUNT(*) FROM Letter;"), 0);
    EXPECT_EQ(moxeltest::CountStoreFiles(), 0);
    {
        LetterPruner temporary;
        EXPECT_EQ(ExecuteScalar("SELECT COUNT(*) FROM LetterCollection;"), 1);
    }
    EXPECT_EQ(ExecuteScalar("SELECT COUNT(*) FROM LetterPruner;"), 0);
    EXPECT_EQ(ExecuteScalar("SELECT COUNT(*) FROM LetterCollection;"), 0);
}

}  // namespace
