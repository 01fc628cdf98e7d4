#pragma once

#include <string>

#include "database/ObjectDataTable.h"

namespace DatabaseLayer {

// Rows of approved sender lists: each names its string collection of entries.
class SenderListDataTable : public ObjectDataTable {
public:
    std::string TableName() const override { return "SenderList"; }
    std::string CreateStatement() const override {
        return "CREATE TABLE %1% (id INTEGER PRIMARY KEY, senderCollectionId INT DEFAULT -1);";
    }
    std::string InsertStatement() const override {
        return "INSERT INTO %1% (senderCollectionId) VALUES (-1);";
    }
};

}  // namespace DatabaseLayer
