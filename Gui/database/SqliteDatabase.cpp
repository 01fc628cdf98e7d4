#include "database/SqliteDatabase.h"

#include "database/SqliteException.h"
#include "database/TextNumbers.h"

namespace DatabaseLayer {

SqliteDatabase::SqliteDatabase() : busyTimeoutMs(60000) {}

namespace {

bool IsBlank(const char* text) {
    for (; text != nullptr && *text != '\0'; ++text) {
        if (*text != ' ' && *text != '\t' && *text != '\r' && *text != '\n') {
            return false;
        }
    }
    return true;
}

}  // namespace

SqliteDatabase::~SqliteDatabase() {
    Close();
}

void SqliteDatabase::Close() {
    // Kept statements would make the close fail with SQLITE_BUSY.
    statements.Clear();
    if (db != nullptr) {
        sqlite3_close(db);
        db = nullptr;
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
    Close();
    db = handle;
    sqlite3_busy_timeout(db, busyTimeoutMs);
}

sqlite3_stmt* SqliteDatabase::Reusable(const std::string& sql, bool& single) {
    single = true;
    if (sqlite3_stmt* kept = statements.Take(sql)) {
        return kept;
    }
    sqlite3_stmt* statement = nullptr;
    const char* tail = nullptr;
    const int result = sqlite3_prepare_v2(db, sql.c_str(), -1, &statement, &tail);
    if (result != SQLITE_OK) {
        sqlite3_finalize(statement);
        throw SqliteException(result, sqlite3_errmsg(db));
    }
    single = statement == nullptr || IsBlank(tail);
    return statement;
}

int SqliteDatabase::ExecuteStatement(const std::string& sql) {
    CheckStatementText(sql);
    bool single = true;
    sqlite3_stmt* statement = Reusable(sql, single);
    if (!single) {
        sqlite3_finalize(statement);
        return ExecuteScript(sql);
    }
    if (statement == nullptr) {
        // Only white space or a comment.
        return sqlite3_changes(db);
    }
    int result = SQLITE_ROW;
    while (result == SQLITE_ROW) {
        result = sqlite3_step(statement);
    }
    if (result != SQLITE_DONE) {
        // Taken before the statement goes back, so that its reset there cannot change it.
        SqliteException exception(result, sqlite3_errmsg(db));
        statements.Give(sql, statement);
        throw exception;
    }
    const int changed = sqlite3_changes(db);
    statements.Give(sql, statement);
    return changed;
}

int SqliteDatabase::ExecuteScript(const std::string& sql) {
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

SqliteQuery SqliteDatabase::ExecuteQuery(const std::string& sql,
                                         std::span<const std::int64_t> parameters) {
    CheckStatementText(sql);
    bool single = true;
    sqlite3_stmt* statement = Reusable(sql, single);
    if (!single && !parameters.empty()) {
        sqlite3_finalize(statement);
        throw SqliteException(SqliteException::kWrapperError, "Parameters need a single statement");
    }
    // Of several statements only the first counts, as it always did; not worth keeping.
    StatementCache* home = single ? &statements : nullptr;
    if (statement == nullptr) {
        // Only white space or a comment: a cursor with no rows.
        return SqliteQuery(db, nullptr, true);
    }
    const int result = Bind(statement, parameters) ? sqlite3_step(statement) : SQLITE_RANGE;
    if (result == SQLITE_DONE || result == SQLITE_ROW) {
        return home != nullptr ? SqliteQuery(db, statement, result == SQLITE_DONE, home, sql)
                               : SqliteQuery(db, statement, result == SQLITE_DONE);
    }
    const int code = home != nullptr ? sqlite3_reset(statement) : sqlite3_finalize(statement);
    // Taken before the statement goes back, so that its reset there cannot change it.
    SqliteException exception(code != SQLITE_OK ? code : result, sqlite3_errmsg(db));
    if (home != nullptr) {
        home->Give(sql, statement);
    }
    throw exception;
}

bool SqliteDatabase::Bind(sqlite3_stmt* statement, std::span<const std::int64_t> parameters) {
    for (std::size_t index = 0; index < parameters.size(); ++index) {
        if (sqlite3_bind_int64(statement, static_cast<int>(index + 1), parameters[index]) !=
            SQLITE_OK) {
            return false;
        }
    }
    return true;
}

int SqliteDatabase::ExecuteScalar(const std::string& sql) {
    SqliteQuery query = ExecuteQuery(sql);
    if (!query.HasStatement() || query.AtEnd() || query.ColumnCount() < 1) {
        throw SqliteException(SqliteException::kWrapperError, "Invalid scalar query");
    }
    return ParseInt32(query.ColumnText(0));
}

std::int64_t SqliteDatabase::LastInsertId() {
    CheckOpen();
    return sqlite3_last_insert_rowid(db);
}

}  // namespace DatabaseLayer
