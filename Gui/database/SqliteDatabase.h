#pragma once

#include <sqlite3.h>

#include <cstdint>
#include <span>
#include <string>

#include "database/SqliteQuery.h"
#include "database/StatementCache.h"

namespace DatabaseLayer {

// One SQLite connection. Used by the one thread that opened it; never shared between threads.
// Every operation on a connection that is not open throws SqliteException 1000
// "Database not open"; SQLite's failures throw SqliteException with SQLite's code and text.
class SqliteDatabase {
public:
    SqliteDatabase();
    SqliteDatabase(const SqliteDatabase&) = delete;
    SqliteDatabase& operator=(const SqliteDatabase&) = delete;
    // Closes an open connection.
    virtual ~SqliteDatabase();

    // Opens (or creates) the file and sets the busy timeout to one minute.
    void Open(const std::string& fileName);
    // Runs the statements in `sql`; returns the number of rows the last one changed. A text of
    // one statement is kept prepared for the next time it is run.
    int ExecuteStatement(const std::string& sql);
    // Prepares the first statement of `sql`; the caller owns the handle.
    sqlite3_stmt* Prepare(const std::string& sql);
    // Prepares `sql` (or takes it kept prepared), binds `parameters` to ?1, ?2 ... and steps to
    // its first row. A text whose values come as parameters is one text for the cache, however
    // the values change; with parameters it must hold a single statement, else SqliteException
    // kWrapperError "Parameters need a single statement".
    SqliteQuery ExecuteQuery(const std::string& sql, std::span<const std::int64_t> parameters = {});
    // Column 0 of the first row, converted like atoi; throws 1000 "Invalid scalar query" when
    // there is no row or no column.
    int ExecuteScalar(const std::string& sql);
    std::int64_t LastInsertId();

    // The raw handle, for observers such as statement tracing; null until Open.
    sqlite3* Handle() const { return db; }

private:
    void CheckOpen() const;
    // Throws SqliteException kWrapperError when not open or when `sql` holds a NUL byte.
    void CheckStatementText(const std::string& sql) const;
    // The first statement of `sql`, from the cache or newly prepared; null when `sql` holds
    // none. `single` is false when more statements follow: the caller then owns the one
    // returned, which is not to be kept.
    sqlite3_stmt* Reusable(const std::string& sql, bool& single);
    // Binds `parameters` to the statement's ?1, ?2 ...; false when SQLite refuses one (the
    // connection's message says why).
    bool Bind(sqlite3_stmt* statement, std::span<const std::int64_t> parameters);
    // Runs a text of several statements as a whole.
    int ExecuteScript(const std::string& sql);
    void Close();

    sqlite3* db = nullptr;
    int busyTimeoutMs;
    StatementCache statements;
};

}  // namespace DatabaseLayer
