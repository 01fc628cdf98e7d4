#pragma once

#include <boost/date_time/posix_time/posix_time_types.hpp>
#include <cstdint>
#include <memory>
#include <string>

#include "database/ObjectDataCollection.h"
#include "postoffice/AddressPendingVerificationData.h"

namespace DatabaseLayer {

// The addresses pending verification: a row of "AddressPendingVerificationCollection" whose
// entries name it in their collectionId. Addresses and codes are matched as exact texts.
// Destroyed while not persistent, it deletes its entries. Used on the thread that made it;
// every call may throw Exception on a database error.
class AddressPendingVerificationCollection
    : public ObjectDataCollection<AddressPendingVerificationData> {
public:
    // A new, empty collection; not persistent.
    AddressPendingVerificationCollection() = default;
    // The existing collection `existingId`.
    explicit AddressPendingVerificationCollection(std::int64_t existingId)
        : ObjectDataCollectionEx(existingId) {}

    // The entry of `address`, or null when it has none (the first the database lists, should
    // there be several).
    std::unique_ptr<AddressPendingVerificationData> FindByAddress(const std::string& address) const;
    // The entry that was sent `code`, or null.
    std::unique_ptr<AddressPendingVerificationData> FindByCode(const std::string& code) const;
    // Adds a kept entry for `address` with its code and the time its letter was queued.
    void AddEntry(const std::string& address, const std::string& code,
                  const boost::posix_time::ptime& lastVerificationTime);
    // Deletes the entries whose last verification letter was queued before `cutoff` (an entry
    // of exactly that second stays).
    void DeleteOlderThan(const boost::posix_time::ptime& cutoff);

private:
    std::unique_ptr<AddressPendingVerificationData> FindWhere(const std::string& condition) const;
};

}  // namespace DatabaseLayer
