#include "database/AppProperty.h"

namespace DatabaseLayer {

AppProperty::AppProperty(const std::string& name, const std::string& value) {
    SetStringField("name", name);
    SetStringField("value", value);
}

AppProperty::AppProperty(std::int64_t existingId) : CopyableObjectData(existingId) {}

std::string AppProperty::GetName() const {
    return GetStringField("name");
}

std::string AppProperty::GetValue() const {
    return GetStringField("value");
}

void AppProperty::SetValue(const std::string& value) {
    SetStringField("value", value);
}

}  // namespace DatabaseLayer
