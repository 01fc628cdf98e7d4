// `moxel --headless` as a user runs it: a throw-away data folder with one protected account on
// a real Dovecot, collected on its own at start-up, stopped by SIGTERM, started again.
#include <gtest/gtest.h>
#include <signal.h>

#include <chrono>
#include <functional>
#include <thread>

#include "core/ThreadData.h"
#include "database/AppPropertyCollection.h"
#include "database/LetterBoxData.h"
#include "peers/DovecotServer.h"
#include "postoffice/PopPostOffice.h"
#include "support/ChildProcess.h"
#include "support/FreePopPort.h"
#include "support/LetterBoxContents.h"
#include "support/LogFiles.h"
#include "support/TestDataDir.h"

using namespace std::chrono_literals;

namespace {

const std::string kFriend = "friend@example.com";

bool WaitUntil(const std::function<bool()>& condition, std::chrono::milliseconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!condition()) {
        if (std::chrono::steady_clock::now() > deadline) {
            return false;
        }
        std::this_thread::sleep_for(50ms);
    }
    return true;
}

std::string AllLogs(const std::filesystem::path& folder) {
    std::string text;
    for (const auto& name : moxeltest::FileNames(folder)) {
        for (const auto& line : moxeltest::ReadLogLines(folder / name)) {
            text += name + ": " + line + "\n";
        }
    }
    return text;
}

// Reads the data folder from this process, over a connection of its own.
class DataFolderView {
public:
    DataFolderView() { InitializeThreadData(); }
    ~DataFolderView() { ReleaseThreadData(); }
    std::int64_t PostOfficeId() {
        return DatabaseLayer::GetAppProperties().GetPopPostOfficeRowId();
    }
};

TEST(HeadlessCollectionTest, CollectsOnItsOwnStopsOnSigtermAndKeepsItsPostOffice) {
    moxeltest::ScopedDataDir dataDir;
    moxeltest::DovecotServer dovecot;
    for (const std::string subject : {"One", "Two", "Three"}) {
        dovecot.AddMessage("tester", "From: " + kFriend + "\nSubject: " + subject + "\n\nText\n");
    }
    dovecot.AddMessage("tester", "From: stranger@example.org\nSubject: Held\n\nText\n");
    dovecot.Start();
    const LetterBoxKey key("tester@example.test", "tester",
                           "127.0.0.1:" + std::to_string(dovecot.Pop3Port()));

    // The account as the mail program's first login leaves it, before the program runs.
    std::int64_t officeId = 0;
    {
        DataFolderView view;
        PopPostOffice office;
        office.SetPersistent(true);
        office.MailProgramLoggedIn(key.ToString(), "secret");
        office.GetApprovedSenders().Add(kFriend);
        DatabaseLayer::GetAppProperties().SetPopPostOfficeRowId(office.GetId());
        officeId = office.GetId();
    }

    const std::map<std::string, std::string> environment = {
        {"MOXEL_DATA_DIR", dataDir.Path().string()}};
    moxeltest::UseFreePopPort(environment);
    for (int start = 1; start <= 2; ++start) {
        SCOPED_TRACE("start " + std::to_string(start));
        moxeltest::ChildProcess moxel(MOXEL_BINARY, {"--headless"}, environment);
        ASSERT_TRUE(moxel.WaitForStderr("Moxel is running", 20s)) << moxel.Stderr();
        const auto inbox = [&] {
            DataFolderView view;
            PopPostOffice office(officeId);
            return office.GetInbox(key)->GetElementCount() == 3;
        };
        EXPECT_TRUE(WaitUntil(inbox, 60s)) << AllLogs(dataDir.Path() / "Logs");
        EXPECT_EQ(dovecot.MessageCount("tester"), 0);
        moxel.Signal(SIGTERM);
        EXPECT_EQ(moxel.WaitFor(10s), std::optional<int>(0)) << moxel.Stderr();
        DataFolderView view;
        EXPECT_EQ(view.PostOfficeId(), officeId);
        EXPECT_EQ(moxeltest::RowCount("PostOffice"), 1);
    }
}

}  // namespace
