#pragma once

#include <cstdint>
#include <string>

#include "database/SqliteQuery.h"

namespace DatabaseLayer {

// The cursor handed to the rest of the program: a SqliteQuery whose errors arrive as Exception.
// Used on the thread that ran the query, and destroyed before that thread's connection.
class QueryResult {
public:
    explicit QueryResult(SqliteQuery query);

    bool AtEnd() const;
    // The column's value on the current row; NULL gives 0 or the empty text.
    // A name that matches no column exactly (case-sensitive) throws "Invalid field name requested".
    std::int64_t GetInt64Field(const std::string& name) const;
    std::string GetStringField(const std::string& name) const;
    void NextRow();

private:
    SqliteQuery query;
};

}  // namespace DatabaseLayer
