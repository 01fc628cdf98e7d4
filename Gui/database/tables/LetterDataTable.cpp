#include "database/tables/LetterDataTable.h"

#include "core/Format.h"
#include "database/ThreadDatabase.h"

namespace DatabaseLayer {

std::int64_t LetterDataTable::CopyRow(std::int64_t sourceId) const {
    ExecuteStatement(
        Format("INSERT INTO %1% (collectionId, timeRetrieved, sender, recipient, subject, "
               "firstDispatchTime, dispatchCount, returnPath) SELECT collectionId, timeRetrieved, "
               "sender, recipient, subject, firstDispatchTime, dispatchCount, returnPath FROM %1% "
               "WHERE id = %2%;",
               TableName(), sourceId));
    return GetLastInsertId();
}

}  // namespace DatabaseLayer
