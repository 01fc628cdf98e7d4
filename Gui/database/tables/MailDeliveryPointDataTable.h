#pragma once

#include <string>

#include "database/ObjectDataTable.h"

namespace DatabaseLayer {

// Rows of mail delivery points: one protected account and its letter boxes.
class MailDeliveryPointDataTable : public ObjectDataTable {
public:
    // Deletes each point that meets `condition` together with everything it owns (boxes with
    // their letters, pruner, distributor, POP client), so that no row of it is left behind.
    void DeleteWhere(const std::string& condition) const override;
    std::string TableName() const override { return "MailDeliveryPoint"; }
    std::string CreateStatement() const override {
        return "CREATE TABLE %1% (id INTEGER PRIMARY KEY, collectionId INT DEFAULT -1, "
               "letterBoxKey TEXT DEFAULT '', letterBoxId INT DEFAULT -1, recentLettersBoxId INT "
               "DEFAULT -1, pendingLettersPrunerId INT DEFAULT -1, distributorId INT DEFAULT "
               "-1,address TEXT);";
    }
    std::string InsertStatement() const override {
        return "INSERT INTO %1% (address) VALUES ('');";
    }
};

}  // namespace DatabaseLayer
