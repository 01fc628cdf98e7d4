#include "database/TextRemovalBatch.h"

#include "core/Exception.h"
#include "database/DurableStorage.h"
#include "database/HugeItemCollection.h"

namespace DatabaseLayer {

namespace {

// The open batch of this thread, or null.
thread_local TextRemovalBatch* openBatch = nullptr;

void RemoveTextsNow(const std::vector<std::string>& handles) {
    try {
        const auto store = HugeItemCollection::Instance();
        for (const auto& handle : handles) {
            if (!store->IsValidHandle(handle)) {
                continue;
            }
            try {
                store->RemoveItem(handle);
            } catch (const Exception&) {
                // The row is gone already; a file left behind wastes space but loses nothing,
                // and the other files must still go.
            }
        }
    } catch (const Exception&) {
        // No usable store: there are no files to remove either.
    }
}

void SyncThenRemove(const std::vector<std::string>& handles) {
    try {
        SyncDatabase();
    } catch (const Exception&) {
        // The files stay: the rows may come back. Texts that no row names go at the next start.
        return;
    }
    RemoveTextsNow(handles);
}

}  // namespace

void RemoveDeletedTexts(const std::vector<std::string>& handles) {
    std::vector<std::string> named;
    for (const auto& handle : handles) {
        if (!handle.empty()) {
            named.push_back(handle);
        }
    }
    if (named.empty()) {
        return;
    }
    if (openBatch != nullptr) {
        openBatch->Add(named);
        return;
    }
    SyncThenRemove(named);
}

TextRemovalBatch::TextRemovalBatch() : active(openBatch == nullptr) {
    if (active) {
        openBatch = this;
    }
}

TextRemovalBatch::~TextRemovalBatch() {
    if (active) {
        openBatch = nullptr;
        Flush();
    }
}

void TextRemovalBatch::Add(const std::vector<std::string>& handles) {
    gathered.insert(gathered.end(), handles.begin(), handles.end());
    if (gathered.size() >= kGroupSize) {
        Flush();
    }
}

void TextRemovalBatch::Flush() noexcept {
    if (gathered.empty()) {
        return;
    }
    std::vector<std::string> group;
    group.swap(gathered);
    try {
        SyncThenRemove(group);
    } catch (...) {
        // Never thrown through a destructor; files left behind go at the next start.
    }
}

}  // namespace DatabaseLayer
