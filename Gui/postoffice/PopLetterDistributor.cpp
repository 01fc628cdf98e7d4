#include "postoffice/PopLetterDistributor.h"

#include <memory>
#include <utility>
#include <vector>

#include "core/Format.h"
#include "database/AppPropertyCollection.h"
#include "database/DurableStorage.h"
#include "database/HugeItemCollection.h"
#include "database/LetterBoxLock.h"
#include "database/LetterData.h"
#include "database/Transaction.h"
#include "database/tables/PersistentStringTable.h"
#include "postoffice/DownloadBatch.h"

using DatabaseLayer::Transaction;

PopLetterDistributor::PopLetterDistributor(PopClientPtr popClient) : data(std::move(popClient)) {}

PopLetterDistributor::PopLetterDistributor(std::int64_t id) : data(id) {}

void PopLetterDistributor::Distribute(LetterBox& letterBox, const Clock& clock) {
    LetterBox& retrieved = data.GetRetrievedLetters();
    LetterBoxLock retrievedLock(retrieved);
    const bool deleteFromServer = !GetAppProperties().GetLeaveCopies();
    RetrieveLetters(clock, deleteFromServer);

    Transaction transaction;
    LetterBoxLock boxLock(letterBox);
    retrieved.MoveAllLettersTo(letterBox);
}

void PopLetterDistributor::HandOverWaitingLetters(LetterBox& letterBox) {
    LetterBox& retrieved = data.GetRetrievedLetters();
    LetterBoxLock retrievedLock(retrieved);
    retrieved.MoveAllLettersTo(letterBox);
}

std::vector<std::string> PopLetterDistributor::TakeWarnings() {
    return data.GetPopClient()->TakeWarnings();
}

void PopLetterDistributor::RetrieveLetters(const Clock& clock, bool deleteFromServer) {
    // Held for the session, so that a replacement of the client meanwhile cannot end it.
    const PopClientPtr client = data.GetPopClient();
    // On an error the session is left as it is: the client's destructor ends it, and nothing
    // was deleted (no delete was sent, or the deletion undid its deletions).
    client->Connect();
    const int count = client->GetMessageCount();
    // Read once for the session: asking the database per message made a run with nothing new
    // cost a query per message on the server.
    const std::unordered_set<std::string> known =
        count > 0 ? data.GetRetrievedLetterIds().GetTexts() : std::unordered_set<std::string>();
    DownloadPlan plan = PlanDownload(*client, count, known);
    DownloadBatch batch;
    try {
        client->ReceiveMessages(
            plan.fetch, [&](std::size_t position, std::unique_ptr<Letter> letter) {
                // The whole message arrived; a failed download drops the new row.
                batch.Add(std::move(letter), std::move(plan.fetchIds[position]));
                if (batch.IsFull()) {
                    StoreBatch(batch, clock);
                }
            });
        StoreBatch(batch, clock);
    } catch (...) {
        // What arrived whole before the failure is kept, as it would have been letter by
        // letter; should that fail too, its error is the one reported.
        StoreBatch(batch, clock);
        throw;
    }
    // Only what is stored here, on the disk, may go from the server.
    if (deleteFromServer && !plan.held.empty()) {
        DatabaseLayer::MakeStoredMailDurable();
        if (static_cast<int>(plan.held.size()) == count) {
            client->DeleteAllMessages();
        } else {
            client->DeleteMessages(plan.held);
        }
    }
    client->Disconnect();
    if (!deleteFromServer && HugeItemCollection::Instance()->HasUnsyncedItems()) {
        // Copies stay upstream, so nothing relies on these yet; synced now all the same, so that
        // the files awaiting a sync do not pile up while no run deletes.
        DatabaseLayer::MakeStoredMailDurable();
    }
    if (deleteFromServer) {
        // The session ended well, so every stored message is gone from the server, and their
        // ids go now, whatever becomes of the hand-over: a server may give a later message an
        // id it used before, and that message must not pass for one stored here.
        DatabaseLayer::PersistentStringTable().DeleteWhere(
            Format("collectionId = %1%", data.GetRetrievedLetterIds().GetId()));
        // Put on the disk at once: ids brought back by a power failure would pass a reused id
        // for a message stored here, and it would be deleted upstream unread.
        DatabaseLayer::SyncDatabase();
    }
}

PopLetterDistributor::DownloadPlan PopLetterDistributor::PlanDownload(
    PopClient& client, int count, const std::unordered_set<std::string>& known) {
    DownloadPlan plan;
    std::unordered_set<std::string> claimed;
    for (int index = 0; index < count; ++index) {
        // Unique ids are fixed for the life of a message (RFC 1939, UIDL), so the id read here
        // is the one stored with the letter.
        std::string messageId = client.GetMessageId(index);
        // An empty id tells the message from no other: it is always fetched, since a copy too
        // many is better than a message taken for a stored one and deleted unread.
        if (!messageId.empty()) {
            // A server that repeats an id: only the first message with it counts as the stored
            // one.
            if (!claimed.insert(messageId).second) {
                continue;
            }
            if (known.contains(messageId)) {
                plan.held.push_back(index);
                continue;
            }
        }
        plan.held.push_back(index);
        plan.fetch.push_back(index);
        plan.fetchIds.push_back(std::move(messageId));
    }
    return plan;
}

void PopLetterDistributor::StoreBatch(DownloadBatch& batch, const Clock& clock) {
    batch.Store([this, &clock](Letter& letter, const std::string& messageId) {
        try {
            letter.SetTimeRetrieved(clock.Now());
            data.GetRetrievedLetters().MoveLetterHere(letter);
            data.GetRetrievedLetterIds().Add(messageId);
        } catch (...) {
            // The rollback unlinked the row from the box; without this the object would keep it
            // as an orphan.
            letter.SetPersistent(false);
            throw;
        }
    });
}

void PopLetterDistributor::ReplacePopClient(PopClientPtr newClient) {
    const PopClientPtr oldClient = data.GetPopClient();
    data.SetPopClient(std::move(newClient));
    oldClient->GetData().SetPersistent(false);
    data.GetPopClient()->GetData().SetPersistent(data.IsPersistent());
}
