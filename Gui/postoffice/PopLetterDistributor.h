#pragma once

#include <cstdint>
#include <string>
#include <unordered_set>
#include <vector>

#include "postoffice/DownloadBatch.h"
#include "postoffice/LetterDistributor.h"
#include "postoffice/PopClient.h"
#include "postoffice/PopLetterDistributorData.h"

// Downloads one POP3 account through its PopClient. It remembers the unique id of every message
// it has stored, so that no message is fetched twice, and each letter is stored together with
// its id in one transaction, so that a failed run loses nothing and the next run neither repeats
// nor skips a message. Unless the user leaves copies on the server ("LeaveCopies"), a complete
// download ends by deleting on the server every message stored here, and once the session has
// ended well, by forgetting the ids.
//
// Used on the mail collection thread; the client's session lives within one Distribute call.
class PopLetterDistributor : public LetterDistributor {
public:
    // A new distributor for a new account; not persistent until its owner keeps it.
    explicit PopLetterDistributor(PopClientPtr popClient);
    // The existing distributor `id`.
    explicit PopLetterDistributor(std::int64_t id);

    // Downloads the new messages into the retrieved box, then hands every letter of that box
    // over to `letterBox`. Errors of the client and the boxes pass through unchanged (a stop
    // request as TimeCardException); the letters stored before the error stay in the retrieved
    // box with their ids and are handed over by the next successful call.
    void Distribute(LetterBox& letterBox, const Clock& clock) override;
    // Moves the retrieved box's letters (stored, perhaps already deleted on the server, but not
    // handed over because a run failed after the download). Throws Exception "Unable to open
    // LetterBox" while a download holds the retrieved box.
    void HandOverWaitingLetters(LetterBox& letterBox) override;
    // The warnings of the client's last session.
    std::vector<std::string> TakeWarnings() override;
    DatabaseLayer::PopLetterDistributorData& GetData() override { return data; }

    PopClientPtr GetPopClient() const { return data.GetPopClient(); }
    // Puts `newClient` in the place of the current client, whose row is deleted once the old
    // client object is released; the new row is kept exactly when this distributor is.
    void ReplacePopClient(PopClientPtr newClient);

private:
    // What a session downloads, and what it may delete once all of that is stored.
    struct DownloadPlan {
        // The messages this account holds once the download is stored: stored now, or in an
        // earlier run. A later message with the id of an earlier one of the session is neither
        // fetched nor deleted.
        std::vector<int> held;
        // The messages to fetch (those whose id is not stored yet), and their ids.
        std::vector<int> fetch;
        std::vector<std::string> fetchIds;
    };

    void RetrieveLetters(const Clock& clock, bool deleteFromServer);
    // Reads the ids of the session's `count` messages and sorts them against `known`, the ids
    // stored already.
    static DownloadPlan PlanDownload(PopClient& client, int count,
                                     const std::unordered_set<std::string>& known);
    // Keeps the batch's letters in the retrieved box, each in a transaction with its id.
    void StoreBatch(DownloadBatch& batch, const Clock& clock);

    DatabaseLayer::PopLetterDistributorData data;
};
