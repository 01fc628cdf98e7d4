#pragma once

#include <string>

#include "database/ObjectDataTable.h"

namespace DatabaseLayer {

// The table of collection rows whose elements live in `ElementTable`: it is named after the
// element table followed by "Collection" and holds only ids.
template <typename ElementTable>
class ObjectDataCollectionTable : public ObjectDataTable {
public:
    std::string TableName() const override { return ElementTable().TableName() + "Collection"; }
    std::string CreateStatement() const override {
        return "CREATE TABLE %1% (id INTEGER PRIMARY KEY);";
    }
    std::string InsertStatement() const override { return "INSERT INTO %1% VALUES (NULL);"; }
};

}  // namespace DatabaseLayer
