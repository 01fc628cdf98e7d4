#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <unordered_set>
#include <vector>

#include "database/ObjectDataCollection.h"
#include "database/PersistentString.h"

namespace DatabaseLayer {

// A list of stored texts: a row of `StringCollection` whose texts are the `String` rows that
// name it. Texts are compared exactly as stored. A collection destroyed while not persistent
// deletes its texts. Used on the thread that made it; every call may throw Exception.
class PersistentStringCollection : public ObjectDataCollection<PersistentString> {
public:
    // A new, empty collection row; not persistent.
    PersistentStringCollection();
    // The existing collection row `existingId`.
    explicit PersistentStringCollection(std::int64_t existingId);

    bool Contains(const std::string& text) const;
    // Every entry's text, read in one query: for many look-ups in a row.
    std::unordered_set<std::string> GetTexts() const;
    // Adds `text` as a new entry (also when it is already there).
    void Add(const std::string& text);
    // Removes every entry equal to `text`.
    void Remove(const std::string& text);
    // The ids of the entries, in the database's row order.
    std::vector<std::int64_t> GetIds() const;
    // The entry with row id `stringId`, or null when there is no such row.
    std::shared_ptr<PersistentString> GetString(std::int64_t stringId) const;
};

}  // namespace DatabaseLayer
