#include "database/SqliteQuery.h"

#include <cstring>
#include <utility>

#include "database/SqliteException.h"
#include "database/StatementCache.h"

namespace DatabaseLayer {

SqliteQuery::SqliteQuery(sqlite3* dbIn, sqlite3_stmt* statementIn, bool atEnd)
    : db(dbIn),
      statement(statementIn),
      eof(atEnd),
      columnCount(statementIn != nullptr ? sqlite3_column_count(statementIn) : 0),
      ownsStatement(true) {}

SqliteQuery::SqliteQuery(sqlite3* dbIn, sqlite3_stmt* statementIn, bool atEnd,
                         StatementCache* homeIn, std::string sqlIn)
    : SqliteQuery(dbIn, statementIn, atEnd) {
    home = homeIn;
    sql = std::move(sqlIn);
}

SqliteQuery::SqliteQuery(SqliteQuery&& other) noexcept
    : db(other.db),
      statement(std::exchange(other.statement, nullptr)),
      eof(other.eof),
      columnCount(other.columnCount),
      ownsStatement(std::exchange(other.ownsStatement, false)),
      home(std::exchange(other.home, nullptr)),
      sql(std::move(other.sql)) {}

SqliteQuery& SqliteQuery::operator=(SqliteQuery&& other) noexcept {
    if (this != &other) {
        if (ownsStatement && statement != nullptr) {
            std::string ignored;
            ReleaseStatement(ignored);
        }
        db = other.db;
        statement = std::exchange(other.statement, nullptr);
        eof = other.eof;
        columnCount = other.columnCount;
        ownsStatement = std::exchange(other.ownsStatement, false);
        home = std::exchange(other.home, nullptr);
        sql = std::move(other.sql);
    }
    return *this;
}

SqliteQuery::~SqliteQuery() {
    if (ownsStatement && statement != nullptr) {
        // Errors of the last step were already reported; nothing useful to do here.
        std::string ignored;
        ReleaseStatement(ignored);
    }
}

int SqliteQuery::ReleaseStatement(std::string& message) {
    sqlite3_stmt* released = std::exchange(statement, nullptr);
    const int code = home != nullptr ? sqlite3_reset(released) : sqlite3_finalize(released);
    // Read before the statement is handed back, so that its reset there cannot change it.
    message = sqlite3_errmsg(db);
    if (home != nullptr) {
        home->Give(sql, released);
    }
    return code;
}

void SqliteQuery::CheckStatement() const {
    if (statement == nullptr) {
        throw SqliteException(SqliteException::kWrapperError, "Null Virtual Machine pointer");
    }
}

int SqliteQuery::FieldIndex(const std::string& name) const {
    CheckStatement();
    for (int index = 0; index < columnCount; ++index) {
        const char* column = sqlite3_column_name(statement, index);
        if (column != nullptr && name == column) {
            return index;
        }
    }
    throw SqliteException(SqliteException::kWrapperError, "Invalid field name requested");
}

int SqliteQuery::FieldType(int index) const {
    CheckStatement();
    if (index < 0 || index >= columnCount) {
        throw SqliteException(SqliteException::kWrapperError, "Invalid field index requested");
    }
    return sqlite3_column_type(statement, index);
}

std::string SqliteQuery::GetStringField(const std::string& name,
                                        const std::string& fallback) const {
    const int index = FieldIndex(name);
    // Texts may hold NUL bytes; ColumnText keeps them.
    return FieldType(index) == SQLITE_NULL ? fallback : ColumnText(index);
}

std::int64_t SqliteQuery::GetInt64Field(const std::string& name, std::int64_t fallback) const {
    const int index = FieldIndex(name);
    if (FieldType(index) == SQLITE_NULL) {
        return fallback;
    }
    return sqlite3_column_int64(statement, index);
}

std::string SqliteQuery::ColumnText(int index) const {
    if (FieldType(index) == SQLITE_NULL) {
        return {};
    }
    const auto* text = sqlite3_column_text(statement, index);
    const int size = sqlite3_column_bytes(statement, index);
    return text != nullptr
               ? std::string(reinterpret_cast<const char*>(text), static_cast<std::size_t>(size))
               : std::string();
}

bool SqliteQuery::AtEnd() const {
    CheckStatement();
    return eof;
}

void SqliteQuery::NextRow() {
    CheckStatement();
    const int result = sqlite3_step(statement);
    if (result == SQLITE_DONE) {
        eof = true;
        return;
    }
    if (result == SQLITE_ROW) {
        return;
    }
    std::string message;
    const int code = ReleaseStatement(message);
    throw SqliteException(code != SQLITE_OK ? code : result, message.c_str());
}

void SqliteQuery::Finalize() {
    if (ownsStatement && statement != nullptr) {
        std::string message;
        const int code = ReleaseStatement(message);
        if (code != SQLITE_OK) {
            throw SqliteException(code, message.c_str());
        }
    }
}

}  // namespace DatabaseLayer
