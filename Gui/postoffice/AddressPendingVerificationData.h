#pragma once

#include <boost/date_time/posix_time/posix_time_types.hpp>
#include <cstdint>
#include <string>

#include "database/CopyableObjectData.h"
#include "database/tables/AddressPendingVerificationDataTable.h"

namespace DatabaseLayer {

// The stored form of an address that was sent a verification letter: a row of
// "AddressPendingVerification" with the code it was sent and when the last letter to it was
// queued (seconds form). Used on the thread that made it; every call may throw Exception on a
// database error.
class AddressPendingVerificationData
    : public CopyableObjectData<AddressPendingVerificationDataTable> {
public:
    // A new, empty row in no collection; not persistent.
    AddressPendingVerificationData() = default;
    // The existing row `existingId`.
    explicit AddressPendingVerificationData(std::int64_t existingId)
        : CopyableObjectData(existingId) {}
    AddressPendingVerificationData(const AddressPendingVerificationData&) = default;

    std::int64_t GetCollectionId() const { return GetInt64Field("collectionId"); }
    void SetCollectionId(std::int64_t value) { SetInt64Field("collectionId", value); }
    std::string GetAddress() const { return GetStringField("address"); }
    void SetAddress(const std::string& value) { SetStringField("address", value); }
    std::string GetVerificationCode() const { return GetStringField("verificationCode"); }
    void SetVerificationCode(const std::string& value) {
        SetStringField("verificationCode", value);
    }
    // When the last verification letter to the address was queued; an empty field reads as
    // 1977-01-01 00:00:00.
    boost::posix_time::ptime GetLastVerificationTime() const;
    void SetLastVerificationTime(const boost::posix_time::ptime& value);
};

}  // namespace DatabaseLayer
