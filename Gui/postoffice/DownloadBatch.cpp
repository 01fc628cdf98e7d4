#include "postoffice/DownloadBatch.h"

#include <utility>

#include "core/Exception.h"
#include "database/HugeItemCollection.h"
#include "database/LetterData.h"
#include "database/Transaction.h"

void DownloadBatch::Add(std::unique_ptr<Letter> letter, std::string messageId) {
    bytes += letter->PendingTextSize();
    entries.push_back({std::move(letter), std::move(messageId), {}});
}

bool DownloadBatch::IsFull() const {
    return entries.size() >= kMaxLetters || bytes >= kMaxBytes;
}

void DownloadBatch::Store(const std::function<void(Letter&, const std::string&)>& keep) {
    std::vector<Entry> taken = std::exchange(entries, {});
    bytes = 0;
    const auto store = HugeItemCollection::Instance();
    try {
        for (auto& entry : taken) {
            // A client that stores the text itself has synced it already.
            if (entry.letter->GetSourceHandle().empty()) {
                entry.handle = entry.letter->WritePendingTextUnsynced();
            }
        }
        store->SyncNewTexts();
        for (auto& entry : taken) {
            {
                DatabaseLayer::Transaction transaction;
                if (!entry.handle.empty()) {
                    entry.letter->NameStoredText(entry.handle);
                }
                keep(*entry.letter, entry.messageId);
            }
            entry.handle.clear();  // named by a committed row now
        }
    } catch (...) {
        for (const auto& entry : taken) {
            if (!entry.handle.empty()) {
                try {
                    store->RemoveItem(entry.handle);
                } catch (const Exception&) {
                    // Named by no row: it goes at the next start.
                }
            }
        }
        throw;
    }
}
