#include "database/PersistentString.h"

namespace DatabaseLayer {

PersistentString::PersistentString(const std::string& text) {
    SetString(text);
}

PersistentString::PersistentString(std::int64_t existingId) : CopyableObjectData(existingId) {}

std::string PersistentString::GetString() const {
    return GetStringField("string");
}

void PersistentString::SetString(const std::string& text) {
    SetStringField("string", text);
}

std::int64_t PersistentString::GetCollectionId() const {
    return GetInt64Field("collectionId");
}

void PersistentString::SetCollectionId(std::int64_t collectionId) {
    SetInt64Field("collectionId", collectionId);
}

}  // namespace DatabaseLayer
