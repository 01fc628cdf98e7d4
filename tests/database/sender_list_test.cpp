#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "core/Format.h"
#include "core/ThreadData.h"
#include "database/SenderList.h"
#include "database/ThreadDatabase.h"
#include "support/DatabaseFixture.h"

using namespace DatabaseLayer;

namespace {

using SenderListTest = moxeltest::DatabaseTest;

int Rows(const std::string& table) {
    return ExecuteScalar(Format("SELECT COUNT(*) FROM %1%;", table));
}

std::vector<std::string> Sorted(std::vector<std::string> texts) {
    std::sort(texts.begin(), texts.end());
    return texts;
}

const std::vector<std::string> kAwkwardTexts = {
    "o'neil@example.com",
    "''",
    "100%@example.com %1% %s",
    "back\\slash@example.com",
    "jürgen@bücher.example",
    "用户@例子.广告",
    std::string(20000, 'a') + "@example.com",
};

TEST_F(SenderListTest, ADomainEntryCoversExactlyThatDomain) {
    SenderList list;
    list.Add("example.com");
    EXPECT_TRUE(list.Contains("anyone@example.com"));
    EXPECT_TRUE(list.Contains("example.com"));
    EXPECT_FALSE(list.Contains("someone@mail.example.com")) << "subdomains are not covered";
    EXPECT_FALSE(list.Contains("someone@example.com.evil.org"));
    EXPECT_FALSE(list.Contains("someone@xample.com"));
}

TEST_F(SenderListTest, AnAddressCoveredByItsDomainIsNeitherAddedNorRemoved) {
    SenderList list;
    list.Add("example.com");
    list.Add("friend@example.com");
    EXPECT_EQ(list.GetEntries(), std::vector<std::string>{"example.com"});
    list.Remove("friend@example.com");
    EXPECT_EQ(list.GetEntries(), std::vector<std::string>{"example.com"});
    EXPECT_TRUE(list.Contains("friend@example.com"));
}

TEST_F(SenderListTest, RemovingAnAddressLeavesItsDomainEntry) {
    SenderList list;
    list.Add("friend@example.com");
    list.Add("example.com");  // added after the address: both entries exist
    EXPECT_EQ(Sorted(list.GetEntries()),
              (std::vector<std::string>{"example.com", "friend@example.com"}));
    list.Remove("friend@example.com");
    EXPECT_EQ(list.GetEntries(), std::vector<std::string>{"example.com"});
    EXPECT_TRUE(list.Contains("friend@example.com"));
    list.Remove("example.com");
    EXPECT_TRUE(list.GetEntries().empty());
    EXPECT_FALSE(list.Contains("friend@example.com"));
}

TEST_F(SenderListTest, EntriesAreComparedExactlyAsStored) {
    SenderList list;
    list.Add("Friend@Example.com");
    EXPECT_TRUE(list.Contains("Friend@Example.com"));
    EXPECT_FALSE(list.Contains("friend@example.com"));
    EXPECT_FALSE(list.Contains(" Friend@Example.com"));
    EXPECT_FALSE(list.Contains("Friend@Example.com "));
    list.Remove("friend@example.com");
    EXPECT_EQ(list.GetEntries(), std::vector<std::string>{"Friend@Example.com"});
}

TEST_F(SenderListTest, TheDomainIsTheTextAfterTheFirstAt) {
    SenderList list;
    list.Add("b@c");
    EXPECT_TRUE(list.Contains("a@b@c"));
    EXPECT_FALSE(list.Contains("a@c"));
    // Without an "@" the domain is empty, which matches only an empty entry.
    EXPECT_FALSE(list.Contains("nobody"));
    list.Add("");
    EXPECT_TRUE(list.Contains("nobody"));
    EXPECT_TRUE(list.Contains("trailing@"));
    EXPECT_FALSE(list.Contains("someone@elsewhere.org"));
}

TEST_F(SenderListTest, AddingTwiceKeepsOneEntry) {
    SenderList list;
    list.Add("friend@example.com");
    list.Add("friend@example.com");
    EXPECT_EQ(list.GetEntries(), std::vector<std::string>{"friend@example.com"});
}

TEST_F(SenderListTest, AwkwardEntriesAreFoundAndRemoved) {
    SenderList list;
    for (const auto& text : kAwkwardTexts) {
        list.Add(text);
    }
    EXPECT_EQ(Sorted(list.GetEntries()), Sorted(kAwkwardTexts));
    for (const auto& text : kAwkwardTexts) {
        SCOPED_TRACE(text.substr(0, 40));
        EXPECT_TRUE(list.Contains(text));
        list.Remove(text);
        EXPECT_FALSE(list.Contains(text));
    }
    EXPECT_TRUE(list.GetEntries().empty());
    // A quote in the domain part is matched as a domain, too.
    list.Add("o'brien.ie");
    EXPECT_TRUE(list.Contains("sean@o'brien.ie"));
}

TEST_F(SenderListTest, APersistentListIsOpenedAgainByItsId) {
    std::int64_t id = 0;
    {
        SenderList list;
        list.Add("friend@example.com");
        list.Add("example.org");
        list.SetPersistent(true);
        id = list.GetId();
    }
    SenderList reopened(id);
    EXPECT_TRUE(reopened.Contains("friend@example.com"));
    EXPECT_TRUE(reopened.Contains("someone@example.org"));
    EXPECT_EQ(Sorted(reopened.GetEntries()),
              (std::vector<std::string>{"example.org", "friend@example.com"}));
    EXPECT_EQ(
        ExecuteScalar(Format("SELECT senderCollectionId FROM SenderList WHERE id = %1%;", id)),
        ExecuteScalar("SELECT id FROM StringCollection;"));
}

TEST_F(SenderListTest, AListThatIsNotKeptLeavesNoRows) {
    {
        SenderList list;
        list.Add("friend@example.com");
        EXPECT_EQ(Rows("SenderList"), 1);
        EXPECT_EQ(Rows("StringCollection"), 1);
        EXPECT_EQ(Rows("String"), 1);
    }
    EXPECT_EQ(Rows("SenderList"), 0);
    EXPECT_EQ(Rows("StringCollection"), 0);
    EXPECT_EQ(Rows("String"), 0);
}

TEST_F(SenderListTest, TwoThreadsAddingTheSameSendersStoreEachOnce) {
    SenderList list;
    list.SetPersistent(true);
    const std::int64_t id = list.GetId();
    constexpr int kSenders = 30;
    auto addAll = [id] {
        ThreadDataScope database;
        SenderList mine(id);
        for (int i = 0; i < kSenders; ++i) {
            mine.Add("sender" + std::to_string(i) + "@example.com");
        }
    };
    std::thread first(addAll);
    std::thread second(addAll);
    first.join();
    second.join();
    EXPECT_EQ(list.GetEntries().size(), static_cast<std::size_t>(kSenders));
    EXPECT_EQ(Rows("String"), kSenders);
}

}  // namespace
