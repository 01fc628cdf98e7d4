#include "database/QueryResult.h"

#include <utility>

#include "database/TranslateDatabaseError.h"

namespace DatabaseLayer {

QueryResult::QueryResult(SqliteQuery queryIn) : query(std::move(queryIn)) {}

bool QueryResult::AtEnd() const {
    return TranslateDatabaseError([&] { return query.AtEnd(); });
}

std::int64_t QueryResult::GetInt64Field(const std::string& name) const {
    return TranslateDatabaseError([&] { return query.GetInt64Field(name, 0); });
}

std::string QueryResult::GetStringField(const std::string& name) const {
    return TranslateDatabaseError([&] { return query.GetStringField(name, std::string()); });
}

void QueryResult::NextRow() {
    TranslateDatabaseError([&] { query.NextRow(); });
}

}  // namespace DatabaseLayer
