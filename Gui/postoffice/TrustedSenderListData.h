#pragma once

#include <boost/date_time/posix_time/posix_time_types.hpp>
#include <cstdint>

#include "database/ObjectData.h"
#include "database/SenderList.h"
#include "database/tables/TrustedSenderListDataTable.h"
#include "postoffice/AddressPendingVerificationCollection.h"
#include "postoffice/VerificationRequestCollection.h"

namespace DatabaseLayer {

// The stored form of the trusted sender list: a row of "TrustedSenderList" naming the approved
// senders list, the request queue and the addresses pending verification, which it owns, and
// holding the two lengths of time that govern verification (as "336:00:00"-style texts).
// Not copyable: a copy would share, and could delete, the original's lists. Used on the thread
// that made it; every call may throw Exception on a database error.
class TrustedSenderListData : public ObjectData<TrustedSenderListDataTable> {
public:
    // Used while a stored length of time is empty or unreadable; a new list stores them.
    static const boost::posix_time::time_duration kDefaultTimeVerificationExpires;
    static const boost::posix_time::time_duration kDefaultTimeBetweenVerificationRequests;

    // A new row with a new, empty approved senders list, request queue and pending collection
    // and the default lengths of time; none of them persistent.
    TrustedSenderListData();
    // The existing row `existingId` and the lists it names.
    explicit TrustedSenderListData(std::int64_t existingId);

    // Also applies to the owned lists, so that they live and die with this row.
    void SetPersistent(bool value) override;

    SenderList& GetSenderList() { return senderList; }
    VerificationRequestCollection& GetRequestQueue() { return requestQueue; }
    AddressPendingVerificationCollection& GetPendingAddresses() { return pendingAddresses; }

    // After this long since its last verification letter a pending address is forgotten.
    boost::posix_time::time_duration GetTimeVerificationExpires() const;
    void SetTimeVerificationExpires(const boost::posix_time::time_duration& value);
    // The least time between two verification letters to the same address.
    boost::posix_time::time_duration GetTimeBetweenVerificationRequests() const;
    void SetTimeBetweenVerificationRequests(const boost::posix_time::time_duration& value);

private:
    boost::posix_time::time_duration GetTimeSpan(
        const char* field, const boost::posix_time::time_duration& fallback) const;
    void SetTimeSpan(const char* field, const boost::posix_time::time_duration& value);

    SenderList senderList;
    VerificationRequestCollection requestQueue;
    AddressPendingVerificationCollection pendingAddresses;
};

}  // namespace DatabaseLayer
