#include "postoffice/TrustedSenderListData.h"

#include "database/StoredTimeSpan.h"

namespace DatabaseLayer {

namespace pt = boost::posix_time;

const pt::time_duration TrustedSenderListData::kDefaultTimeVerificationExpires = pt::hours(14 * 24);
const pt::time_duration TrustedSenderListData::kDefaultTimeBetweenVerificationRequests =
    pt::hours(6);

TrustedSenderListData::TrustedSenderListData() {
    SetInt64Field("senderListId", senderList.GetId());
    SetInt64Field("verificationRequestCollectionId", requestQueue.GetId());
    SetInt64Field("addressPendingVerificationCollectionId", pendingAddresses.GetId());
    SetTimeVerificationExpires(kDefaultTimeVerificationExpires);
    SetTimeBetweenVerificationRequests(kDefaultTimeBetweenVerificationRequests);
}

TrustedSenderListData::TrustedSenderListData(std::int64_t existingId)
    : ObjectData(existingId),
      senderList(GetInt64Field("senderListId")),
      requestQueue(GetInt64Field("verificationRequestCollectionId")),
      pendingAddresses(GetInt64Field("addressPendingVerificationCollectionId")) {}

void TrustedSenderListData::SetPersistent(bool value) {
    ObjectData::SetPersistent(value);
    senderList.SetPersistent(value);
    requestQueue.SetPersistent(value);
    pendingAddresses.SetPersistent(value);
}

pt::time_duration TrustedSenderListData::GetTimeSpan(const char* field,
                                                     const pt::time_duration& fallback) const {
    // A row made by hand or damaged must not turn verification off (a zero span would send a
    // letter for every message, or forget every code at once).
    return DurationFromTimeSpanText(GetStringField(field)).value_or(fallback);
}

void TrustedSenderListData::SetTimeSpan(const char* field, const pt::time_duration& value) {
    SetStringField(field, TimeSpanTextFromDuration(value));
}

pt::time_duration TrustedSenderListData::GetTimeVerificationExpires() const {
    return GetTimeSpan("timeVerificationExpires", kDefaultTimeVerificationExpires);
}

void TrustedSenderListData::SetTimeVerificationExpires(const pt::time_duration& value) {
    SetTimeSpan("timeVerificationExpires", value);
}

pt::time_duration TrustedSenderListData::GetTimeBetweenVerificationRequests() const {
    return GetTimeSpan("timeBetweenVerificationRequests", kDefaultTimeBetweenVerificationRequests);
}

void TrustedSenderListData::SetTimeBetweenVerificationRequests(const pt::time_duration& value) {
    SetTimeSpan("timeBetweenVerificationRequests", value);
}

}  // namespace DatabaseLayer
