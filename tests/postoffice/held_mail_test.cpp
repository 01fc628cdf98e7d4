#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <memory>
#include <thread>

#include "core/Exception.h"
#include "database/LetterBoxData.h"
#include "database/LetterBoxLock.h"
#include "database/LetterData.h"
#include "postoffice/HeldMail.h"
#include "postoffice/PopPostOffice.h"
#include "support/DatabaseFixture.h"
#include "support/ErrorOf.h"
#include "support/LetterBoxHeldElsewhere.h"

using namespace std::chrono_literals;

namespace {

// Held mail while another thread (a collection run, a mail program) has the account's boxes.
class HeldMailTest : public moxeltest::DatabaseTest {
protected:
    void SetUp() override {
        DatabaseTest::SetUp();
        office = std::make_unique<PopPostOffice>();
        office->SetPersistent(true);
        office->RegisterPopAccount(key, "pw");
        point = office->FindDeliveryPoint(key);
        LetterBoxLock lock(point->GetPendingLetters());
        Letter letter;
        letter.StoreText("From: pal@example.net\nSubject: Hi\n\nText\n");
        point->GetPendingLetters()->MoveLetterHere(letter);
        id = letter.GetId();
    }
    void TearDown() override {
        point.reset();
        office.reset();
        DatabaseTest::TearDown();
    }

    const LetterBoxKey key{"me@example.com", "me", "pop.example.com"};
    std::unique_ptr<PopPostOffice> office;
    MailDeliveryPointPtr point;
    std::int64_t id = 0;
};

TEST_F(HeldMailTest, ABoxHeldPastTheWaitIsReportedAndNothingChanges) {
    struct Row {
        const char* label;
        std::function<std::int64_t()> boxId;
    };
    const Row rows[] = {{"the held letters", [&] { return point->GetPendingLetters()->GetId(); }},
                        {"the inbox", [&] { return point->GetInbox()->GetId(); }}};
    for (const auto& row : rows) {
        SCOPED_TRACE(row.label);
        const moxeltest::LetterBoxHeldElsewhere collection(row.boxId());
        HeldMail held(*office, 100ms);
        for (const auto& action : std::vector<std::function<void()>>{
                 [&] { held.Release(id); }, [&] { held.ApproveSender(id); }}) {
            EXPECT_NE(moxeltest::ErrorOf(action).find("in use"), std::string::npos);
        }
        EXPECT_EQ(held.List().size(), 1u);
        EXPECT_FALSE(office->GetApprovedSenders().Contains("pal@example.net"));
    }
}

TEST_F(HeldMailTest, AnActionWaitsForTheBoxToBeFreed) {
    auto collection =
        std::make_unique<moxeltest::LetterBoxHeldElsewhere>(point->GetPendingLetters()->GetId());
    // Joined however the test ends.
    std::jthread endOfSort([&collection] {
        std::this_thread::sleep_for(300ms);
        collection.reset();
    });
    HeldMail held(*office, 20s);
    EXPECT_EQ(held.Release(id).sender, "pal@example.net");
    endOfSort.join();
    EXPECT_EQ(held.List().size(), 0u);
    EXPECT_EQ(point->GetInbox()->GetElementCount(), 1);
}

}  // namespace
