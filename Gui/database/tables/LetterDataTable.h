#pragma once

#include <cstdint>
#include <string>

#include "database/ObjectDataTable.h"

namespace DatabaseLayer {

// Rows of letters: summary fields and the handle of the text in the letter store.
class LetterDataTable : public ObjectDataTable {
public:
    std::string TableName() const override { return "Letter"; }
    std::string CreateStatement() const override {
        return "CREATE TABLE %1% (id INTEGER PRIMARY KEY, collectionId INTEGER DEFAULT -1, "
               "sourceHandle TEXT, timeRetrieved TEXT DEFAULT '', recipient TEXT DEFAULT '', "
               "sender TEXT DEFAULT '', subject TEXT DEFAULT '', firstDispatchTime TEXT DEFAULT "
               "'', dispatchCount INT DEFAULT 0, returnPath TEXT DEFAULT '');";
    }
    std::string InsertStatement() const override {
        return "INSERT INTO %1% (sourceHandle) VALUES ('');";
    }
    // Copies the summary fields; the letter copies its text itself.
    std::int64_t CopyRow(std::int64_t sourceId) const override;
};

}  // namespace DatabaseLayer
