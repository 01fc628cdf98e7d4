#pragma once

#include <cstdint>
#include <string>

#include "database/ObjectDataTable.h"

namespace DatabaseLayer {

// Rows of application settings: one name and value each.
class AppPropertyTable : public ObjectDataTable {
public:
    std::string TableName() const override { return "AppProperty"; }
    std::string CreateStatement() const override {
        return "CREATE TABLE %1% (id INTEGER PRIMARY KEY, collectionId INT DEFAULT -1, name TEXT, "
               "value TEXT);";
    }
    std::string InsertStatement() const override {
        return "INSERT INTO %1% (name, value) VALUES ('', '');";
    }
    // Copies name and value only; the copy joins a collection afterwards.
    std::int64_t CopyRow(std::int64_t sourceId) const override;
};

}  // namespace DatabaseLayer
