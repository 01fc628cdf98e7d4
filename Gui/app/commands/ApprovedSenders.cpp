#include "app/commands/ApprovedSenders.h"

#include "core/Exception.h"
#include "core/Format.h"
#include "database/AppPropertyCollection.h"
#include "database/ThreadDatabase.h"
#include "postoffice/TrustedSenderList.h"

std::unique_ptr<SenderList> OpenApprovedSenders() {
    const std::int64_t postOfficeId = GetAppProperties().GetPopPostOfficeRowId();
    auto row = DatabaseLayer::ExecuteQuery(
        Format("SELECT trustedAddressesId FROM PostOffice WHERE id = %1%;", postOfficeId));
    if (postOfficeId <= 0 || row.AtEnd()) {
        throw Exception("Moxel has no approved senders list yet; it is made at the first start");
    }
    TrustedSenderList trusted(row.GetInt64Field("trustedAddressesId"));
    return std::make_unique<SenderList>(trusted.GetSenderList().GetId());
}
