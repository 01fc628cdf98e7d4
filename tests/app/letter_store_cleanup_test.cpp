// Start-up clears the letter store of what a crash left behind.
#include <gtest/gtest.h>
#include <signal.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>

#include "support/ChildProcess.h"
#include "support/FreePopPort.h"
#include "support/SqliteFile.h"
#include "support/TestDataDir.h"

namespace fs = std::filesystem;
using namespace std::chrono_literals;

namespace {

void StartAndStop(const fs::path& data) {
    moxeltest::ChildProcess moxel(MOXEL_BINARY, {"--headless"},
                                  {{"MOXEL_DATA_DIR", data.string()}});
    ASSERT_TRUE(moxel.WaitForStderr("Moxel is running", 20s)) << moxel.Stderr();
    moxel.Signal(SIGTERM);
    ASSERT_EQ(moxel.WaitFor(5s), std::optional<int>(0)) << moxel.Stderr();
}

// Every application log of the data folder, one after the other.
std::string LogText(const fs::path& data) {
    std::string text;
    for (const auto& entry : fs::directory_iterator(data / "Logs")) {
        if (entry.path().filename().string().starts_with("Moxel_")) {
            std::ifstream in(entry.path());
            text.append(std::istreambuf_iterator<char>(in), {});
        }
    }
    return text;
}

void Touch(const fs::path& path) {
    fs::create_directories(path.parent_path());
    std::ofstream(path) << "text";
}

TEST(LetterStoreCleanupTest, StartUpRemovesTemporaryFilesAndTextsWithoutARow) {
    struct Case {
        const char* label;
        bool databaseHasLetters;
        bool orphanRemains;
    };
    const Case cases[] = {
        {"texts named by rows decide", true, false},
        {"a database without letters keeps every text", false, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        moxeltest::TempDir base;
        const fs::path data = base.Path();
        moxeltest::UseFreePopPort({{"MOXEL_DATA_DIR", data.string()}});
        StartAndStop(data);
        const fs::path letters = data / "letters";
        if (c.databaseHasLetters) {
            moxeltest::ExecuteOn(
                data / "moxel.db",
                "INSERT INTO Letter (collectionId, sourceHandle) VALUES (5, '123/47');");
        }
        // A download cut short: a row in no box, with its text.
        moxeltest::ExecuteOn(data / "moxel.db",
                             "INSERT INTO Letter (sourceHandle) VALUES ('123/48');");
        Touch(letters / "123" / "48");
        Touch(letters / "123" / "47");
        Touch(letters / "123" / "45.new");
        Touch(letters / "123" / "46");
        Touch(letters / "124" / "1.new");
        Touch(letters / "999" / "notes.txt");

        StartAndStop(data);
        EXPECT_FALSE(fs::exists(letters / "123" / "45.new"));
        EXPECT_FALSE(fs::exists(letters / "124")) << "emptied folders go";
        EXPECT_EQ(fs::exists(letters / "123" / "46"), c.orphanRemains);
        EXPECT_TRUE(fs::exists(letters / "123" / "47"));
        EXPECT_FALSE(fs::exists(letters / "123" / "48"));
        EXPECT_EQ(moxeltest::QueryText(data / "moxel.db",
                                       "SELECT COUNT(*) FROM Letter WHERE collectionId = -1;"),
                  "0");
        EXPECT_TRUE(fs::exists(letters / "999" / "notes.txt")) << "not the store's shape";
        const std::string log = LogText(data);
        EXPECT_NE(log.find(c.orphanRemains ? "removed 2 unfinished and 0 unused"
                                           : "removed 2 unfinished and 1 unused"),
                  std::string::npos)
            << log;
    }
}

}  // namespace
