#pragma once

#include <string>

#include "database/ObjectDataTable.h"

namespace DatabaseLayer {

// Rows of letter pruners: the box they prune and when they last did.
class LetterPrunerDataTable : public ObjectDataTable {
public:
    std::string TableName() const override { return "LetterPruner"; }
    std::string CreateStatement() const override {
        return "CREATE TABLE %1% (id INTEGER PRIMARY KEY, lastPruneTime TEXT, letterBoxId INT "
               "DEFAULT -1);";
    }
    std::string InsertStatement() const override {
        return "INSERT INTO %1% (lastPruneTime) VALUES ('');";
    }
};

}  // namespace DatabaseLayer
