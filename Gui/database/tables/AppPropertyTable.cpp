#include "database/tables/AppPropertyTable.h"

#include "core/Format.h"
#include "database/ThreadDatabase.h"

namespace DatabaseLayer {

std::int64_t AppPropertyTable::CopyRow(std::int64_t sourceId) const {
    ExecuteStatement(
        Format("INSERT INTO %1% (name, value) SELECT name, value FROM %1% WHERE id = %2%;",
               TableName(), sourceId));
    return GetLastInsertId();
}

}  // namespace DatabaseLayer
