#pragma once

#include <string>

#include "database/ObjectDataTable.h"

namespace DatabaseLayer {

// Rows of post offices: delivery points, trusted senders and the dispatch point.
class PostOfficeDataTable : public ObjectDataTable {
public:
    std::string TableName() const override { return "PostOffice"; }
    std::string CreateStatement() const override {
        return "CREATE TABLE %1% (id INTEGER PRIMARY KEY, deliveryPointsId INT DEFAULT -1, "
               "trustedAddressesId INT DEFAULT -1, dispatchPointId INT DEFAULT -1);";
    }
    std::string InsertStatement() const override {
        return "INSERT INTO %1% (deliveryPointsId) VALUES (-1);";
    }
};

}  // namespace DatabaseLayer
