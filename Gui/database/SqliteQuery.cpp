#include "database/SqliteQuery.h"

#include <cstring>
#include <utility>

#include "database/SqliteException.h"

namespace DatabaseLayer {

SqliteQuery::SqliteQuery(sqlite3* dbIn, sqlite3_stmt* statementIn, bool atEnd)
    : db(dbIn),
      statement(statementIn),
      eof(atEnd),
      columnCount(statementIn != nullptr ? sqlite3_column_count(statementIn) : 0),
      ownsStatement(true) {}

SqliteQuery::SqliteQuery(SqliteQuery&& other) noexcept
    : db(other.db),
      statement(std::exchange(other.statement, nullptr)),
      eof(other.eof),
      columnCount(other.columnCount),
      ownsStatement(std::exchange(other.ownsStatement, false)) {}

SqliteQuery& SqliteQuery::operator=(SqliteQuery&& other) noexcept {
    if (this != &other) {
        if (ownsStatement && statement != nullptr) {
            sqlite3_finalize(statement);
        }
        db = other.db;
        statement = std::exchange(other.statement, nullptr);
        eof = other.eof;
        columnCount = other.columnCount;
        ownsStatement = std::exchange(other.ownsStatement, false);
    }
    return *this;
}

SqliteQuery::~SqliteQuery() {
    if (ownsStatement && statement != nullptr) {
        // Errors of the last step were already reported; nothing useful to do here.
        sqlite3_finalize(statement);
    }
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
    if (FieldType(index) == SQLITE_NULL) {
        return fallback;
    }
    const auto* text = sqlite3_column_text(statement, index);
    const int size = sqlite3_column_bytes(statement, index);
    // Texts may hold NUL bytes; the byte count keeps them.
    return text != nullptr
               ? std::string(reinterpret_cast<const char*>(text), static_cast<std::size_t>(size))
               : fallback;
}

std::int64_t SqliteQuery::GetInt64Field(const std::string& name, std::int64_t fallback) const {
    const int index = FieldIndex(name);
    if (FieldType(index) == SQLITE_NULL) {
        return fallback;
    }
    return sqlite3_column_int64(statement, index);
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
    const int code = sqlite3_finalize(statement);
    statement = nullptr;
    throw SqliteException(code != SQLITE_OK ? code : result, sqlite3_errmsg(db));
}

void SqliteQuery::Finalize() {
    if (ownsStatement && statement != nullptr) {
        const int code = sqlite3_finalize(statement);
        statement = nullptr;
        if (code != SQLITE_OK) {
            throw SqliteException(code, sqlite3_errmsg(db));
        }
    }
}

}  // namespace DatabaseLayer
