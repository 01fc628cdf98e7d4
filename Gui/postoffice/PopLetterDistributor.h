#pragma once

#include <cstdint>
#include <string>
#include <unordered_set>

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
    void RetrieveLetters(const Clock& clock, bool deleteFromServer);
    // Downloads message `index` into `batch` unless its id is stored already. True when this
    // account holds the message now: stored here, or in an earlier run (its id in `known`). A later
    // message with an id that `claimed` (the ids of this run's earlier messages) already holds is
    // not stored, and gives false.
    bool RetrieveLetter(PopClient& client, int index, const std::unordered_set<std::string>& known,
                        std::unordered_set<std::string>& claimed, DownloadBatch& batch);
    // Keeps the batch's letters in the retrieved box, each in a transaction with its id.
    void StoreBatch(DownloadBatch& batch, const Clock& clock);

    DatabaseLayer::PopLetterDistributorData data;
};
