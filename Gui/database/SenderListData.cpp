#include "database/SenderListData.h"

namespace DatabaseLayer {

SenderListData::SenderListData() {
    SetInt64Field("senderCollectionId", senders.GetId());
}

SenderListData::SenderListData(std::int64_t existingId)
    : ObjectData(existingId), senders(GetInt64Field("senderCollectionId")) {}

void SenderListData::SetPersistent(bool value) {
    ObjectData::SetPersistent(value);
    senders.SetPersistent(value);
}

}  // namespace DatabaseLayer
