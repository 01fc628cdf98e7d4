#include <gtest/gtest.h>
#include <sqlite3.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <mutex>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "core/Exception.h"
#include "core/ThreadData.h"
#include "database/SqliteException.h"
#include "database/ThreadDatabase.h"
#include "database/Transaction.h"
#include "support/DatabaseFixture.h"

using namespace DatabaseLayer;

namespace {

class SqliteAccessTest : public moxeltest::DatabaseTest {
protected:
    void SetUp() override {
        DatabaseTest::SetUp();
        ExecuteStatement("CREATE TABLE Sample (id INTEGER PRIMARY KEY, name TEXT, amount INT);");
    }

    static int Count(const std::string& condition = "1") {
        return ExecuteScalar("SELECT COUNT(*) FROM Sample WHERE " + condition + ";");
    }

    static std::string MessageOf(const std::function<void()>& action) {
        try {
            action();
        } catch (const Exception& error) {
            return error.what();
        }
        return "(no exception)";
    }
};

// Counts the transaction statements SQLite itself runs on the test thread's connection.
class StatementCounter {
public:
    StatementCounter() {
        sqlite3_trace_v2(GetThreadDatabase().Handle(), SQLITE_TRACE_STMT, &StatementCounter::Trace,
                         this);
    }
    ~StatementCounter() { sqlite3_trace_v2(GetThreadDatabase().Handle(), 0, nullptr, nullptr); }
    int Count(const std::string& statement) const {
        int found = 0;
        for (const auto& seen : statements) {
            found += seen == statement ? 1 : 0;
        }
        return found;
    }

private:
    static int Trace(unsigned, void* self, void*, void* sql) {
        static_cast<StatementCounter*>(self)->statements.emplace_back(static_cast<char*>(sql));
        return 0;
    }
    std::vector<std::string> statements;
};

// The statements prepared on `db` now with the text `sql`, kept or in use.
std::vector<sqlite3_stmt*> StatementsOf(sqlite3* db, const std::string& sql) {
    std::vector<sqlite3_stmt*> found;
    for (sqlite3_stmt* s = sqlite3_next_stmt(db, nullptr); s != nullptr;
         s = sqlite3_next_stmt(db, s)) {
        if (sql == sqlite3_sql(s)) {
            found.push_back(s);
        }
    }
    return found;
}

TEST(ThreadDatabaseTest, UninitialisedThreadIsToldToInitialise) {
    std::string message;
    std::thread worker([&] {
        try {
            ExecuteStatement("SELECT 1;");
        } catch (const Exception& error) {
            message = error.what();
        }
    });
    worker.join();
    EXPECT_EQ(message, "Call InitializeThreadData before using this function");
}

TEST_F(SqliteAccessTest, ErrorsCarryCodeNameNumberAndText) {
    const struct {
        const char* label;
        std::function<void()> action;
        const char* expected;
    } cases[] = {
        {"scalar without row", [] { ExecuteScalar("SELECT id FROM Sample WHERE id = 42;"); },
         "DBLAYER_ERROR[1000]: Invalid scalar query"},
        {"unknown table", [] { ExecuteStatement("DELETE FROM Nowhere;"); },
         "SQLITE_ERROR[1]: no such table: Nowhere"},
        {"syntax", [] { ExecuteQuery("SELEKT 1;"); },
         "SQLITE_ERROR[1]: near \"SELEKT\": syntax error"},
        {"field name differing in case",
         [] {
             ExecuteStatement("INSERT INTO Sample (name) VALUES ('x');");
             ExecuteQuery("SELECT name FROM Sample;").GetStringField("Name");
         },
         "DBLAYER_ERROR[1000]: Invalid field name requested"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        EXPECT_EQ(MessageOf(c.action), c.expected);
    }
}

TEST_F(SqliteAccessTest, NullColumnsGiveDefaultsAndValuesRoundTrip) {
    ExecuteStatement("INSERT INTO Sample (name, amount) VALUES (NULL, NULL);");
    ExecuteStatement("INSERT INTO Sample (name, amount) VALUES ('it''s 100% \\ ok', -9000000000);");
    auto rows = ExecuteQuery("SELECT name, amount FROM Sample ORDER BY id;");
    ASSERT_FALSE(rows.AtEnd());
    EXPECT_EQ(rows.GetStringField("name"), "");
    EXPECT_EQ(rows.GetInt64Field("amount"), 0);
    rows.NextRow();
    ASSERT_FALSE(rows.AtEnd());
    EXPECT_EQ(rows.GetStringField("name"), "it's 100% \\ ok");
    EXPECT_EQ(rows.GetInt64Field("amount"), -9000000000LL);
    rows.NextRow();
    EXPECT_TRUE(rows.AtEnd());
    EXPECT_EQ(GetLastInsertId(), 2);
}

TEST_F(SqliteAccessTest, NestedScopesReachSqliteAsOneBeginAndOneCommit) {
    StatementCounter counter;
    {
        Transaction outer;
        ExecuteStatement("INSERT INTO Sample (name) VALUES ('a');");
        {
            Transaction middle;
            Transaction inner;
            ExecuteStatement("INSERT INTO Sample (name) VALUES ('b');");
        }
    }
    EXPECT_EQ(counter.Count("BEGIN IMMEDIATE TRANSACTION;"), 1);
    EXPECT_EQ(counter.Count("COMMIT TRANSACTION;"), 1);
    EXPECT_EQ(counter.Count("ROLLBACK TRANSACTION;"), 0);
    EXPECT_EQ(Count(), 2);
}

TEST_F(SqliteAccessTest, ExplicitBeginAndEndNestThreeDeep) {
    StatementCounter counter;
    BeginTransaction();
    BeginTransaction();
    BeginTransaction();
    ExecuteStatement("INSERT INTO Sample (name) VALUES ('a');");
    EndTransaction();
    EndTransaction();
    EXPECT_EQ(counter.Count("COMMIT TRANSACTION;"), 0);
    EndTransaction();
    EXPECT_EQ(counter.Count("BEGIN IMMEDIATE TRANSACTION;"), 1);
    EXPECT_EQ(counter.Count("COMMIT TRANSACTION;"), 1);
}

TEST_F(SqliteAccessTest, ScopeLeftByAnExceptionUndoesEverythingInside) {
    StatementCounter counter;
    EXPECT_THROW(
        {
            Transaction scope;
            ExecuteStatement("INSERT INTO Sample (name) VALUES ('half');");
            {
                Transaction nested;
                ExecuteStatement("UPDATE Sample SET amount = 5;");
            }
            throw Exception("sorting failed");
        },
        Exception);
    EXPECT_EQ(Count(), 0);
    EXPECT_EQ(counter.Count("COMMIT TRANSACTION;"), 0);
    EXPECT_EQ(counter.Count("ROLLBACK TRANSACTION;"), 1);

    // The database is usable again afterwards.
    {
        Transaction scope;
        ExecuteStatement("INSERT INTO Sample (name) VALUES ('whole');");
    }
    EXPECT_EQ(Count(), 1);
}

TEST_F(SqliteAccessTest, FailedNestedScopeIsUndoneWhileTheOuterScopeKeepsItsWork) {
    const auto insert = [](const std::string& name) {
        ExecuteStatement("INSERT INTO Sample (name) VALUES ('" + name + "');");
    };
    // Runs `work` in a nested scope that then fails, and carries on as a caller that logs the
    // failure would.
    const auto failing = [](const std::function<void()>& work) {
        try {
            Transaction scope;
            work();
            throw std::runtime_error("one letter failed");
        } catch (const std::runtime_error&) {
        }
    };
    struct Case {
        const char* label;
        std::function<void()> insideOuterScope;
        std::vector<std::string> kept;
    };
    const Case cases[] = {
        {"a new row between two kept ones",
         [&] {
             insert("kept");
             failing([&] { insert("undone"); });
             insert("also kept");
         },
         {"also kept", "kept"}},
        {"changes to rows of the outer scope",
         [&] {
             insert("kept");
             failing([&] {
                 ExecuteStatement("UPDATE Sample SET name = 'changed';");
                 ExecuteStatement("DELETE FROM Sample;");
             });
         },
         {"kept"}},
        {"inside a nested scope that succeeds",
         [&] {
             Transaction middle;
             insert("middle");
             failing([&] { insert("undone"); });
         },
         {"middle"}},
        {"followed by a good scope at the same depth",
         [&] {
             failing([&] { insert("undone"); });
             Transaction again;
             insert("kept");
         },
         {"kept"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        ExecuteStatement("DELETE FROM Sample;");
        {
            Transaction outer;
            c.insideOuterScope();
        }
        std::vector<std::string> names;
        for (auto row = ExecuteQuery("SELECT name FROM Sample ORDER BY name;"); !row.AtEnd();
             row.NextRow()) {
            names.push_back(row.GetStringField("name"));
        }
        EXPECT_EQ(names, c.kept);
    }
}

TEST_F(SqliteAccessTest, AnotherThreadsTransactionWaitsForTheOwnersCommit) {
    std::atomic<bool> workerInside{false};
    std::atomic<int> rowsSeenByWorker{-1};
    std::thread worker;
    {
        Transaction owner;
        ExecuteStatement("INSERT INTO Sample (name) VALUES ('owner');");
        worker = std::thread([&] {
            ThreadDataScope threadData;
            Transaction mine;
            workerInside = true;
            rowsSeenByWorker = Count();
            ExecuteStatement("INSERT INTO Sample (name) VALUES ('worker');");
        });
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        EXPECT_FALSE(workerInside.load()) << "the second writer must wait for the commit";
    }
    worker.join();
    EXPECT_TRUE(workerInside.load());
    EXPECT_EQ(rowsSeenByWorker.load(), 1);
    EXPECT_EQ(Count(), 2);
}

TEST_F(SqliteAccessTest, WaitingWriterGetsItsTurnBeforeABusyWriterBeginsAgain) {
    // One thread commits and begins again in a tight loop; another asks once. The asking thread
    // must get the next turn, not wait until the busy one has run out of work.
    constexpr int kBusyRounds = 400;
    std::atomic<int> busyRounds{0};
    std::atomic<bool> stop{false};
    std::thread busy([&] {
        ThreadDataScope threadData;
        while (!stop && busyRounds < kBusyRounds) {
            Transaction scope;
            ExecuteStatement("INSERT INTO Sample (name) VALUES ('busy');");
            ++busyRounds;
        }
    });
    while (busyRounds < 20) {
        std::this_thread::yield();
    }
    const int roundsWhenAsked = busyRounds.load();
    int roundsWhenServed = 0;
    {
        Transaction mine;
        roundsWhenServed = busyRounds.load();
        ExecuteStatement("INSERT INTO Sample (name) VALUES ('waiting');");
    }
    stop = true;
    busy.join();
    EXPECT_LE(roundsWhenServed - roundsWhenAsked, 2)
        << "the waiting writer was served only after " << roundsWhenServed - roundsWhenAsked
        << " more transactions of the busy one";
    EXPECT_EQ(Count("name = 'waiting'"), 1);
}

TEST_F(SqliteAccessTest, ConcurrentWritersNeverSeeBusy) {
    constexpr int kThreads = 4;
    constexpr int kRounds = 60;
    std::atomic<int> failures{0};
    std::string firstFailure;
    std::mutex failureMutex;
    std::vector<std::thread> writers;
    for (int t = 0; t < kThreads; ++t) {
        writers.emplace_back([&, t] {
            ThreadDataScope threadData;
            for (int round = 0; round < kRounds; ++round) {
                try {
                    if (round % 2 == 0) {
                        Transaction scope;
                        ExecuteStatement("INSERT INTO Sample (name, amount) VALUES ('t', " +
                                         std::to_string(t) + ");");
                        ExecuteStatement("UPDATE Sample SET amount = amount WHERE id = 1;");
                    } else {
                        // Autocommit writes race with the others' transactions too.
                        ExecuteStatement("INSERT INTO Sample (name, amount) VALUES ('t', " +
                                         std::to_string(t) + ");");
                    }
                } catch (const Exception& error) {
                    std::lock_guard lock(failureMutex);
                    if (failures++ == 0) {
                        firstFailure = error.what();
                    }
                }
            }
        });
    }
    for (auto& writer : writers) {
        writer.join();
    }
    EXPECT_EQ(failures.load(), 0) << firstFailure;
    EXPECT_EQ(Count(), kThreads * kRounds);
}

TEST_F(SqliteAccessTest, ATextRunAgainReusesOneStatementAndSeesTheCurrentRows) {
    // Between the two runs every amount is multiplied by ten: a kept statement that was not
    // reset, or kept its old rows, shows.
    const struct {
        const char* label;
        std::string text;
        std::function<std::int64_t(const std::string&)> run;
        std::int64_t first, second;
    } cases[] = {
        {"statement", "INSERT INTO Sample (amount) SELECT MAX(amount) FROM Sample;",
         [](const std::string& text) {
             ExecuteStatement(text);
             return std::int64_t{ExecuteScalar("SELECT amount FROM Sample ORDER BY id DESC;")};
         },
         2, 20},
        {"scalar", "SELECT SUM(amount) FROM Sample;",
         [](const std::string& text) { return std::int64_t{ExecuteScalar(text)}; }, 3, 30},
        {"query left after its first row", "SELECT amount FROM Sample ORDER BY amount;",
         [](const std::string& text) { return ExecuteQuery(text).GetInt64Field("amount"); }, 1, 10},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        ExecuteStatement("DELETE FROM Sample;");
        ExecuteStatement("INSERT INTO Sample (amount) VALUES (1), (2);");
        EXPECT_EQ(c.run(c.text), c.first);
        ExecuteStatement("UPDATE Sample SET amount = amount * 10;");
        EXPECT_EQ(c.run(c.text), c.second);
        const auto kept = StatementsOf(GetThreadDatabase().Handle(), c.text);
        ASSERT_EQ(kept.size(), 1u) << "prepared once";
        EXPECT_EQ(sqlite3_stmt_status(kept[0], SQLITE_STMTSTATUS_RUN, 0), 2);
    }
}

TEST_F(SqliteAccessTest, ParametersAreBoundAfreshForEachRunOfOneStatement) {
    ExecuteStatement("INSERT INTO Sample (id, amount) VALUES (1, 10), (2, 20), (3, 30);");
    const std::string text = "SELECT amount FROM Sample WHERE id >= ?1 AND id <= ?2;";
    const struct {
        const char* label;
        std::string text;
        std::vector<std::int64_t> parameters;
        std::string amounts;  // as read, or the start of the error
    } cases[] = {
        {"one row", text, {2, 2}, "20 "},
        {"the same text, other values", text, {1, 3}, "10 20 30 "},
        {"no row", text, {4, 9}, ""},
        {"a parameter too many", text, {1, 2, 3}, "SQLITE_RANGE[25]: column index out of range"},
        {"several statements",
         "SELECT ?1; SELECT 2;",
         {1},
         "DBLAYER_ERROR[1000]: Parameters need a single statement"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        std::string amounts;
        const std::string error = MessageOf([&] {
            for (auto row = ExecuteQuery(c.text, c.parameters); !row.AtEnd(); row.NextRow()) {
                amounts += std::to_string(row.GetInt64Field("amount")) + " ";
            }
        });
        EXPECT_EQ(error == "(no exception)" ? amounts : error.substr(0, c.amounts.size()),
                  c.amounts)
            << error;
    }
    EXPECT_EQ(StatementsOf(GetThreadDatabase().Handle(), text).size(), 1u) << "prepared once";
}

TEST_F(SqliteAccessTest, CursorsOpenOnTheSameTextEachGetTheirOwnRows) {
    ExecuteStatement("INSERT INTO Sample (amount) VALUES (1), (2), (3);");
    const std::string text = "SELECT amount FROM Sample ORDER BY amount;";
    ExecuteScalar(text);  // Now kept.
    std::string seen;
    // Bounded: a cursor whose statement is reset under it would start over for ever.
    for (auto outer = ExecuteQuery(text); !outer.AtEnd() && seen.size() < 20; outer.NextRow()) {
        seen += std::to_string(outer.GetInt64Field("amount")) + ":";
        for (auto inner = ExecuteQuery(text); !inner.AtEnd(); inner.NextRow()) {
            seen += std::to_string(inner.GetInt64Field("amount"));
        }
        seen += " ";
    }
    EXPECT_EQ(seen, "1:123 2:123 3:123 ");
}

TEST_F(SqliteAccessTest, AFailingTextReportsTheSameErrorEachTimeAndWorksWhenRepaired) {
    const struct {
        const char* label;
        std::string text, breaks, expected;
    } cases[] = {
        {"unique violation", "INSERT INTO Sample (id, amount) VALUES (1, 7);",
         "INSERT INTO Sample (id, amount) VALUES (1, 0);",
         "SQLITE_CONSTRAINT[19]: UNIQUE constraint failed: Sample.id"},
        {"query failing on its first row", "SELECT abs(amount) AS amount FROM Sample;",
         "INSERT INTO Sample (id, amount) VALUES (1, -9223372036854775807 - 1);",
         "SQLITE_ERROR[1]: integer overflow"},
        {"query failing on a later row", "SELECT abs(amount) AS amount FROM Sample ORDER BY id;",
         "INSERT INTO Sample (id, amount) VALUES (1, 7), (2, -9223372036854775807 - 1);",
         "SQLITE_ERROR[1]: integer overflow"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        const auto run = [&] {
            if (!c.text.starts_with("SELECT")) {
                ExecuteStatement(c.text);
                return;
            }
            for (auto rows = ExecuteQuery(c.text); !rows.AtEnd(); rows.NextRow()) {
            }
        };
        ExecuteStatement("DELETE FROM Sample;");
        ExecuteStatement(c.breaks);
        EXPECT_EQ(MessageOf(run), c.expected);
        EXPECT_EQ(MessageOf(run), c.expected) << "the second time";
        ExecuteStatement("DELETE FROM Sample;");
        EXPECT_EQ(MessageOf(run), "(no exception)");
        EXPECT_EQ(StatementsOf(GetThreadDatabase().Handle(), c.text).size(), 1u)
            << "none lost, none prepared twice";
    }
}

TEST_F(SqliteAccessTest, ACursorLeftBehindHoldsUpNeitherACommitNorTheNextSnapshot) {
    ExecuteStatement("INSERT INTO Sample (amount) VALUES (1), (2);");
    for (const std::string text :
         {"SELECT id FROM Sample;", "UPDATE Sample SET amount = amount + 1 RETURNING amount;"}) {
        SCOPED_TRACE(text);
        // Twice: the second time on the kept statement.
        for (int round = 0; round < 2; ++round) {
            // Straight on the connection: a commit refused as busy is not retried here.
            GetThreadDatabase().ExecuteStatement("BEGIN IMMEDIATE;");
            ExecuteScalar(text);  // Its cursor is left after the first row.
            try {
                GetThreadDatabase().ExecuteStatement("COMMIT;");
            } catch (const SqliteException& error) {
                ADD_FAILURE() << error.Message();
                GetThreadDatabase().ExecuteStatement("ROLLBACK;");
            }
            const int before = Count();
            std::thread([] {
                ThreadDataScope threadData;
                ExecuteStatement("INSERT INTO Sample (amount) VALUES (0);");
            }).join();
            EXPECT_EQ(Count(), before + 1) << "another connection's insert is seen";
        }
    }
}

TEST_F(SqliteAccessTest, ATextOfSeveralStatementsRunsThemAll) {
    const std::string insert = "INSERT INTO Sample (name) VALUES ";
    const struct {
        std::string text;
        int rows;  // Of one run.
    } cases[] = {
        {insert + "('a'); " + insert + "('b');", 2},
        {insert + "('a'); -- and a comment", 1},
        {insert + "('a');\r\n\t ", 1},
        {"-- only a comment", 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        ExecuteStatement("DELETE FROM Sample;");
        ExecuteStatement(c.text);
        ExecuteStatement(c.text);
        EXPECT_EQ(Count(), 2 * c.rows);
    }
}

}  // namespace
