// The crash trial: `moxel --headless`, set up through the command line, collecting a full mailbox
// from Dovecot, killed (SIGKILL) at points chosen by watching the letter store and the server,
// then restarted and made to collect to the end. Afterwards every message is stored exactly once
// with its whole text, the database is sound, store files and letter rows match one to one, and
// nothing left the server without being stored first.
#include <gtest/gtest.h>
#include <signal.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <set>
#include <thread>

#include "peers/DovecotServer.h"
#include "support/ChildProcess.h"
#include "support/FreePopPort.h"
#include "support/SqliteFile.h"
#include "support/StoredOnce.h"
#include "support/TestDataDir.h"

namespace fs = std::filesystem;
using namespace std::chrono_literals;

namespace {

const std::string kUser = "tester";
const std::string kAddress = "tester@example.test";
const std::string kPassword = "pw-crash-7Qz";

// The sanitizer builds run the program several times slower; the trial keeps its shape with fewer
// messages there. MOXEL_CRASH_TRIAL_MESSAGES overrides both.
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
constexpr int kDefaultMessages = 100;
#else
constexpr int kDefaultMessages = 500;
#endif

int MessageCount() {
    const char* value = std::getenv("MOXEL_CRASH_TRIAL_MESSAGES");
    return value != nullptr && std::atoi(value) > 0 ? std::atoi(value) : kDefaultMessages;
}

std::string Subject(int number) {
    return "Crash " + std::to_string(number);
}

std::string Message(int number) {
    return "From: friend@example.com\nTo: " + kAddress + "\nSubject: " + Subject(number) +
           "\nMessage-ID: <crash-" + std::to_string(number) + "@example.com>\n\nBody of " +
           Subject(number) + "\n" + std::string(1500, 'x') + "\n";
}

std::string WithCrLf(const std::string& text) {
    std::string converted;
    for (const char c : text) {
        converted += c == '\n' ? std::string("\r\n") : std::string(1, c);
    }
    return converted;
}

std::map<std::string, std::string> Environment(const fs::path& data) {
    return {{"MOXEL_DATA_DIR", data.string()}};
}

moxeltest::RunResult Moxel(const fs::path& data, const std::vector<std::string>& args,
                           const std::optional<std::string>& input = std::nullopt,
                           std::chrono::milliseconds timeout = 30s) {
    return moxeltest::RunToEnd(MOXEL_BINARY, args, Environment(data), {}, timeout, input);
}

// Handles ("<folder>/<file>") of the files below the letter store, read while the program may
// be adding and removing them: a listing that changes under the reader is read again.
std::set<std::string> StoreFiles(const fs::path& letters) {
    for (;;) {
        std::set<std::string> files;
        std::error_code error;
        for (fs::recursive_directory_iterator it(letters, error), end; !error && it != end;
             it.increment(error)) {
            if (it->is_regular_file(error)) {
                files.insert(it->path().lexically_relative(letters).string());
            }
        }
        if (!error || !fs::exists(letters)) {
            return files;
        }
    }
}

bool WaitUntil(const std::function<bool()>& condition, std::chrono::milliseconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!condition()) {
        if (std::chrono::steady_clock::now() > deadline) {
            return false;
        }
        std::this_thread::sleep_for(2ms);
    }
    return true;
}

std::string ReadFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

struct Stored {
    // Letters in a box (a row still in no box is a download cut short), with the files' texts.
    moxeltest::StoredTexts inBoxes;
    std::set<std::string> handles;
    int rowsWithoutFile = 0;
    int rowsInNoBox = 0;
};

Stored ReadStored(const fs::path& data) {
    Stored stored;
    for (const auto& row : moxeltest::QueryRows(
             data / "moxel.db", "SELECT collectionId, sourceHandle, subject FROM Letter;")) {
        const fs::path file = data / "letters" / row[1];
        if (row[1].empty() || !fs::is_regular_file(file)) {
            ++stored.rowsWithoutFile;
            continue;
        }
        stored.handles.insert(row[1]);
        if (row[0] != "-1") {
            stored.inBoxes[row[2]].push_back(ReadFile(file));
        } else {
            ++stored.rowsInNoBox;
        }
    }
    return stored;
}

TEST(CrashTrialTest, KilledWhileCollectingThenRestartedStoresEveryMessageOnce) {
    const int count = MessageCount();
    moxeltest::TempDir data;
    moxeltest::DovecotServer dovecot({{{kUser, kPassword}}, {}, ""});
    std::map<std::string, std::string> sent;
    for (int number = 1; number <= count; ++number) {
        dovecot.AddMessage(kUser, Message(number));
        // The store keeps a letter as the server sent it, line ends and all.
        sent[Subject(number)] = WithCrLf(Message(number));
    }
    dovecot.Start();
    const auto database = data.Path() / "moxel.db";
    const auto letters = data.Path() / "letters";

    // Set up with no copy running: the first start collects at once.
    moxeltest::UseFreePopPort(Environment(data.Path()));
    ASSERT_EQ(Moxel(data.Path(), {"senders", "add", "example.com"}).exitCode, 0);
    const auto added = Moxel(
        data.Path(),
        {"accounts", "add", kAddress, kUser, "127.0.0.1:" + std::to_string(dovecot.Pop3Port())},
        kPassword + "\n");
    ASSERT_EQ(added.exitCode, 0) << added.err;

    // Each point is reached by the run of a new start, which goes on from where the killed one
    // left off: a share of the messages in the store (a file appears as a download begins, and
    // at least one more than the kill before left), or the server emptied by the deletion.
    struct KillPoint {
        const char* label;
        double storedShare;
        bool serverEmptied;
    };
    const KillPoint points[] = {
        {"after the first letters are stored", 0.02, false},
        {"in the middle of the download", 0.5, false},
        {"near the end of the download", 0.95, false},
        {"with every message stored, before or during the deletion", 1.0, false},
        {"with the server emptied: hand-over and sort", 0, true},
    };
    for (const auto& point : points) {
        SCOPED_TRACE(point.label);
        const auto wanted = std::min<std::size_t>(
            count, std::max<std::size_t>(StoreFiles(letters).size() + 1,
                                         std::ceil(point.storedShare * count)));
        const auto reached = [&] {
            return point.serverEmptied ? dovecot.MessageCount(kUser) == 0
                                       : StoreFiles(letters).size() >= wanted;
        };
        moxeltest::ChildProcess copy(MOXEL_BINARY, {"--headless"}, Environment(data.Path()));
        ASSERT_TRUE(WaitUntil([&] { return reached() || !copy.IsRunning(); }, 120s))
            << copy.Stderr();
        ASSERT_TRUE(copy.IsRunning()) << copy.Stderr();
        copy.Signal(SIGKILL);
        copy.WaitFor(10s);
        EXPECT_EQ(moxeltest::QueryText(database, "PRAGMA integrity_check;"), "ok");
        // What left the server is durable here, before any restart tidies up.
        const auto stored = ReadStored(data.Path());
        EXPECT_GE(static_cast<int>(stored.inBoxes.size()) + dovecot.MessageCount(kUser), count);
    }

    moxeltest::ChildProcess copy(MOXEL_BINARY, {"--headless"}, Environment(data.Path()));
    ASSERT_TRUE(copy.WaitForStderr("Moxel is running", 60s)) << copy.Stderr();
    const auto collected = Moxel(data.Path(), {"collect"}, std::nullopt, 10min);
    EXPECT_EQ(collected.exitCode, 0) << collected.out << collected.err;
    copy.Signal(SIGTERM);
    ASSERT_EQ(copy.WaitFor(30s), std::optional<int>(0)) << copy.Stderr();

    EXPECT_EQ(moxeltest::QueryText(database, "PRAGMA integrity_check;"), "ok");
    EXPECT_EQ(dovecot.MessageCount(kUser), 0);
    const auto stored = ReadStored(data.Path());
    EXPECT_EQ(stored.rowsWithoutFile, 0);
    EXPECT_EQ(stored.rowsInNoBox, 0) << "downloads cut short were not cleared";
    std::vector<std::string> filesWithoutRow;
    std::ranges::set_difference(StoreFiles(letters), stored.handles,
                                std::back_inserter(filesWithoutRow));
    EXPECT_EQ(filesWithoutRow, std::vector<std::string>());
    moxeltest::ExpectEachStoredOnce(stored.inBoxes, sent);
    const auto accounts = Moxel(data.Path(), {"accounts"});
    EXPECT_NE(accounts.out.find("inbox " + std::to_string(count) + ", held 0"), std::string::npos)
        << accounts.out << accounts.err;
}

}  // namespace
