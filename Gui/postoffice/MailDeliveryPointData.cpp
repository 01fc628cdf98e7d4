#include "postoffice/MailDeliveryPointData.h"

#include <memory>
#include <utility>

#include "core/RequireObject.h"
#include "database/LetterBoxData.h"
#include "database/Transaction.h"
#include "database/TypeRegistry.h"
#include "database/tables/LetterDistributorDataTable.h"

namespace DatabaseLayer {

namespace {

constexpr char kNoObject[] = "Internal error in MailDeliveryPointData: no distributor given";

}  // namespace

MailDeliveryPointData::MailDeliveryPointData(const std::string& address,
                                             LetterDistributorPtr distributorIn)
    : inbox(std::make_shared<LetterBox>()),
      distributor(RequireObject(std::move(distributorIn), kNoObject)),
      recentLetters(std::make_shared<LetterBox>()) {
    Transaction transaction;
    SetStringField("address", address);
    SetInt64Field("letterBoxId", inbox->GetId());
    SetInt64Field("recentLettersBoxId", recentLetters->GetId());
    SetInt64Field("pendingLettersPrunerId", pendingPruner.GetId());
    SetInt64Field("distributorId", distributor->GetData().GetId());
}

MailDeliveryPointData::MailDeliveryPointData(std::int64_t existingId)
    : ObjectData(existingId),
      inbox(std::make_shared<LetterBox>(GetInt64Field("letterBoxId"))),
      pendingPruner(GetInt64Field("pendingLettersPrunerId")),
      distributor(TypeRegistry<LetterDistributor>::CreateFromTable(LetterDistributorDataTable(),
                                                                   GetInt64Field("distributorId"))),
      recentLetters(std::make_shared<LetterBox>(GetInt64Field("recentLettersBoxId"))) {}

void MailDeliveryPointData::SetPersistent(bool value) {
    ObjectData::SetPersistent(value);
    inbox->SetPersistent(value);
    pendingPruner.SetPersistent(value);
    distributor->GetData().SetPersistent(value);
    recentLetters->SetPersistent(value);
}

}  // namespace DatabaseLayer
