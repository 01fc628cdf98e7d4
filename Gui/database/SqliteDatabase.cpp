#include "database/SqliteDatabase.h"

#include "database/SqliteException.h"
#include "database/TextNumbers.h"

namespace DatabaseLayer {

SqliteDatabase::SqliteDatabase() : busyTimeoutMs(60000) {}

SqliteDatabase::~SqliteDatabase() {
    if (db != nullptr) {
        sqlite3_close(db);
    }
}

void SqliteDatabase::CheckOpen() const {
    if (db == nullptr) {
        throw SqliteException(SqliteException::kWrapperError, "Database not open");
    }
}

void SqliteDatabase::CheckStatementText(const std::string& sql) const {
    CheckOpen();
    // SQLite stops reading at a NUL byte: the rest of the statement would be silently dropped.
    if (sql.find('\0') != std::string::npos) {
        throw SqliteException(SqliteException::kWrapperError, "SQL statement contains a NUL byte");
    }
}

void SqliteDatabase::Open(const std::string& fileName) {
    sqlite3* handle = nullptr;
    const int result = sqlite3_open(fileName.c_str(), &handle);
    if (result != SQLITE_OK) {
        // SQLite hands out a handle even on failure; it carries the reason and must be closed.
        SqliteException error(result, handle != nullptr ? sqlite3_errmsg(handle) : nullptr);
        sqlite3_close(handle);
        throw error;
    }
    if (db != nullptr) {
        sqlite3_close(db);
    }
    db = handle;
    sqlite3_busy_timeout(db, busyTimeoutMs);
}

int SqliteDatabase::ExecuteStatement(const std::string& sql) {
    CheckStatementText(sql);
    char* error = nullptr;
    const int result = sqlite3_exec(db, sql.c_str(), nullptr, nullptr, &error);
    if (result != SQLITE_OK) {
        SqliteException exception(result, error != nullptr ? error : sqlite3_errmsg(db));
        sqlite3_free(error);
        throw exception;
    }
    return sqlite3_changes(db);
}

sqlite3_stmt* SqliteDatabase::Prepare(const std::string& sql) {
    CheckStatementText(sql);
    sqlite3_stmt* statement = nullptr;
    const int result = sqlite3_prepare_v2(db, sql.c_str(), -1, &statement, nullptr);
    if (result != SQLITE_OK) {
        sqlite3_finalize(statement);
        throw SqliteException(result, sqlite3_errmsg(db));
    }
    return statement;
}

SqliteQuery SqliteDatabase::ExecuteQuery(const std::string& sql) {
    sqlite3_stmt* statement = Prepare(sql);
    if (statement == nullptr) {
        // Only white space or a comment: a cursor with no rows.
        return SqliteQuery(db, nullptr, true);
    }
    const int result = sqlite3_step(statement);
    if (result == SQLITE_DONE || result == SQLITE_ROW) {
        return SqliteQuery(db, statement, result == SQLITE_DONE);
    }
    const int code = sqlite3_finalize(statement);
    throw SqliteException(code != SQLITE_OK ? code : result, sqlite3_errmsg(db));
}

int SqliteDatabase::ExecuteScalar(const std::string& sql) {
    CheckOpen();
    sqlite3_stmt* raw = Prepare(sql);
    if (raw == nullptr) {
        throw SqliteException(SqliteException::kWrapperError, "Invalid scalar query");
    }
    const int result = sqlite3_step(raw);
    if (result != SQLITE_ROW && result != SQLITE_DONE) {
        const int code = sqlite3_finalize(raw);
        throw SqliteException(code != SQLITE_OK ? code : result, sqlite3_errmsg(db));
    }
    SqliteQuery query(db, raw, result == SQLITE_DONE);
    if (result == SQLITE_DONE || sqlite3_column_count(raw) < 1) {
        throw SqliteException(SqliteException::kWrapperError, "Invalid scalar query");
    }
    const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(raw, 0));
    return ParseInt32(text != nullptr ? text : "");
}

std::int64_t SqliteDatabase::LastInsertId() {
    CheckOpen();
    return sqlite3_last_insert_rowid(db);
}

}  // namespace DatabaseLayer
