#include <gtest/gtest.h>
#include <sqlite3.h>

#include <cstddef>
#include <filesystem>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "database/SqliteDatabase.h"
#include "database/StatementCache.h"
#include "support/TestDataDir.h"

namespace fs = std::filesystem;
using namespace DatabaseLayer;

namespace {

// The texts of every statement prepared on `db` now.
std::multiset<std::string> Prepared(sqlite3* db) {
    std::multiset<std::string> texts;
    for (sqlite3_stmt* s = sqlite3_next_stmt(db, nullptr); s != nullptr;
         s = sqlite3_next_stmt(db, s)) {
        texts.insert(sqlite3_sql(s));
    }
    return texts;
}

std::string TextOf(const std::string& letter) {
    return "SELECT '" + letter + "';";
}

TEST(StatementCacheTest, KeepsTheStatementsWorthKeepingAndNeverOneLent) {
    // Steps: "x" runs the text of x (the kept statement taken, else a new one prepared) and gives
    // it back; "<x" takes or prepares it and holds it; ">x" gives the last one held back.
    const struct {
        const char* label;
        std::size_t capacity;
        std::vector<std::string> steps;
        std::multiset<std::string> kept;
    } cases[] = {
        {"one-off texts push out the oldest one-off", 2, {"a", "b", "c"}, {"b", "c"}},
        {"a reused text outlives one-offs", 2, {"a", "a", "b", "c", "d"}, {"a", "d"}},
        {"among reused texts the least recently used goes",
         2,
         {"a", "a", "b", "b", "a", "c"},
         {"a", "c"}},
        {"a lent statement is not pushed out", 2, {"a", "<a", "b", "c", ">a"}, {"a", "c"}},
        {"every other one lent: the one given back goes", 1, {"a", "<a", "<b", ">b", ">a"}, {"a"}},
        {"a lent statement is not lent twice", 2, {"a", "<a", "<a", ">a", ">a"}, {"a", "a"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        sqlite3* db = nullptr;
        ASSERT_EQ(sqlite3_open(":memory:", &db), SQLITE_OK);
        {
            StatementCache cache(c.capacity);
            std::map<std::string, std::vector<sqlite3_stmt*>> held;
            const auto take = [&](const std::string& letter) {
                sqlite3_stmt* statement = cache.Take(TextOf(letter));
                if (statement == nullptr) {
                    sqlite3_prepare_v2(db, TextOf(letter).c_str(), -1, &statement, nullptr);
                }
                EXPECT_EQ(sqlite3_step(statement), SQLITE_ROW);
                return statement;
            };
            for (const auto& step : c.steps) {
                if (step[0] == '<') {
                    held[step.substr(1)].push_back(take(step.substr(1)));
                } else if (step[0] == '>') {
                    auto& lent = held[step.substr(1)];
                    cache.Give(TextOf(step.substr(1)), lent.back());
                    lent.pop_back();
                } else {
                    cache.Give(TextOf(step), take(step));
                }
            }
            std::multiset<std::string> kept;
            for (const auto& letter : c.kept) {
                kept.insert(TextOf(letter));
            }
            // Whatever is not kept was finalized: the connection has no other statement.
            EXPECT_EQ(Prepared(db), kept);
            EXPECT_EQ(cache.Size(), kept.size());
        }
        EXPECT_TRUE(Prepared(db).empty()) << "finalized with the cache";
        EXPECT_EQ(sqlite3_close(db), SQLITE_OK);
    }
}

TEST(StatementCacheTest, ClosingOrReopeningWithStatementsKeptReleasesTheConnection) {
    moxeltest::TempDir dir;
    // The write-ahead log goes when the last connection to its database closes cleanly.
    const auto logOf = [&](const char* name) { return dir.Path() / (std::string(name) + "-wal"); };
    const auto fill = [&](SqliteDatabase& db, const char* name, int value) {
        db.Open((dir.Path() / name).string());
        db.ExecuteStatement("PRAGMA journal_mode=WAL;");
        db.ExecuteStatement("CREATE TABLE t (v INT);");
        db.ExecuteStatement("INSERT INTO t VALUES (" + std::to_string(value) + ");");
        EXPECT_EQ(db.ExecuteScalar("SELECT v FROM t;"), value);
        db.ExecuteQuery("SELECT v FROM t;");
        EXPECT_TRUE(fs::exists(logOf(name)));
    };
    {
        SqliteDatabase db;
        fill(db, "first", 1);
        fill(db, "second", 2);
        EXPECT_FALSE(fs::exists(logOf("first"))) << "reopening closed the first connection";
        EXPECT_EQ(db.ExecuteScalar("SELECT v FROM t;"), 2);
    }
    EXPECT_FALSE(fs::exists(logOf("second"))) << "destruction closed the connection";
}

}  // namespace
