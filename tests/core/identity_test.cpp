#include "core/Identity.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "core/Directories.h"
#include "core/Exception.h"
#include "support/TestDataDir.h"

namespace {

TEST(IdentityTest, BuildNumberFromRevisionTexts) {
    const struct {
        const char* revision;
        const char* expected;
    } cases[] = {
        {"185", "185"},          {"1234:185", "185"},        {"exported:0185M", "185"},
        {"", "no_build_number"}, {"abc", "no_build_number"}, {"12:xyz", "no_build_number"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.revision);
        EXPECT_EQ(Identity::GetBuildNumber(c.revision), c.expected);
    }
}

TEST(IdentityTest, VersionOfThisBuild) {
    EXPECT_EQ(Identity::GetVersion(), "1.0.185");
}

TEST(DirectoriesTest, DataFolderIsCreatedWhereMoxelDataDirPoints) {
    moxeltest::TempDir base;
    const auto wanted = base.Path() / "nested" / "data";
    ::setenv("MOXEL_DATA_DIR", wanted.c_str(), 1);
    EXPECT_EQ(GetDataDirectory(), wanted);
    EXPECT_TRUE(std::filesystem::is_directory(wanted));
    EXPECT_EQ(GetDatabasePath(), wanted / "moxel.db");
    EXPECT_EQ(GetLogDirectory(), wanted / "Logs");
    ::unsetenv("MOXEL_DATA_DIR");
}

TEST(DirectoriesTest, DefaultDataFolderFollowsXdgDataHome) {
    moxeltest::TempDir base;
    ::unsetenv("MOXEL_DATA_DIR");
    ::setenv("XDG_DATA_HOME", base.Path().c_str(), 1);
    EXPECT_EQ(GetDataDirectory(), base.Path() / "Ostrand" / "Moxel");
    ::unsetenv("XDG_DATA_HOME");
}

TEST(DirectoriesTest, UncreatableDataFolderNamesThePathAndReason) {
    moxeltest::TempDir base;
    const auto blocker = base.Path() / "a-file";
    std::ofstream(blocker) << "not a folder";
    ::setenv("MOXEL_DATA_DIR", (blocker / "data").c_str(), 1);
    try {
        GetDataDirectory();
        FAIL() << "a data folder below a file cannot be created";
    } catch (const Exception& error) {
        EXPECT_STREQ(error.what(), "Internal error in GetDataDirectory()");
        EXPECT_NE(error.GetDescription().find((blocker / "data").string()), std::string::npos)
            << error.GetDescription();
    }
    ::unsetenv("MOXEL_DATA_DIR");
}

TEST(DirectoriesTest, ProgramFolderHoldsTheTestExecutable) {
    EXPECT_TRUE(std::filesystem::exists(GetProgramDirectory() / "core_tests"));
    EXPECT_EQ(GetHelpDirectory(), GetProgramDirectory() / "Help");
}

}  // namespace
