#include "postoffice/AddressPendingVerificationData.h"

#include "database/StoredTime.h"

namespace DatabaseLayer {

boost::posix_time::ptime AddressPendingVerificationData::GetLastVerificationTime() const {
    return TimeFromSecondsText(GetStringField("lastVerificationTime"));
}

void AddressPendingVerificationData::SetLastVerificationTime(
    const boost::posix_time::ptime& value) {
    SetStringField("lastVerificationTime", SecondsTextFromTime(value));
}

}  // namespace DatabaseLayer
