#include "postoffice/AddressPendingVerificationCollection.h"

#include "core/Format.h"
#include "database/QuoteText.h"
#include "database/StoredTime.h"
#include "database/ThreadDatabase.h"
#include "database/Transaction.h"

namespace DatabaseLayer {

std::unique_ptr<AddressPendingVerificationData> AddressPendingVerificationCollection::FindWhere(
    const std::string& condition) const {
    auto row = ExecuteQuery(Format("SELECT id FROM %1% WHERE %2%;",
                                   AddressPendingVerificationDataTable().TableName(), condition));
    if (row.AtEnd()) {
        return nullptr;
    }
    return std::make_unique<AddressPendingVerificationData>(row.GetInt64Field("id"));
}

std::unique_ptr<AddressPendingVerificationData> AddressPendingVerificationCollection::FindByAddress(
    const std::string& address) const {
    return FindWhere(Format("address = '%1%' AND collectionId = %2%", QuoteText(address), id));
}

std::unique_ptr<AddressPendingVerificationData> AddressPendingVerificationCollection::FindByCode(
    const std::string& code) const {
    return FindWhere(
        Format("verificationCode = '%1%' AND collectionId = %2%", QuoteText(code), id));
}

void AddressPendingVerificationCollection::AddEntry(
    const std::string& address, const std::string& code,
    const boost::posix_time::ptime& lastVerificationTime) {
    // The row is filled and linked together, so that no half-made entry is kept.
    Transaction transaction;
    AddressPendingVerificationData entry;
    entry.SetAddress(address);
    entry.SetVerificationCode(code);
    entry.SetLastVerificationTime(lastVerificationTime);
    entry.SetCollectionId(id);
    entry.SetPersistent(true);
}

void AddressPendingVerificationCollection::DeleteOlderThan(const boost::posix_time::ptime& cutoff) {
    // Compared as numbers, as the times are read: compared as texts, "99" would count as later
    // than "100".
    AddressPendingVerificationDataTable().DeleteWhere(
        Format("collectionId = %1% AND CAST(lastVerificationTime AS INTEGER) < %2%", id,
               SecondsTextFromTime(cutoff)));
}

}  // namespace DatabaseLayer
