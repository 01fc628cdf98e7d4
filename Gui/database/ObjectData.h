#pragma once

#include <cstdint>
#include <string>

#include "database/ObjectDataBase.h"
#include "database/TextNumbers.h"

namespace DatabaseLayer {

// A persisted object with typed field access. Every get reads the database; every set writes
// it at once (texts quoted, numbers bare).
template <typename Table>
class ObjectData : public ObjectDataBase<Table> {
public:
    using ObjectDataBase<Table>::ObjectDataBase;

    std::string GetStringField(const std::string& name) const {
        return this->table.GetField(this->id, name);
    }
    void SetStringField(const std::string& name, const std::string& value) {
        this->table.SetField(this->id, name, value, true);
    }
    // The field converted like atoi (empty gives 0).
    std::int32_t GetIntField(const std::string& name) const {
        return ParseInt32(this->table.GetField(this->id, name));
    }
    void SetIntField(const std::string& name, std::int32_t value) {
        this->table.SetField(this->id, name, std::to_string(value), false);
    }
    std::int64_t GetInt64Field(const std::string& name) const {
        return this->table.GetInt64Field(this->id, name);
    }
    void SetInt64Field(const std::string& name, std::int64_t value) {
        this->table.SetField(this->id, name, std::to_string(value), false);
    }
};

}  // namespace DatabaseLayer
