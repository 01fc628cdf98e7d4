#pragma once

#include <cstdint>
#include <vector>

#include "core/Format.h"
#include "database/CopyableObjectData.h"
#include "database/ObjectDataCollectionTable.h"
#include "database/ThreadDatabase.h"

namespace DatabaseLayer {

// A collection row: elements of type `Element` join it through their `collectionId` column.
// Destroying a collection that is not persistent deletes its elements first, then its own row.
template <typename CollectionTable, typename Element>
class ObjectDataCollectionEx : public CopyableObjectData<CollectionTable> {
public:
    using ElementTable = typename Element::TableType;
    using CopyableObjectData<CollectionTable>::CopyableObjectData;

    ObjectDataCollectionEx(const ObjectDataCollectionEx&) = default;

    ~ObjectDataCollectionEx() override {
        if (!this->persistent) {
            try {
                ElementTable().DeleteWhere(Format("collectionId = %1%", this->id));
            } catch (...) {
                // Destructors never throw; the row itself is still removed by the base.
            }
        }
    }

    // Stores a copy of `element` in this collection and keeps the copy. The element itself is
    // left as it was: a new, non-persistent one still deletes its own row when destroyed.
    void AddToCollection(const Element& element) {
        Element copy(element);
        copy.SetInt64Field("collectionId", this->id);
        copy.SetPersistent(true);
    }

    // The ids of the elements, in the order the database returns them.
    std::vector<std::int64_t> GetElementIds() const {
        std::vector<std::int64_t> ids;
        for (auto row = ExecuteQuery(Format("SELECT id FROM %1% WHERE collectionId = %2%;",
                                            ElementTable().TableName(), this->id));
             !row.AtEnd(); row.NextRow()) {
            ids.push_back(row.GetInt64Field("id"));
        }
        return ids;
    }

    int GetElementCount() const {
        return ExecuteScalar(Format("SELECT COUNT (*) FROM %1% WHERE collectionId = %2%;",
                                    ElementTable().TableName(), this->id));
    }
};

// A collection whose row lives in the generic collection table of its element.
template <typename Element>
using ObjectDataCollection =
    ObjectDataCollectionEx<ObjectDataCollectionTable<typename Element::TableType>, Element>;

}  // namespace DatabaseLayer
