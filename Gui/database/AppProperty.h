#pragma once

#include <cstdint>
#include <string>

#include "database/CopyableObjectData.h"
#include "database/tables/AppPropertyTable.h"

namespace DatabaseLayer {

// One setting: a row of `AppProperty` with a name and a value, joined to the settings
// collection through its collectionId. Used on the thread that made it.
class AppProperty : public CopyableObjectData<AppPropertyTable> {
public:
    // A new row holding `name` and `value`; not persistent.
    AppProperty(const std::string& name, const std::string& value);
    // The existing row `existingId`.
    explicit AppProperty(std::int64_t existingId);
    AppProperty(const AppProperty&) = default;

    std::string GetName() const;
    std::string GetValue() const;
    void SetValue(const std::string& value);
};

}  // namespace DatabaseLayer
