#pragma once

#include <string>

#include "database/ObjectDataTable.h"

namespace DatabaseLayer {

// Rows of single texts, grouped into string collections.
class PersistentStringTable : public ObjectDataTable {
public:
    std::string TableName() const override { return "String"; }
    std::string CreateStatement() const override {
        return "CREATE TABLE %1% (id INTEGER PRIMARY KEY, collectionId INT DEFAULT -1, string "
               "TEXT);";
    }
    std::string InsertStatement() const override { return "INSERT INTO %1% (string) VALUES ('');"; }
};

}  // namespace DatabaseLayer
