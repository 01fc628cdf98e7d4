#pragma once

#include <string>

#include "database/ObjectDataTable.h"

namespace DatabaseLayer {

// Rows of trusted sender lists: approved senders, queued requests and pending addresses.
class TrustedSenderListDataTable : public ObjectDataTable {
public:
    std::string TableName() const override { return "TrustedSenderList"; }
    std::string CreateStatement() const override {
        return "CREATE TABLE %1% (id INTEGER PRIMARY KEY, senderListId INT DEFAULT -1, "
               "verificationRequestCollectionId INT DEFAULT -1, "
               "addressPendingVerificationCollectionId INT DEFAULT -1, timeVerificationExpires "
               "TEXT DEFAULT '', timeBetweenVerificationRequests TEXT DEFAULT '');";
    }
    std::string InsertStatement() const override {
        return "INSERT INTO %1% (senderListId) VALUES (-1);";
    }
};

}  // namespace DatabaseLayer
