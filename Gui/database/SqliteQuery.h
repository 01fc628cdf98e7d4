#pragma once

#include <sqlite3.h>

#include <cstdint>
#include <string>

namespace DatabaseLayer {

class StatementCache;

// A cursor over the rows of one prepared statement, positioned on its current row.
// Belongs to the thread whose connection prepared it and must be destroyed before that
// connection closes. Move-only: moving hands over the statement.
class SqliteQuery {
public:
    // Takes over `statement` (finalized on destruction); `atEnd` says the first step found no row.
    SqliteQuery(sqlite3* db, sqlite3_stmt* statement, bool atEnd);
    // The same for a statement of `sql` that goes back to `home` instead of being finalized.
    SqliteQuery(sqlite3* db, sqlite3_stmt* statement, bool atEnd, StatementCache* home,
                std::string sql);
    SqliteQuery(SqliteQuery&& other) noexcept;
    SqliteQuery& operator=(SqliteQuery&& other) noexcept;
    SqliteQuery(const SqliteQuery&) = delete;
    SqliteQuery& operator=(const SqliteQuery&) = delete;
    virtual ~SqliteQuery();

    // Index of the column named exactly `name` (case-sensitive); throws SqliteException 1000
    // "Invalid field name requested".
    int FieldIndex(const std::string& name) const;
    // SQLite's type of column `index` (0-based); throws 1000 "Invalid field index requested".
    int FieldType(int index) const;
    // The column's text, or `fallback` when it is NULL.
    std::string GetStringField(const std::string& name, const std::string& fallback) const;
    // The column as a 64-bit integer, or `fallback` when it is NULL.
    std::int64_t GetInt64Field(const std::string& name, std::int64_t fallback) const;
    bool AtEnd() const;
    // False for the cursor of a text that held no statement.
    bool HasStatement() const { return statement != nullptr; }
    int ColumnCount() const { return columnCount; }
    // Column `index` of the current row as text; NULL gives the empty text.
    std::string ColumnText(int index) const;
    // Steps to the next row; on an error the statement is finalized and SqliteException thrown.
    void NextRow();
    // Finalizes the statement now; a failure code throws SqliteException.
    void Finalize();

private:
    // Ends the use of the statement (finalized, or reset and handed back to its cache) and
    // returns the error of its last step, SQLITE_OK when there was none; `message` receives
    // SQLite's text for it.
    int ReleaseStatement(std::string& message);
    void CheckStatement() const;

    sqlite3* db;
    sqlite3_stmt* statement;
    bool eof;
    int columnCount;
    bool ownsStatement;
    // Where the statement goes when done; null when it is finalized.
    StatementCache* home = nullptr;
    std::string sql;
};

}  // namespace DatabaseLayer
