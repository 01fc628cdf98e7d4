#pragma once

#include <string>

#include "database/ObjectDataTable.h"

namespace DatabaseLayer {

// Rows of verification requests queued for the next dispatch.
class VerificationRequestDataTable : public ObjectDataTable {
public:
    std::string TableName() const override { return "VerificationRequest"; }
    std::string CreateStatement() const override {
        return "CREATE TABLE %1% (id INTEGER PRIMARY KEY, collectionId INT DEFAULT -1, "
               "recipientAddress TEXT, letterBoxAddress TEXT, verificationCode TEXT, "
               "originalSubject TEXT, originalMessageId TEXT DEFAULT '');";
    }
    std::string InsertStatement() const override {
        return "INSERT INTO %1% (recipientAddress, letterBoxAddress, verificationCode, "
               "originalSubject) VALUES ('', '', '', '');";
    }
};

}  // namespace DatabaseLayer
