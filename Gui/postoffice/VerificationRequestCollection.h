#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "database/ObjectDataCollection.h"
#include "postoffice/VerificationRequestData.h"

namespace DatabaseLayer {

// The request queue of the trusted sender list: a row of "VerificationRequestCollection" whose
// requests name it in their collectionId. Destroyed while not persistent, it deletes its
// requests. Used on the thread that made it; every call may throw Exception on a database error.
class VerificationRequestCollection : public ObjectDataCollection<VerificationRequestData> {
public:
    // A new, empty queue; not persistent.
    VerificationRequestCollection() = default;
    // The existing queue `existingId`.
    explicit VerificationRequestCollection(std::int64_t existingId)
        : ObjectDataCollectionEx(existingId) {}

    // Whether a request to `recipientAddress` (exact text) is queued.
    bool HoldsRequestFor(const std::string& recipientAddress) const;
    // The ids of the queued requests, in the order the database lists them.
    std::vector<std::int64_t> GetRequestIds() const { return GetElementIds(); }
    // Deletes the queued requests among `ids`.
    void Remove(const std::vector<std::int64_t>& ids);
    // Deletes every queued request.
    void Clear();
};

}  // namespace DatabaseLayer
