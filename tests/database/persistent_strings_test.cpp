#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/Format.h"
#include "database/PersistentStringCollection.h"
#include "database/ThreadDatabase.h"
#include "support/DatabaseFixture.h"

using namespace DatabaseLayer;

namespace {

using PersistentStringsTest = moxeltest::DatabaseTest;

int Rows(const std::string& table) {
    return ExecuteScalar(Format("SELECT COUNT(*) FROM %1%;", table));
}

TEST_F(PersistentStringsTest, ACollectionFindsAddsAndRemovesItsOwnTexts) {
    PersistentStringCollection mine;
    PersistentStringCollection other;
    mine.SetPersistent(true);
    other.SetPersistent(true);
    mine.Add("shared");
    mine.Add("only mine");
    other.Add("shared");

    EXPECT_TRUE(mine.Contains("shared"));
    EXPECT_TRUE(mine.Contains("only mine"));
    EXPECT_FALSE(other.Contains("only mine"));
    EXPECT_FALSE(mine.Contains("Shared"));

    mine.Remove("shared");
    EXPECT_FALSE(mine.Contains("shared"));
    EXPECT_TRUE(other.Contains("shared")) << "removal stays inside its collection";
    mine.Remove("never added");
    EXPECT_EQ(mine.GetIds().size(), 1u);
}

TEST_F(PersistentStringsTest, IdsListTheEntriesAndGetStringOpensThem) {
    PersistentStringCollection texts;
    texts.SetPersistent(true);
    texts.Add("first");
    texts.Add("second");
    texts.Add("first");  // a plain collection keeps duplicates

    std::vector<std::string> read;
    for (const auto id : texts.GetIds()) {
        const auto entry = texts.GetString(id);
        ASSERT_NE(entry, nullptr);
        EXPECT_EQ(entry->GetCollectionId(), texts.GetId());
        read.push_back(entry->GetString());
    }
    EXPECT_EQ(read, (std::vector<std::string>{"first", "second", "first"}));
    EXPECT_EQ(texts.GetString(987654), nullptr);

    texts.Remove("first");
    EXPECT_EQ(texts.GetIds().size(), 1u) << "every equal entry goes";
}

TEST_F(PersistentStringsTest, ANonPersistentCollectionTakesItsTextsWithIt) {
    {
        PersistentStringCollection kept;
        kept.SetPersistent(true);
        kept.Add("kept");
        PersistentStringCollection dropped;
        dropped.Add("dropped one");
        dropped.Add("dropped two");
        EXPECT_EQ(Rows("String"), 3);
    }
    EXPECT_EQ(Rows("String"), 1);
    EXPECT_EQ(Rows("StringCollection"), 1);
    EXPECT_EQ(ExecuteScalar("SELECT COUNT(*) FROM String WHERE string = 'kept';"), 1);
}

TEST_F(PersistentStringsTest, AStringOnItsOwnBelongsToNoCollection) {
    std::int64_t id = 0;
    {
        PersistentString text("alone");
        EXPECT_EQ(text.GetCollectionId(), -1);
        text.SetString("changed");
        text.SetPersistent(true);
        id = text.GetId();
    }
    EXPECT_EQ(PersistentString(id).GetString(), "changed");
}

}  // namespace
