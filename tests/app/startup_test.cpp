#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <system_error>

#include "core/Application.h"
#include "support/ChildProcess.h"
#include "support/ExpectedTables.h"
#include "support/FreePopPort.h"
#include "support/LogFiles.h"
#include "support/SqliteFile.h"
#include "support/TestDataDir.h"

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using moxeltest::ChildProcess;

namespace {

constexpr const char* kRunning = "Moxel is running";

std::string ReadFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

class ScopedUmask {
public:
    explicit ScopedUmask(mode_t mask) : old(::umask(mask)) {}
    ~ScopedUmask() { ::umask(old); }

private:
    mode_t old;
};

// The folder itself and everything below it.
std::vector<fs::path> PathsBelow(const fs::path& folder) {
    std::vector<fs::path> paths = {folder};
    for (const auto& entry : fs::recursive_directory_iterator(folder)) {
        paths.push_back(entry.path());
    }
    return paths;
}

std::string OctalText(mode_t mode) {
    std::ostringstream text;
    text << std::oct << mode;
    return text.str();
}

// What an older version left: every folder 0755, every file 0644.
void OpenToAll(const fs::path& folder) {
    for (const auto& path : PathsBelow(folder)) {
        ::chmod(path.c_str(), fs::is_directory(path) ? 0755 : 0644);
    }
}

bool ApplicationLogMentions(const fs::path& logs, const std::string& text) {
    for (const auto& name : moxeltest::FileNames(logs)) {
        if (name.rfind("Moxel_", 0) == 0 && ReadFile(logs / name).find(text) != std::string::npos) {
            return true;
        }
    }
    return false;
}

// Starts `moxel --headless` on a data folder and waits until it reports that it runs.
class MoxelStartupTest : public ::testing::Test {
protected:
    std::map<std::string, std::string> Environment(const fs::path& dataDir) const {
        return {{"MOXEL_DATA_DIR", dataDir.string()}};
    }

    std::unique_ptr<ChildProcess> StartHeadless(const fs::path& dataDir,
                                                const std::vector<std::string>& extra = {}) {
        return StartHeadlessIn({Environment(dataDir), {}}, extra);
    }

    // What a copy started from one place (a desktop session, ssh, cron) sees.
    struct Setting {
        std::map<std::string, std::string> environment;
        std::vector<std::string> unset;
    };

    std::unique_ptr<ChildProcess> StartHeadlessIn(const Setting& setting,
                                                  const std::vector<std::string>& extra = {}) {
        moxeltest::UseFreePopPort(setting.environment, setting.unset);
        std::vector<std::string> args = {"--headless"};
        args.insert(args.end(), extra.begin(), extra.end());
        auto child =
            std::make_unique<ChildProcess>(MOXEL_BINARY, args, setting.environment, setting.unset);
        EXPECT_TRUE(child->WaitForStderr(kRunning, 20s)) << child->Stderr();
        return child;
    }

    // For a start that must find the data folder as the test left it (no folder, no log folder),
    // so that no port can be stored beforehand: as root, which may bind port 110, it runs in a
    // network namespace of its own where the machine allows one. Elsewhere it may find port 110
    // taken, which the program logs and outlives.
    static bool NetworkNamespaceAllowed() {
        static const bool allowed = std::system("/usr/bin/unshare --net true 2>/dev/null") == 0;
        return allowed;
    }
    std::unique_ptr<ChildProcess> StartUnprepared(const fs::path& dataDir) {
        std::string program = MOXEL_BINARY;
        std::vector<std::string> args = {"--headless"};
        if (::geteuid() == 0 && NetworkNamespaceAllowed()) {
            program = "/usr/bin/unshare";
            args = {"--net", MOXEL_BINARY, "--headless"};
        }
        auto child = std::make_unique<ChildProcess>(program, args, Environment(dataDir));
        EXPECT_TRUE(child->WaitForStderr(kRunning, 20s)) << child->Stderr();
        return child;
    }

    static void StopAndExpectCleanExit(ChildProcess& child) {
        child.Signal(SIGTERM);
        const auto code = child.WaitFor(2s);
        ASSERT_TRUE(code.has_value()) << "moxel must exit within 2 seconds of SIGTERM";
        EXPECT_EQ(*code, 0) << child.Stderr();
    }

    moxeltest::TempDir base;
};

TEST_F(MoxelStartupTest, FirstStartCreatesTheFolderAndAllTablesThenStopsOnSigterm) {
    const auto data = base.Path() / "fresh" / "Moxel";
    auto moxel = StartUnprepared(data);
    EXPECT_TRUE(fs::is_regular_file(data / "moxel.db"));
    EXPECT_EQ(moxeltest::TableNames(data / "moxel.db"), moxeltest::ExpectedTables());
    StopAndExpectCleanExit(*moxel);
}

TEST_F(MoxelStartupTest, SigintStopsAsCleanly) {
    auto moxel = StartHeadless(base.Path());
    moxel->Signal(SIGINT);
    EXPECT_EQ(moxel->WaitFor(2s), std::optional<int>(0));
}

TEST_F(MoxelStartupTest, RestartKeepsRowsAndCreatesNothing) {
    const auto database = base.Path() / "moxel.db";
    {
        auto moxel = StartHeadless(base.Path());
        StopAndExpectCleanExit(*moxel);
    }
    moxeltest::ExecuteOn(
        database,
        "INSERT INTO String (string) VALUES ('kept across restarts');"
        "INSERT INTO LetterCollection (openCount, openingThreadId) VALUES (2, 99);");
    const auto schemaBefore =
        moxeltest::QueryText(database, "SELECT group_concat(sql, ';') FROM sqlite_master;");
    {
        auto moxel = StartHeadless(base.Path());
        StopAndExpectCleanExit(*moxel);
    }
    EXPECT_EQ(moxeltest::QueryText(database, "SELECT group_concat(sql, ';') FROM sqlite_master;"),
              schemaBefore);
    EXPECT_EQ(moxeltest::QueryText(database, "SELECT string FROM String;"), "kept across restarts");
    // A letter box left open by a crashed run is free again.
    EXPECT_EQ(moxeltest::QueryText(
                  database, "SELECT openCount || '/' || openingThreadId FROM LetterCollection;"),
              "0/-1");
}

TEST_F(MoxelStartupTest, SecondCopyIsRefusedAndLeavesTheFirstRunning) {
    auto first = StartHeadless(base.Path());
    const auto second = moxeltest::RunToEnd(MOXEL_BINARY, {"--headless"}, Environment(base.Path()));
    EXPECT_NE(second.exitCode, 0);
    EXPECT_NE(second.err.find("Another instance of Moxel is already running."), std::string::npos)
        << second.err;
    EXPECT_TRUE(first->IsRunning());
    StopAndExpectCleanExit(*first);
}

TEST_F(MoxelStartupTest, SecondCopyDoesNotResetTheRunningCopysLetterBoxes) {
    auto first = StartHeadless(base.Path());
    const auto database = base.Path() / "moxel.db";
    moxeltest::ExecuteOn(
        database, "INSERT INTO LetterCollection (openCount, openingThreadId) VALUES (1, 1234);");
    moxeltest::RunToEnd(MOXEL_BINARY, {"--headless"}, Environment(base.Path()));
    EXPECT_EQ(moxeltest::QueryText(database,
                                   "SELECT openCount FROM LetterCollection WHERE id = "
                                   "(SELECT MAX(id) FROM LetterCollection);"),
              "1");
    StopAndExpectCleanExit(*first);
}

TEST_F(MoxelStartupTest, StaleLockFileOfAKilledCopyDoesNotBlock) {
    {
        auto killed = StartHeadless(base.Path());
        killed->Signal(SIGKILL);
        killed->WaitFor(5s);
    }
    ASSERT_TRUE(fs::exists(base.Path() / "Ostrand.Moxel.1.lock"));
    auto next = StartHeadless(base.Path());
    StopAndExpectCleanExit(*next);
}

TEST_F(MoxelStartupTest, UninstallAsksTheRunningCopyToQuitAndTakesOver) {
    auto running = StartHeadless(base.Path());
    auto taker = StartHeadless(base.Path(), {"-uninstall"});
    EXPECT_EQ(running->WaitFor(5s), std::optional<int>(0)) << running->Stderr();
    EXPECT_TRUE(taker->IsRunning());
    StopAndExpectCleanExit(*taker);
}

// The desktop, an ssh login and cron give one user different runtime folders (or none) but the
// same data folder: only one copy may run on it, and "-uninstall" must reach it from anywhere.
TEST_F(MoxelStartupTest, OneCopyPerDataFolderWhateverTheRuntimeFolder) {
    const auto dataHome = (base.Path() / "data-home").string();
    const auto home = (base.Path() / "home").string();
    // Too long for a socket address (108 bytes) once the socket's name is added.
    const auto longData = (base.Path() / std::string(50, 'd') / std::string(50, 'e') / "Moxel");
    const auto run1 = base.Path() / "run1";
    const auto run2 = base.Path() / "run2";
    fs::create_directory(run1);
    fs::create_directory(run2);
    struct Case {
        const char* label;
        Setting first;
        Setting second;
    };
    const Case cases[] = {
        {"desktop and ssh, XDG_DATA_HOME",
         {{{"XDG_DATA_HOME", dataHome}, {"XDG_RUNTIME_DIR", run1}}, {"MOXEL_DATA_DIR"}},
         {{{"XDG_DATA_HOME", dataHome}, {"XDG_RUNTIME_DIR", run2}}, {"MOXEL_DATA_DIR"}}},
        {"desktop and cron, HOME only",
         {{{"HOME", home}, {"XDG_RUNTIME_DIR", run1}}, {"MOXEL_DATA_DIR", "XDG_DATA_HOME"}},
         {{{"HOME", home}}, {"MOXEL_DATA_DIR", "XDG_DATA_HOME", "XDG_RUNTIME_DIR"}}},
        {"data folder path too long for a socket address",
         {{{"MOXEL_DATA_DIR", longData}, {"XDG_RUNTIME_DIR", run1}}, {}},
         {{{"MOXEL_DATA_DIR", longData}, {"XDG_RUNTIME_DIR", run2}}, {}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        auto first = StartHeadlessIn(c.first);
        {
            ChildProcess second(MOXEL_BINARY, {"--headless"}, c.second.environment, c.second.unset);
            EXPECT_TRUE(second.WaitFor(20s).has_value()) << "a second copy runs beside the first";
            EXPECT_NE(second.Stderr().find(Application::kAlreadyRunningMessage), std::string::npos)
                << second.Stderr();
        }
        EXPECT_TRUE(first->IsRunning());

        auto taker = StartHeadlessIn(c.second, {"-uninstall"});
        EXPECT_EQ(first->WaitFor(5s), std::optional<int>(0)) << first->Stderr();
        StopAndExpectCleanExit(*taker);
    }
}

// Another user of the machine must not read the passwords and mail in the data folder: every
// folder in it is 0700, every file and the socket 0600, also when an older start left it open.
TEST_F(MoxelStartupTest, DataFolderIsPrivateToItsOwner) {
    // The usual umask, so that a file created without an explicit mode shows as open.
    const ScopedUmask usual(022);
    struct Case {
        const char* label;
        bool leftOpen;
    };
    for (const Case c : {Case{"fresh folder", false}, Case{"folder left open to all", true}}) {
        SCOPED_TRACE(c.label);
        moxeltest::TempDir parent;
        const auto data = parent.Path() / "fresh" / "Moxel";
        if (c.leftOpen) {
            auto earlier = StartHeadless(data);
            StopAndExpectCleanExit(*earlier);
            std::ofstream(data / "Logs" / "Session_2005_03_7.txt") << "an earlier conversation";
            OpenToAll(data);
        }
        auto moxel = StartUnprepared(data);
        std::vector<std::string> seen;
        std::vector<std::string> tooOpen;
        for (const auto& path : PathsBelow(data)) {
            struct stat status {};
            ASSERT_EQ(::lstat(path.c_str(), &status), 0) << path;
            const mode_t mode = status.st_mode & 07777;
            const mode_t wanted = S_ISDIR(status.st_mode) ? 0700 : 0600;
            seen.push_back(path.filename().string());
            if (mode != wanted) {
                tooOpen.push_back(path.string() + " " + OctalText(mode));
            }
        }
        EXPECT_EQ(tooOpen, std::vector<std::string>{});
        for (const char* name : {"Moxel", "moxel.db", "moxel.db-wal", "moxel.db-shm", "Logs",
                                 "letters", "Ostrand.Moxel.1.lock", "Ostrand.Moxel.1.sock"}) {
            EXPECT_TRUE(std::find(seen.begin(), seen.end(), name) != seen.end()) << name;
        }
        StopAndExpectCleanExit(*moxel);

        // The tightening is told in the application log; a fresh folder has nothing to tell.
        EXPECT_EQ(ApplicationLogMentions(data / "Logs", data.string()), c.leftOpen);
    }
}

TEST_F(MoxelStartupTest, UnusableDatabaseFailsWithThePathAndReasonAndIsLeftUntouched) {
    struct Case {
        const char* label;
        std::function<void(const fs::path&)> prepare;
        const char* reason;
    };
    const Case cases[] = {
        {"a folder", [](const fs::path& db) { fs::create_directory(db); }, "unable to open"},
        {"not a database",
         [](const fs::path& db) { std::ofstream(db) << std::string(4096, 'z') << "letters"; },
         "file is not a database"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        moxeltest::TempDir data;
        const auto database = data.Path() / "moxel.db";
        c.prepare(database);
        const std::string before = fs::is_regular_file(database) ? ReadFile(database) : "";
        const auto result =
            moxeltest::RunToEnd(MOXEL_BINARY, {"--headless"}, Environment(data.Path()));
        EXPECT_NE(result.exitCode, 0);
        EXPECT_NE(result.err.find(database.string()), std::string::npos) << result.err;
        EXPECT_NE(result.err.find(c.reason), std::string::npos) << result.err;
        if (fs::is_regular_file(database)) {
            EXPECT_EQ(ReadFile(database), before);
        }
    }
}

TEST_F(MoxelStartupTest, DataFolderThatCannotBeCreatedFailsWithItsPath) {
    const auto blocker = base.Path() / "plain-file";
    std::ofstream(blocker) << "x";
    const auto result =
        moxeltest::RunToEnd(MOXEL_BINARY, {"--headless"}, Environment(blocker / "data"));
    EXPECT_NE(result.exitCode, 0);
    EXPECT_NE(result.err.find((blocker / "data").string()), std::string::npos) << result.err;
}

TEST_F(MoxelStartupTest, StartCreatesTheLogFolderUnderTheDataFolder) {
    auto moxel = StartUnprepared(base.Path());
    EXPECT_TRUE(fs::is_directory(base.Path() / "Logs"));
    StopAndExpectCleanExit(*moxel);
}

TEST_F(MoxelStartupTest, LogFolderThatCannotBeCreatedFailsStartWithTheSystemsReason) {
    const auto logs = base.Path() / "Logs";
    std::ofstream(logs) << "a file where the log folder belongs";
    std::error_code reason;
    fs::create_directories(logs, reason);
    const std::string expected =
        reason ? reason.message() : std::make_error_code(std::errc::not_a_directory).message();

    const auto result = moxeltest::RunToEnd(MOXEL_BINARY, {"--headless"}, Environment(base.Path()));
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_NE(result.err.find("Moxel could not start"), std::string::npos) << result.err;
    EXPECT_NE(result.err.find(expected), std::string::npos) << result.err;
    EXPECT_NE(result.err.find(logs.string()), std::string::npos) << result.err;

    // Nothing is left behind that would stop the next start once the folder can be made.
    fs::remove(logs);
    auto moxel = StartUnprepared(base.Path());
    EXPECT_TRUE(fs::is_directory(logs));
    StopAndExpectCleanExit(*moxel);
}

TEST(MoxelCommandLineTest, VersionHelpAndMissingDisplay) {
    const auto version = moxeltest::RunToEnd(MOXEL_BINARY, {"--version"});
    EXPECT_EQ(version.exitCode, 0);
    EXPECT_EQ(version.out, "Moxel 1.0.185\n");

    const auto help = moxeltest::RunToEnd(MOXEL_BINARY, {"--help"});
    EXPECT_EQ(help.exitCode, 0);
    EXPECT_NE(help.out.find("--headless"), std::string::npos);

    const auto noDisplay =
        moxeltest::RunToEnd(MOXEL_BINARY, {}, {}, {"DISPLAY", "WAYLAND_DISPLAY"});
    EXPECT_NE(noDisplay.exitCode, 0);
    EXPECT_NE(noDisplay.err.find("moxel --headless"), std::string::npos) << noDisplay.err;

    const auto unknown = moxeltest::RunToEnd(MOXEL_BINARY, {"--bogus"});
    EXPECT_NE(unknown.exitCode, 0);
}

}  // namespace
