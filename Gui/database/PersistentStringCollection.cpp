#include "database/PersistentStringCollection.h"

#include "core/Format.h"
#include "database/QuoteText.h"
#include "database/ThreadDatabase.h"
#include "database/Transaction.h"

namespace DatabaseLayer {

PersistentStringCollection::PersistentStringCollection() = default;

PersistentStringCollection::PersistentStringCollection(std::int64_t existingId)
    : ObjectDataCollectionEx(existingId) {}

bool PersistentStringCollection::Contains(const std::string& text) const {
    return ExecuteScalar(
               Format("SELECT COUNT (*) FROM %1% WHERE string = '%2%' AND collectionId = %3%;",
                      PersistentStringTable().TableName(), QuoteText(text), id)) > 0;
}

std::unordered_set<std::string> PersistentStringCollection::GetTexts() const {
    std::unordered_set<std::string> texts;
    for (auto row = ExecuteQuery(Format("SELECT string FROM %1% WHERE collectionId = %2%;",
                                        PersistentStringTable().TableName(), id));
         !row.AtEnd(); row.NextRow()) {
        texts.insert(row.GetStringField("string"));
    }
    return texts;
}

void PersistentStringCollection::Add(const std::string& text) {
    // The row is made and then linked: together, so that no unlinked row is left behind.
    Transaction transaction;
    PersistentString entry(text);
    entry.SetCollectionId(id);
    entry.SetPersistent(true);
}

void PersistentStringCollection::Remove(const std::string& text) {
    ExecuteStatement(Format("DELETE FROM %1% WHERE string = '%2%' AND collectionId = %3%;",
                            PersistentStringTable().TableName(), QuoteText(text), id));
}

std::vector<std::int64_t> PersistentStringCollection::GetIds() const {
    return GetElementIds();
}

std::shared_ptr<PersistentString> PersistentStringCollection::GetString(
    std::int64_t stringId) const {
    if (!PersistentStringTable().Exists(stringId)) {
        return nullptr;
    }
    return std::make_shared<PersistentString>(stringId);
}

}  // namespace DatabaseLayer
