#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>
#include <optional>
#include <regex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "core/Exception.h"
#include "database/HugeItemCollection.h"
#include "support/FileSizeLimit.h"
#include "support/SyncRecorder.h"
#include "support/TestDataDir.h"

namespace fs = std::filesystem;
using namespace std::string_literals;

namespace {

std::string ReadFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

void WriteFile(const fs::path& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
}

int CountFiles(const fs::path& folder) {
    int count = 0;
    for (const auto& entry : fs::recursive_directory_iterator(folder)) {
        count += entry.is_regular_file() ? 1 : 0;
    }
    return count;
}

std::string AllBytes() {
    std::string text;
    for (int i = 0; i < 256; ++i) {
        text += static_cast<char>(i);
    }
    return text;
}

class LetterStoreTest : public ::testing::Test {
protected:
    moxeltest::TempDir dir;
    fs::path root = dir.Path() / "letters";
};

TEST_F(LetterStoreTest, CreatesEmptyItemsWithNumberedNames) {
    HugeItemCollection store(root);
    EXPECT_TRUE(fs::is_directory(root));
    std::set<std::string> handles;
    for (int i = 0; i < 50; ++i) {
        const std::string handle = store.CreateItem();
        std::smatch parts;
        ASSERT_TRUE(std::regex_match(handle, parts, std::regex("([0-9]+)/([0-9]+)"))) << handle;
        EXPECT_LE(std::stoi(parts[1]), 32767);
        EXPECT_LE(std::stoi(parts[2]), 32767);
        EXPECT_TRUE(store.IsValidHandle(handle));
        EXPECT_EQ(fs::file_size(root / handle), 0u);
        handles.insert(handle);
    }
    EXPECT_EQ(handles.size(), 50u);
    EXPECT_EQ(CountFiles(root), 50);
}

TEST_F(LetterStoreTest, KeepsTextsByteForByte) {
    HugeItemCollection store(root);
    const std::vector<std::string> texts = {
        "",
        "plain\nlines\n",
        "crlf\r\nand bare\rcarriage returns\r\n",
        "NUL\0inside\0"s,
        AllBytes(),
        "Gr\xc3\xbc\xc3\x9f\xff\xfe invalid UTF-8",
        std::string(5 * 1024 * 1024, 'x') + AllBytes(),
    };
    for (const auto& text : texts) {
        SCOPED_TRACE(text.size());
        const std::string handle = store.CreateItem();
        store.WriteItem(handle, text);
        EXPECT_EQ(store.ReadItem(handle), text);
        EXPECT_EQ(ReadFile(root / handle), text);
    }
}

TEST_F(LetterStoreTest, WriteReplacesTheWholeContent) {
    HugeItemCollection store(root);
    const std::string handle = store.CreateItem();
    store.WriteItem(handle, "a long first text");
    store.WriteItem(handle, "short");
    EXPECT_EQ(store.ReadItem(handle), "short");
    // No temporary file is left beside the item.
    EXPECT_EQ(CountFiles(root), 1);
}

TEST_F(LetterStoreTest, CopiesAreIndependentItems) {
    HugeItemCollection store(root);
    const std::string original = store.CreateItem();
    store.WriteItem(original, "original text\0with NUL"s);
    const std::string copy = store.CopyItem(original);
    EXPECT_NE(copy, original);
    EXPECT_EQ(store.ReadItem(copy), "original text\0with NUL"s);
    store.WriteItem(copy, "changed");
    EXPECT_EQ(store.ReadItem(original), "original text\0with NUL"s);
}

TEST_F(LetterStoreTest, StartsANewSubdirectoryWhenEveryOneHolds5000Entries) {
    HugeItemCollection store(root);
    const std::string first = store.CreateItem();
    const fs::path subdirectory = (root / first).parent_path();
    // Any entries count, not only items.
    for (int i = 0; i < HugeItemCollection::kMaxEntriesPerDirectory - 2; ++i) {
        WriteFile(subdirectory / ("other" + std::to_string(i)), "");
    }
    const std::string last = store.CreateItem();
    EXPECT_EQ((root / last).parent_path(), subdirectory) << "4999 entries still leave room";
    const std::string next = store.CreateItem();
    EXPECT_NE((root / next).parent_path(), subdirectory);
    EXPECT_TRUE(store.IsValidHandle(next));
    // A new subdirectory has room again.
    const std::string after = store.CreateItem();
    EXPECT_EQ((root / after).parent_path(), (root / next).parent_path());
}

TEST_F(LetterStoreTest, RemovingTheLastItemRemovesItsSubdirectory) {
    HugeItemCollection store(root);
    const std::string first = store.CreateItem();
    const std::string second = store.CreateItem();
    const fs::path subdirectory = (root / first).parent_path();
    ASSERT_EQ((root / second).parent_path(), subdirectory);
    store.RemoveItem(first);
    EXPECT_FALSE(fs::exists(root / first));
    EXPECT_TRUE(fs::is_directory(subdirectory));
    store.RemoveItem(second);
    EXPECT_FALSE(fs::exists(subdirectory));
    EXPECT_TRUE(fs::is_directory(root));
    EXPECT_FALSE(store.IsValidHandle(first));
    // The store goes on working.
    EXPECT_TRUE(store.IsValidHandle(store.CreateItem()));
}

// Texts are synced in one go, not per write: each written item, its folder and (for a new
// folder) the root; an item removed meanwhile is skipped.
TEST_F(LetterStoreTest, TextsAreSyncedAsWrittenAndTheirFolderEntriesTogetherWhenAskedFor) {
    HugeItemCollection store(root);
    moxeltest::SyncRecorder syncs;
    const std::string created = store.CreateItemWithText("first");
    const std::string replaced = store.CreateItem();
    store.WriteItem(replaced, "second");
    const fs::path folder = fs::canonical(root / created).parent_path();
    // A text is on the disk before any row can name it; the replaced one under its temporary
    // name, before the rename.
    EXPECT_EQ(syncs.Paths(), (std::vector<std::string>{
                                 (folder / fs::path(created).filename()).string(),
                                 (folder / fs::path(replaced).filename()).string() + ".new"}));

    store.SyncWrittenItems();
    const auto synced = syncs.Paths();
    ASSERT_GE(synced.size(), 2u);
    std::vector<std::string> folders(synced.begin() + 2, synced.end());
    std::sort(folders.begin(), folders.end());
    std::vector<std::string> expected{fs::canonical(root).string(), folder.string()};
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(folders, expected) << "each folder once, the texts not again";
    EXPECT_EQ(ReadFile(root / created), "first");
    EXPECT_EQ(ReadFile(root / replaced), "second");

    store.SyncWrittenItems();
    EXPECT_EQ(syncs.Paths().size(), 4u) << "synced again";
}

TEST_F(LetterStoreTest, RefusesHandlesThatAreNotItsOwn) {
    HugeItemCollection store(root);
    const std::string item = store.CreateItem();
    const std::string subdirectory = item.substr(0, item.find('/'));
    WriteFile(dir.Path() / "outside", "must survive");
    fs::create_directory(root / subdirectory / "77");
    WriteFile(root / subdirectory / "notanumber", "");
    for (const std::string& handle : std::vector<std::string>{
             ""s, "1"s, "1/"s, "/1"s, "a/b"s, "../outside"s, subdirectory + "/../../outside",
             subdirectory + "/notanumber", subdirectory + "/77", "32768/32768"s,
             "/" + (dir.Path() / "outside").string(), item + "/1", item + "\0"s}) {
        SCOPED_TRACE(handle);
        EXPECT_FALSE(store.IsValidHandle(handle));
        for (const auto& operation : std::vector<std::function<void()>>{
                 [&] { store.ReadItem(handle); }, [&] { store.WriteItem(handle, "x"); },
                 [&] { store.RemoveItem(handle); }, [&] { store.CopyItem(handle); }}) {
            try {
                operation();
                ADD_FAILURE() << "accepted";
            } catch (const Exception& error) {
                EXPECT_STREQ(error.what(), "Invalid item handle");
            }
        }
    }
    EXPECT_EQ(ReadFile(dir.Path() / "outside"), "must survive");
}

TEST_F(LetterStoreTest, AVanishedFileIsNoLongerAValidHandle) {
    HugeItemCollection store(root);
    const std::string handle = store.CreateItem();
    fs::remove(root / handle);
    EXPECT_FALSE(store.IsValidHandle(handle));
    EXPECT_THROW(store.ReadItem(handle), Exception);
}

TEST_F(LetterStoreTest, ARootThatIsNoFolderIsAnInternalError) {
    WriteFile(root, "a file where the store must go");
    try {
        HugeItemCollection store(root);
        FAIL() << "opened";
    } catch (const Exception& error) {
        EXPECT_STREQ(error.what(), "Internal error in HugeItemCollection::HugeItemCollection");
        EXPECT_NE(error.GetDescription().find(root.string()), std::string::npos);
    }
    EXPECT_EQ(ReadFile(root), "a file where the store must go");
}

TEST_F(LetterStoreTest, ANewItemLandsInASubdirectoryWithRoomAfterChangesByHand) {
    const struct {
        const char* label;
        std::function<void(const fs::path& subdirectory)> change;
        const char* landsIn;  // Any subdirectory when null.
    } cases[] = {
        {"the root removed", [&](const fs::path&) { fs::remove_all(root); }, nullptr},
        {"the subdirectory filled and another one added",
         [&](const fs::path& subdirectory) {
             for (int i = 0; i < HugeItemCollection::kMaxEntriesPerDirectory - 2; ++i) {
                 WriteFile(subdirectory / ("other" + std::to_string(i)), "");
             }
             // A name the store never draws itself.
             fs::create_directory(root / "32768");
         },
         "32768"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        fs::remove_all(root);
        HugeItemCollection store(root);
        // Two items: the second create lists the subdirectory the first one made.
        store.CreateItem();
        c.change((root / store.CreateItem()).parent_path());
        const std::string handle = store.CreateItemWithText("after");
        EXPECT_EQ(ReadFile(root / handle), "after");
        if (c.landsIn != nullptr) {
            EXPECT_EQ(handle.substr(0, handle.find('/')), c.landsIn);
        }
    }
}

TEST_F(LetterStoreTest, ATextCreatedInOneGoIsOnePrivateFileWithItsBytesOrNothing) {
    const struct {
        const char* label;
        std::string text;
        bool sync;
        bool diskFull;
    } cases[] = {
        {"every byte, unsynced", AllBytes() + "\0"s, false, false},
        {"5 MiB", std::string(5 * 1024 * 1024, 'x') + AllBytes(), true, false},
        {"beyond a full disk", std::string(1024 * 1024, 'n'), true, true},
        {"beyond a full disk, unsynced", std::string(1024 * 1024, 'n'), false, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        fs::remove_all(root);
        HugeItemCollection store(root);
        std::string handle;
        std::string error;
        {
            std::optional<moxeltest::FileSizeLimit> full;
            if (c.diskFull) {
                full.emplace(64 * 1024);
            }
            try {
                handle = c.sync ? store.CreateItemWithText(c.text)
                                : store.CreateItemWithTextUnsynced(c.text);
            } catch (const Exception& failure) {
                error = failure.what();
            }
        }
        if (c.diskFull) {
            EXPECT_TRUE(error.starts_with("Error writing to file " + root.string() + "/")) << error;
            EXPECT_TRUE(fs::is_empty(root)) << "no empty item or subdirectory is left";
            continue;
        }
        ASSERT_EQ(error, "");
        EXPECT_EQ(ReadFile(root / handle), c.text);
        EXPECT_EQ(CountFiles(root), 1);
        EXPECT_EQ(fs::status(root / handle).permissions() & fs::perms::all,
                  fs::perms::owner_read | fs::perms::owner_write);
    }
}

TEST_F(LetterStoreTest, AFullDiskFailsTheWriteAndKeepsTheOldText) {
    HugeItemCollection store(root);
    const std::string handle = store.CreateItem();
    store.WriteItem(handle, "the old text");
    {
        moxeltest::FileSizeLimit full(64 * 1024);
        try {
            store.WriteItem(handle, std::string(1024 * 1024, 'n'));
            FAIL() << "a write beyond the limit succeeded";
        } catch (const Exception& error) {
            EXPECT_EQ(std::string(error.what()),
                      "Error writing to file " + (root / handle).string());
        }
    }
    EXPECT_EQ(store.ReadItem(handle), "the old text");
    EXPECT_EQ(CountFiles(root), 1);
}

TEST_F(LetterStoreTest, ThreadsCreateAndRemoveWithoutCollisions) {
    HugeItemCollection store(root);
    constexpr int kThreads = 4;
    constexpr int kItems = 150;
    std::vector<std::vector<std::string>> created(kThreads);
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&store, &created, t] {
            for (int i = 0; i < kItems; ++i) {
                const std::string handle = store.CreateItem();
                store.WriteItem(handle, std::to_string(t) + ":" + std::to_string(i));
                created[t].push_back(handle);
                if (i % 3 == 0) {
                    store.RemoveItem(created[t].front());
                    created[t].erase(created[t].begin());
                }
            }
        });
    }
    for (auto& thread : threads) {
        thread.join();
    }
    std::set<std::string> all;
    for (int t = 0; t < kThreads; ++t) {
        for (const auto& handle : created[t]) {
            all.insert(handle);
            EXPECT_EQ(store.ReadItem(handle).substr(0, 2), std::to_string(t) + ":");
        }
    }
    EXPECT_EQ(all.size(), static_cast<std::size_t>(kThreads * (kItems - kItems / 3)));
    EXPECT_EQ(CountFiles(root), static_cast<int>(all.size()));
}

TEST(LetterStoreInstanceTest, LivesInTheCurrentDataFolder) {
    moxeltest::ScopedDataDir data;
    const auto store = HugeItemCollection::Instance();
    EXPECT_EQ(store->Root(), data.Path() / "letters");
    EXPECT_EQ(HugeItemCollection::Instance(), store);
    {
        moxeltest::ScopedDataDir other;
        EXPECT_EQ(HugeItemCollection::Instance()->Root(), other.Path() / "letters");
    }
}

}  // namespace
