#pragma once

#include <cstdint>

#include "database/LetterBoxData.h"
#include "database/PersistentStringCollection.h"
#include "postoffice/LetterDistributorData.h"
#include "postoffice/PopClient.h"

namespace DatabaseLayer {

// The stored state of a PopLetterDistributor: a "LetterDistributor" row of type 1 naming the
// unique ids of the messages already downloaded, the box where downloaded letters wait until
// they are handed over, and the POP client of the account. It owns all three, so they are kept
// or deleted with it. Used on one thread; every call may throw Exception.
class PopLetterDistributorData : public LetterDistributorData {
public:
    static constexpr std::int32_t kType = 1;

    // A new row for `popClient` with a new, empty id collection and box; none is persistent.
    // Throws Exception "Internal error in PopLetterDistributorData: no POP client given" for null.
    explicit PopLetterDistributorData(PopClientPtr popClient);
    // The existing row `existingId`, the objects it names, and its client built through the
    // PopClient type registry.
    explicit PopLetterDistributorData(std::int64_t existingId);

    // Keeps or drops the id collection, the box and the client's row with this row.
    void SetPersistent(bool value) override;

    PersistentStringCollection& GetRetrievedLetterIds() { return retrievedLetterIds; }
    LetterBox& GetRetrievedLetters() { return retrievedLetters; }
    const PopClientPtr& GetPopClient() const { return popClient; }
    // Takes `newClient` in place of the current one and records its id; the row flags are left
    // to the caller. Throws like the constructor for null.
    void SetPopClient(PopClientPtr newClient);

private:
    PersistentStringCollection retrievedLetterIds;
    LetterBox retrievedLetters;
    PopClientPtr popClient;
};

}  // namespace DatabaseLayer
