#pragma once

#include <cstdint>
#include <string>

#include "database/ObjectDataTable.h"

namespace DatabaseLayer {

// Rows of letters: summary fields and the handle of the text in the letter store. Deleting rows
// also removes their texts from the store; deleting every letter at once is refused.
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
    // Deletes the row, if there is one, and then its text.
    void Delete(std::int64_t id) const override;
    // Throws Exception "Not implemented".
    void DeleteAll() const override;
    // Deletes the matching rows, then their texts.
    void DeleteWhere(const std::string& condition) const override;
};

}  // namespace DatabaseLayer
