#pragma once

#include <string>

#include "database/ObjectDataTable.h"

namespace DatabaseLayer {

// Rows of POP clients: the account on the user's POP3 server.
class PopClientDataTable : public ObjectDataTable {
public:
    std::string TableName() const override { return "PopClient"; }
    std::string CreateStatement() const override {
        return "CREATE TABLE %1% (id INTEGER PRIMARY KEY, type INT, hostName TEXT, userName TEXT, "
               "password TEXT, port INTEGER, timeoutInSeconds INTEGER);";
    }
    std::string InsertStatement() const override {
        return "INSERT INTO %1% (type, hostName, userName, password, port, timeoutInSeconds) "
               "VALUES (0, '', '', '', 110, 30);";
    }
};

}  // namespace DatabaseLayer
