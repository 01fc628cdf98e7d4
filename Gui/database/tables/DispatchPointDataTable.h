#pragma once

#include <string>

#include "database/ObjectDataTable.h"

namespace DatabaseLayer {

// Rows of dispatch points: the outgoing letter box and the SMTP server settings.
class DispatchPointDataTable : public ObjectDataTable {
public:
    std::string TableName() const override { return "DispatchPoint"; }
    std::string CreateStatement() const override {
        return "CREATE TABLE %1% (id INTEGER PRIMARY KEY, type INT DEFAULT 0, "
               "lettersToDispatchBoxId INTEGER, smtpServerAddress TEXT, authorizationEnabled "
               "INTEGER, authorizationMethod INTEGER, userName TEXT, password TEXT, popServer "
               "TEXT, popUserName TEXT, popPassword TEXT);";
    }
    std::string InsertStatement() const override {
        return "INSERT INTO %1% (lettersToDispatchBoxId, smtpServerAddress, authorizationEnabled, "
               "authorizationMethod, userName, password, popServer, popUserName, popPassword) "
               "VALUES (-1, '', 0, 0, '', '', '', '', '');";
    }
};

}  // namespace DatabaseLayer
