#pragma once

#include "database/ObjectData.h"

namespace DatabaseLayer {

// A persisted object whose copy is a new row with the same field values (made by the table's
// CopyRow); the copy starts not persistent.
template <typename Table>
class CopyableObjectData : public ObjectData<Table> {
public:
    using ObjectData<Table>::ObjectData;

    CopyableObjectData(const CopyableObjectData& source)
        : ObjectData<Table>(typename ObjectDataBase<Table>::AdoptRow{},
                            source.table.CopyRow(source.id)) {
        this->fieldCache = source.fieldCache;
    }
    CopyableObjectData& operator=(const CopyableObjectData&) = delete;
};

}  // namespace DatabaseLayer
