#include "database/tables/MailDeliveryPointDataTable.h"

#include <cstdint>
#include <vector>

#include "core/Format.h"
#include "database/ThreadDatabase.h"
#include "postoffice/MailDeliveryPoint.h"

namespace DatabaseLayer {

void MailDeliveryPointDataTable::DeleteWhere(const std::string& condition) const {
    std::vector<std::int64_t> ids;
    for (auto row = ExecuteQuery(Format("SELECT id FROM %1% WHERE %2%;", TableName(), condition));
         !row.AtEnd(); row.NextRow()) {
        ids.push_back(row.GetInt64Field("id"));
    }
    for (const auto id : ids) {
        MailDeliveryPoint::DeleteWithAllItsMail(id);
    }
}

}  // namespace DatabaseLayer
