#pragma once

#include <string>

#include "database/ObjectDataTable.h"

namespace DatabaseLayer {

// Rows of addresses that were asked to verify themselves.
class AddressPendingVerificationDataTable : public ObjectDataTable {
public:
    std::string TableName() const override { return "AddressPendingVerification"; }
    std::string CreateStatement() const override {
        return "CREATE TABLE %1% (id INTEGER PRIMARY KEY, collectionId INT DEFAULT -1, address "
               "TEXT, verificationCode TEXT, lastVerificationTime TEXT);";
    }
    std::string InsertStatement() const override {
        return "INSERT INTO %1% (address, verificationCode, lastVerificationTime) VALUES ('', '', "
               "'');";
    }
};

}  // namespace DatabaseLayer
