#include "dispatch/DispatchPointData.h"

#include "database/Transaction.h"

namespace DatabaseLayer {

DispatchPointData::DispatchPointData(std::int64_t existingId)
    : ObjectData(existingId), lettersToDispatch(GetInt64Field("lettersToDispatchBoxId")) {}

DispatchPointData::DispatchPointData(std::int32_t type) {
    Transaction transaction;
    SetInt64Field("lettersToDispatchBoxId", lettersToDispatch.GetId());
    SetIntField("type", type);
    SetIntField("authorizationEnabled", 0);
    SetIntField("authorizationMethod", 1);
}

void DispatchPointData::SetPersistent(bool value) {
    ObjectData::SetPersistent(value);
    lettersToDispatch.SetPersistent(value);
}

}  // namespace DatabaseLayer
