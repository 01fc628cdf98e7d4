#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>

#include "integration/ProfileFiles.h"
#include "shell/integration/FileRegistry.h"
#include "support/FileSizeLimit.h"
#include "support/TestDataDir.h"

namespace {

using EmailClientIntegration::FileRegistry;
using moxeltest::TempDir;
using moxeltest::integration::ReadText;
using moxeltest::integration::WriteText;

const std::string kAccount = "Software\\Test\\Accounts\\00000001";

TEST(FileRegistry, ValuesSurviveANewInstanceExactly) {
    TempDir dir;
    const auto file = dir.Path() / "config" / "registry";
    const std::string awkward = "quote \" backslash \\ line\nfeed tab\t Jörg [x] \x01 end";
    {
        FileRegistry registry(file);
        ASSERT_TRUE(registry.SetTextValue(kAccount, "Name \"odd\"", awkward));
        ASSERT_TRUE(registry.SetNumberValue(kAccount, "POP3 Port", 4294967295u));
        ASSERT_TRUE(registry.SetTextValue("Software\\Test\\Accounts\\00000002", "x", ""));
    }
    FileRegistry registry(file);
    EXPECT_EQ(registry.GetTextValue(kAccount, "Name \"odd\""), awkward);
    EXPECT_EQ(registry.GetNumberValue(kAccount, "POP3 Port"), 4294967295u);
    EXPECT_TRUE(registry.ValueExists("\\" + kAccount + "\\", "POP3 Port"));
    std::vector<std::string> names;
    ASSERT_TRUE(registry.GetSubKeyNames("Software\\Test\\Accounts", names));
    EXPECT_EQ(names, (std::vector<std::string>{"00000001", "00000002"}));
    ASSERT_TRUE(registry.GetSubKeyNames("Software", names));
    EXPECT_EQ(names, std::vector<std::string>{"Test"});

    struct stat status {};
    ASSERT_EQ(::stat(file.c_str(), &status), 0);
    EXPECT_EQ(status.st_mode & 0777, 0600u);
    // Only the store and its lock: no temporary file is left behind.
    int entries = 0;
    for ([[maybe_unused]] const auto& entry :
         std::filesystem::directory_iterator(file.parent_path())) {
        ++entries;
    }
    EXPECT_EQ(entries, 2);
}

TEST(FileRegistry, MissingKeysAndValuesGiveTheRegistryDefaults) {
    TempDir dir;
    FileRegistry registry(dir.Path() / "registry");  // no file yet
    ASSERT_TRUE(registry.SetNumberValue(kAccount, "POP3 Port", 995));
    std::vector<std::string> names{"stale"};
    EXPECT_FALSE(registry.GetSubKeyNames("Software\\Missing", names));
    EXPECT_TRUE(names.empty());
    EXPECT_FALSE(registry.ValueExists(kAccount, "POP3 Server"));
    EXPECT_FALSE(registry.ValueExists("Software\\Missing", "POP3 Port"));
    EXPECT_EQ(registry.GetTextValue(kAccount, "POP3 Server"), "");
    EXPECT_EQ(registry.GetNumberValue(kAccount, "Missing"), 0u);
    EXPECT_EQ(registry.GetNumberValue("Software\\Missing", "POP3 Port"), 0u);
    EXPECT_TRUE(registry.GetLastError().empty());
    EXPECT_FALSE(registry.SetTextValue(kAccount, "nul", std::string("a\0b", 3)));
    EXPECT_FALSE(registry.SetTextValue("Software\\bad\nkey", "x", "y"));
    EXPECT_EQ(registry.GetTextValue(kAccount, "nul"), "");
}

// A store that is damaged or cut short is reported with its path and never overwritten.
TEST(FileRegistry, DamagedFilesAreReportedAndLeftAlone) {
    const std::string good =
        "MoxelRegistry 1\n[Software]\n[Software\\A]\ntext \"POP3 Server\" \"pop.example.com\"\n"
        "number \"POP3 Port\" 110\nend\n";
    struct Case {
        const char* label;
        std::string content;
        const char* expected;
    } cases[] = {
        {"empty file", "", "is incomplete"},
        {"cut after a value", good.substr(0, good.find("number")), "is incomplete"},
        {"cut inside a line", good.substr(0, good.size() - 10), "is incomplete"},
        {"end without its line feed", good.substr(0, good.size() - 1), "is incomplete"},
        {"another kind of file", "[Software]\nend\n", "line 1: not a Moxel settings file"},
        {"unknown entry", "MoxelRegistry 1\n[A]\nblob \"x\" 1\nend\n", "line 3: unreadable entry"},
        {"value before any key", "MoxelRegistry 1\ntext \"a\" \"b\"\nend\n",
         "line 2: unreadable entry"},
        {"unclosed quote", "MoxelRegistry 1\n[A]\ntext \"a\" \"b\nend\n", "line 3"},
        {"bad escape", "MoxelRegistry 1\n[A]\ntext \"a\" \"\\q\"\nend\n", "line 3"},
        {"number too large", "MoxelRegistry 1\n[A]\nnumber \"a\" 4294967296\nend\n", "line 3"},
        {"number with sign", "MoxelRegistry 1\n[A]\nnumber \"a\" -1\nend\n", "line 3"},
        {"text after the end", good + "[B]\n", "text after the end"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        TempDir dir;
        const auto file = dir.Path() / "registry";
        WriteText(file, c.content);
        FileRegistry registry(file);
        std::vector<std::string> names;
        EXPECT_FALSE(registry.GetSubKeyNames("Software", names));
        EXPECT_NE(registry.GetLastError().find(file.string()), std::string::npos);
        EXPECT_NE(registry.GetLastError().find(c.expected), std::string::npos)
            << registry.GetLastError();
        EXPECT_EQ(registry.GetTextValue("Software\\A", "POP3 Server"), "");
        EXPECT_FALSE(registry.SetTextValue("Software\\A", "POP3 Server", "localhost"));
        EXPECT_FALSE(registry.SetNumberValue("Software\\A", "POP3 Port", 1110));
        EXPECT_FALSE(registry.DeleteValue("Software\\A", "POP3 Port"));
        EXPECT_NE(registry.GetLastError().find(c.expected), std::string::npos);
        EXPECT_EQ(ReadText(file), c.content);
    }
}

TEST(FileRegistry, AStoreThatCannotBeWrittenFailsWithTheReason) {
    TempDir dir;
    // A file where the config folder should be: nothing below it can be created.
    WriteText(dir.Path() / "config", "not a folder");
    FileRegistry registry(dir.Path() / "config" / "registry");
    EXPECT_FALSE(registry.SetTextValue(kAccount, "POP3 Server", "localhost"));
    EXPECT_NE(registry.GetLastError().find("config"), std::string::npos) << registry.GetLastError();
}

TEST(FileRegistry, AWriteCutShortByAFullDiskLeavesTheOldStore) {
    TempDir dir;
    const auto file = dir.Path() / "registry";
    FileRegistry registry(file);
    ASSERT_TRUE(registry.SetTextValue(kAccount, "POP3 Server", "pop.example.com"));
    const std::string before = ReadText(file);
    {
        moxeltest::FileSizeLimit diskFull(before.size() + 16);
        EXPECT_FALSE(registry.SetTextValue(kAccount, "POP3 Server", std::string(4096, 'x')));
    }
    EXPECT_NE(registry.GetLastError().find("Cannot write " + file.string()), std::string::npos)
        << registry.GetLastError();
    EXPECT_EQ(ReadText(file), before);
    EXPECT_EQ(registry.GetTextValue(kAccount, "POP3 Server"), "pop.example.com");
}

}  // namespace
