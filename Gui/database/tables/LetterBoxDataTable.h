#pragma once

#include <string>

#include "database/ObjectDataCollectionTable.h"
#include "database/tables/LetterDataTable.h"

namespace DatabaseLayer {

// Rows of letter boxes: the collection table of letters, carrying each box's open state.
class LetterBoxDataTable : public ObjectDataCollectionTable<LetterDataTable> {
public:
    std::string CreateStatement() const override {
        return "CREATE TABLE %1% (id INTEGER PRIMARY KEY, openCount INT DEFAULT 0, "
               "openingThreadId INT DEFAULT -1);";
    }
    std::string InsertStatement() const override {
        return "INSERT INTO %1% (openCount) VALUES (0);";
    }
};

}  // namespace DatabaseLayer
