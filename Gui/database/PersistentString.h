#pragma once

#include <cstdint>
#include <string>

#include "database/CopyableObjectData.h"
#include "database/tables/PersistentStringTable.h"

namespace DatabaseLayer {

// One stored text: a row of `String`, belonging to the string collection named by its
// collectionId (-1 for none). Used on the thread that made it.
class PersistentString : public CopyableObjectData<PersistentStringTable> {
public:
    // A new row holding `text`, in no collection; not persistent.
    explicit PersistentString(const std::string& text);
    // The existing row `existingId`.
    explicit PersistentString(std::int64_t existingId);
    PersistentString(const PersistentString&) = default;

    std::string GetString() const;
    void SetString(const std::string& text);
    std::int64_t GetCollectionId() const;
    void SetCollectionId(std::int64_t collectionId);
};

}  // namespace DatabaseLayer
