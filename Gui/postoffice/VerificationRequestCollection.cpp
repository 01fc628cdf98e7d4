#include "postoffice/VerificationRequestCollection.h"

#include <string>

#include "core/Format.h"
#include "database/QuoteText.h"
#include "database/ThreadDatabase.h"

namespace DatabaseLayer {

bool VerificationRequestCollection::HoldsRequestFor(const std::string& recipientAddress) const {
    return ExecuteScalar(Format("SELECT COUNT (*) FROM %1% WHERE recipientAddress = '%2%' AND "
                                "collectionId = %3%;",
                                VerificationRequestDataTable().TableName(),
                                QuoteText(recipientAddress), id)) > 0;
}

void VerificationRequestCollection::Remove(const std::vector<std::int64_t>& ids) {
    if (ids.empty()) {
        return;
    }
    std::string list;
    for (const auto requestId : ids) {
        list += (list.empty() ? "" : ", ") + std::to_string(requestId);
    }
    VerificationRequestDataTable().DeleteWhere(
        Format("collectionId = %1% AND id IN (%2%)", id, list));
}

void VerificationRequestCollection::Clear() {
    VerificationRequestDataTable().DeleteWhere(Format("collectionId = %1%", id));
}

}  // namespace DatabaseLayer
