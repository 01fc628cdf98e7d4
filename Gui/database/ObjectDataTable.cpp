#include "database/ObjectDataTable.h"

#include <vector>

#include "core/Exception.h"
#include "core/Format.h"
#include "database/QuoteText.h"
#include "database/TextNumbers.h"
#include "database/ThreadDatabase.h"

namespace DatabaseLayer {

void ObjectDataTable::Delete(std::int64_t id) const {
    ExecuteStatement(Format("DELETE FROM %1% WHERE id = %2%;", TableName(), id));
}

void ObjectDataTable::DeleteAll() const {
    ExecuteStatement(Format("DELETE FROM %1%;", TableName()));
}

void ObjectDataTable::DeleteWhere(const std::string& condition) const {
    ExecuteStatement(Format("DELETE FROM %1% WHERE %2%;", TableName(), condition));
}

std::int64_t ObjectDataTable::CopyRow(std::int64_t sourceId) const {
    std::vector<std::string> columns;
    for (auto info = ExecuteQuery(Format("PRAGMA table_info(%1%);", TableName())); !info.AtEnd();
         info.NextRow()) {
        const std::string column = info.GetStringField("name");
        if (column != "id") {
            columns.push_back(column);
        }
    }
    if (columns.empty()) {
        return Insert();
    }
    std::string list;
    for (const auto& column : columns) {
        list += (list.empty() ? "" : ", ") + column;
    }
    ExecuteStatement(Format("INSERT INTO %1% (%2%) SELECT %2% FROM %1% WHERE id = %3%;",
                            TableName(), list, sourceId));
    return GetLastInsertId();
}

std::int64_t ObjectDataTable::Insert() const {
    ExecuteStatement(Format(InsertStatement(), TableName()));
    return GetLastInsertId();
}

void ObjectDataTable::CreateTable() const {
    try {
        ExecuteStatement(Format(CreateStatement(), TableName()));
    } catch (const Exception&) {
        // An existing table is kept as it is. Any other failure (a file that is no database,
        // a read-only disk) must not pass for success.
        const int found = ExecuteScalar(
            Format("SELECT COUNT(*) FROM sqlite_master WHERE type = 'table' AND name = '%1%';",
                   QuoteText(TableName())));
        if (found == 0) {
            throw;
        }
    }
}

bool ObjectDataTable::Exists(std::int64_t id) const {
    return ExecuteScalar(Format("SELECT COUNT(*) FROM %1% WHERE id = %2%;", TableName(), id)) > 0;
}

std::string ObjectDataTable::GetField(std::int64_t id, const std::string& fieldName) const {
    auto row =
        ExecuteQuery(Format("SELECT %1% FROM %2% WHERE id = %3%;", fieldName, TableName(), id));
    return row.AtEnd() ? std::string() : row.GetStringField(fieldName);
}

void ObjectDataTable::SetField(std::int64_t id, const std::string& fieldName,
                               const std::string& value, bool quoted) const {
    const char* text = quoted ? "UPDATE %1% SET %2% = '%3%' WHERE id = %4%;"
                              : "UPDATE %1% SET %2% = %3% WHERE id = %4%;";
    ExecuteStatement(Format(text, TableName(), fieldName, QuoteText(value), id));
}

std::int64_t ObjectDataTable::GetInt64Field(std::int64_t id, const std::string& fieldName) const {
    return ParseInt64(GetField(id, fieldName));
}

}  // namespace DatabaseLayer
