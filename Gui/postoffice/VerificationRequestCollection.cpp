#include "postoffice/VerificationRequestCollection.h"

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

void VerificationRequestCollection::Clear() {
    VerificationRequestDataTable().DeleteWhere(Format("collectionId = %1%", id));
}

}  // namespace DatabaseLayer
