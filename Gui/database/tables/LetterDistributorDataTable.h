#pragma once

#include <string>

#include "database/ObjectDataTable.h"

namespace DatabaseLayer {

// Rows of letter distributors: downloaded ids, the box of retrieved letters, the POP client.
class LetterDistributorDataTable : public ObjectDataTable {
public:
    std::string TableName() const override { return "LetterDistributor"; }
    std::string CreateStatement() const override {
        return "CREATE TABLE %1% (id INTEGER PRIMARY KEY, type INT, retrievedLetterIdCollectionId "
               "INT DEFAULT -1, retrievedLettersId INT DEFAULT -1, popClientId INT DEFAULT -1);";
    }
    std::string InsertStatement() const override { return "INSERT INTO %1% (type) VALUES (0);"; }
};

}  // namespace DatabaseLayer
