// The kill trial: a collection process killed (SIGKILL) at many points of the download and the
// sort, then run to its end, must leave every message stored exactly once, in a box of its
// account, with its whole text readable, and the server empty.
#include <gtest/gtest.h>
#include <signal.h>

#include <chrono>
#include <map>
#include <memory>
#include <random>
#include <string>
#include <thread>

#include "core/Format.h"
#include "database/LetterData.h"
#include "database/ThreadDatabase.h"
#include "peers/DovecotServer.h"
#include "postoffice/MailDeliveryPoint.h"
#include "postoffice/MailDeliveryPointsData.h"
#include "postoffice/PopLetterDistributor.h"
#include "postoffice/TarnwellPopClient.h"
#include "postoffice/TrustedSenderList.h"
#include "support/ChildProcess.h"
#include "support/DatabaseFixture.h"
#include "support/StoredOnce.h"

using namespace std::chrono_literals;

namespace {

const std::string kUser = "tester";
const std::string kAddress = "tester@example.test";

std::string Message(int number) {
    // Every other message comes from a stranger: it is held and asks for a verification.
    const std::string from = number % 2 == 0 ? "friend@example.com" : "stranger@example.org";
    const std::string subject = "Trial " + std::to_string(number);
    return "From: " + from + "\nTo: " + kAddress + "\nSubject: " + subject + "\n\nBody of " +
           subject + "\n" + std::string(2000, 'x') + "\n";
}

class KillTrialTest : public moxeltest::DatabaseTest {
protected:
    void SetUp() override {
        DatabaseTest::SetUp();
        dovecot.Start();
        DatabaseLayer::MailDeliveryPointsData points;
        points.SetPersistent(true);
        TrustedSenderList trusted;
        trusted.SetPersistent(true);
        trusted.GetSenderList().Add("friend@example.com");
        auto distributor =
            std::make_shared<PopLetterDistributor>(std::make_shared<TarnwellPopClient>(
                "127.0.0.1", kUser, "secret", dovecot.Pop3Port(), 10));
        MailDeliveryPoint point(kAddress, distributor);
        ASSERT_TRUE(points.Attach(LetterBoxKey(kAddress, kUser, "127.0.0.1"), point));
        pointId = point.GetId();
        trustedId = trusted.GetId();
        boxes = {point.GetInbox()->GetId(), point.GetPendingLetters()->GetId(),
                 point.GetRecentLetters()->GetId(),
                 distributor->GetData().GetRetrievedLetters().GetId()};
    }

    std::vector<std::string> CollectArgs() const {
        return {std::to_string(pointId), std::to_string(trustedId)};
    }

    // Subject -> ids of the letters in the account's boxes.
    std::map<std::string, std::vector<std::int64_t>> LettersInBoxes() const {
        std::map<std::string, std::vector<std::int64_t>> letters;
        for (auto row = DatabaseLayer::ExecuteQuery(Format(
                 "SELECT id, subject FROM Letter WHERE collectionId IN (%1%, %2%, %3%, %4%);",
                 boxes[0], boxes[1], boxes[2], boxes[3]));
             !row.AtEnd(); row.NextRow()) {
            letters[row.GetStringField("subject")].push_back(std::stoll(row.GetStringField("id")));
        }
        return letters;
    }

    moxeltest::DovecotServer dovecot;
    std::int64_t pointId = 0;
    std::int64_t trustedId = 0;
    std::vector<std::int64_t> boxes;
};

TEST_F(KillTrialTest, EveryMessageIsStoredOnceAndReadableAfterKillsAnywhere) {
    constexpr int kRounds = 40;
    constexpr int kMessagesPerRound = 2;
    std::mt19937 random(20261207);
    // Kills fall anywhere in the download, the deletion, the hand-over and the sort: timed from
    // the end of the child's start-up, over the length of a whole run, which every fourth round
    // measures by running to its end.
    std::chrono::milliseconds fullRun = 300ms;
    int added = 0;
    for (int round = 0; round < kRounds; ++round) {
        for (int i = 0; i < kMessagesPerRound; ++i) {
            dovecot.AddMessage(kUser, Message(++added));
        }
        moxeltest::ChildProcess child(COLLECT_ONCE_PROGRAM, CollectArgs());
        ASSERT_TRUE(child.WaitForStderr("collecting", 60s)) << child.Stderr();
        const auto collecting = std::chrono::steady_clock::now();
        if (round % 4 == 3) {
            ASSERT_EQ(child.WaitFor(60s), std::optional<int>(0)) << child.Stderr();
            fullRun = std::chrono::duration_cast<std::chrono::milliseconds>(
                std::chrono::steady_clock::now() - collecting);
            continue;
        }
        std::uniform_int_distribution<long> delay(0, fullRun.count());
        std::this_thread::sleep_for(std::chrono::milliseconds(delay(random)));
        child.Signal(SIGKILL);
        child.WaitFor(10s);
    }
    // Two full runs: the first may still hand over letters a killed run left waiting.
    for (int run = 0; run < 2; ++run) {
        const auto result = moxeltest::RunToEnd(COLLECT_ONCE_PROGRAM, CollectArgs(), {}, {}, 60s);
        ASSERT_EQ(result.exitCode, 0) << result.err;
    }

    EXPECT_EQ(dovecot.MessageCount(kUser), 0);
    moxeltest::StoredTexts stored;
    for (const auto& [subject, ids] : LettersInBoxes()) {
        for (const auto id : ids) {
            stored[subject].push_back(Letter(id).GetText());
        }
    }
    std::map<std::string, std::string> sent;
    for (int number = 1; number <= added; ++number) {
        sent["Trial " + std::to_string(number)] = Message(number);
    }
    moxeltest::ExpectEachStoredOnce(stored, sent);
}

}  // namespace
