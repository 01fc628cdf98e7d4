#include "postoffice/MailDeliveryPointsData.h"

#include <memory>

#include "core/Exception.h"
#include "core/Format.h"
#include "database/QuoteText.h"
#include "database/ThreadDatabase.h"
#include "database/Transaction.h"

namespace DatabaseLayer {

bool MailDeliveryPointsData::Attach(const LetterBoxKey& key, MailDeliveryPoint& point) {
    const std::string keyText = key.ToString();
    const bool wasPersistent = point.GetData().IsPersistent();
    try {
        Transaction transaction;
        const int holders = ExecuteScalar(
            Format("SELECT COUNT (*) FROM %1% WHERE collectionId = %2% AND letterBoxKey = '%3%';",
                   ElementTable().TableName(), id, QuoteText(keyText)));
        if (holders > 0) {
            return false;
        }
        point.GetData().SetLetterBoxKey(keyText);
        point.GetData().SetCollectionId(id);
        point.SetPersistent(true);
    } catch (...) {
        // Rolled back: the point belongs to no collection, so it is kept only if it was before.
        point.SetPersistent(wasPersistent);
        throw;
    }
    return true;
}

MailDeliveryPointPtr MailDeliveryPointsData::Find(const LetterBoxKey& key) const {
    return FindBy("letterBoxKey", key.ToString());
}

MailDeliveryPointPtr MailDeliveryPointsData::FindByAddress(const std::string& address) const {
    return FindBy("address", address);
}

MailDeliveryPointPtr MailDeliveryPointsData::FindBy(const std::string& column,
                                                    const std::string& value) const {
    Transaction transaction;
    std::int64_t pointId = -1;
    {
        auto row =
            ExecuteQuery(Format("SELECT id FROM %1% WHERE collectionId = %2% AND %3% = '%4%';",
                                ElementTable().TableName(), id, column, QuoteText(value)));
        if (row.AtEnd()) {
            return nullptr;
        }
        pointId = row.GetInt64Field("id");
    }
    return std::make_shared<MailDeliveryPoint>(pointId);
}

void MailDeliveryPointsData::Detach(const LetterBoxKey& key) {
    MailDeliveryPointPtr point = Find(key);
    if (!point) {
        throw Exception("Cannot detach the delivery point; it is not in the collection");
    }
    const std::int64_t pointId = point->GetId();
    point.reset();
    MailDeliveryPoint::DeleteWithAllItsMail(pointId);
}

}  // namespace DatabaseLayer
