#include "postoffice/PopLetterDistributorData.h"

#include <utility>

#include "core/RequireObject.h"
#include "database/Transaction.h"
#include "database/TypeRegistry.h"
#include "database/tables/PopClientDataTable.h"

namespace DatabaseLayer {

namespace {

constexpr char kNoObject[] = "Internal error in PopLetterDistributorData: no POP client given";

}  // namespace

PopLetterDistributorData::PopLetterDistributorData(PopClientPtr client)
    : popClient(RequireObject(std::move(client), kNoObject)) {
    Transaction transaction;
    SetIntField("type", kType);
    SetInt64Field("retrievedLetterIdCollectionId", retrievedLetterIds.GetId());
    SetInt64Field("retrievedLettersId", retrievedLetters.GetId());
    SetInt64Field("popClientId", popClient->GetData().GetId());
}

PopLetterDistributorData::PopLetterDistributorData(std::int64_t existingId)
    : LetterDistributorData(existingId),
      retrievedLetterIds(GetInt64Field("retrievedLetterIdCollectionId")),
      retrievedLetters(GetInt64Field("retrievedLettersId")),
      popClient(TypeRegistry<PopClient>::CreateFromTable(PopClientDataTable(),
                                                         GetInt64Field("popClientId"))) {}

void PopLetterDistributorData::SetPersistent(bool value) {
    LetterDistributorData::SetPersistent(value);
    retrievedLetterIds.SetPersistent(value);
    retrievedLetters.SetPersistent(value);
    popClient->GetData().SetPersistent(value);
}

void PopLetterDistributorData::SetPopClient(PopClientPtr newClient) {
    newClient = RequireObject(std::move(newClient), kNoObject);
    SetInt64Field("popClientId", newClient->GetData().GetId());
    popClient = std::move(newClient);
}

}  // namespace DatabaseLayer
