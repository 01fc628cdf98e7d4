#include "database/tables/LetterDataTable.h"

#include <vector>

#include "core/Exception.h"
#include "core/Format.h"
#include "database/DurableStorage.h"
#include "database/HugeItemCollection.h"
#include "database/ThreadDatabase.h"
#include "database/Transaction.h"

namespace DatabaseLayer {

namespace {

// Removes the store files of letters whose rows are deleted now.
void RemoveTextsNow(const std::vector<std::string>& handles) {
    bool anyText = false;
    for (const auto& handle : handles) {
        anyText = anyText || !handle.empty();
    }
    if (!anyText) {
        return;
    }
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

// Removes the store files once the deletion of their rows is committed: a deletion that is rolled
// back brings its rows back, and they must still have their texts. Commits do not sync on their
// own, so the deletion is put on the disk first: a power failure must not bring rows back
// whose texts are gone.
void RemoveTexts(std::vector<std::string> handles) {
    RunAfterCommit([handles = std::move(handles)] {
        try {
            SyncDatabase();
        } catch (const Exception&) {
            // The files stay: the rows may come back. Texts that no row names go at the next
            // start.
            return;
        }
        RemoveTextsNow(handles);
    });
}

}  // namespace

std::int64_t LetterDataTable::CopyRow(std::int64_t sourceId) const {
    ExecuteStatement(
        Format("INSERT INTO %1% (collectionId, timeRetrieved, sender, recipient, subject, "
               "firstDispatchTime, dispatchCount, returnPath) SELECT collectionId, timeRetrieved, "
               "sender, recipient, subject, firstDispatchTime, dispatchCount, returnPath FROM %1% "
               "WHERE id = %2%;",
               TableName(), sourceId));
    return GetLastInsertId();
}

void LetterDataTable::Delete(std::int64_t id) const {
    if (!Exists(id)) {
        return;
    }
    const std::string handle = GetField(id, "sourceHandle");
    // Row first: should its deletion fail, the letter keeps its text.
    ObjectDataTable::Delete(id);
    RemoveTexts({handle});
}

void LetterDataTable::DeleteAll() const {
    throw Exception("Not implemented");
}

void LetterDataTable::DeleteWhere(const std::string& condition) const {
    std::vector<std::string> handles;
    for (auto row = ExecuteQuery(
             Format("SELECT sourceHandle FROM %1% WHERE %2%;", TableName(), condition));
         !row.AtEnd(); row.NextRow()) {
        handles.push_back(row.GetStringField("sourceHandle"));
    }
    ObjectDataTable::DeleteWhere(condition);
    RemoveTexts(handles);
}

}  // namespace DatabaseLayer
