#pragma once

#include <cstdint>
#include <string>

namespace DatabaseLayer {

// The SQL of one table of persisted objects: its name, how it is created, how a new row with
// defaults is inserted, and the generic row operations every table shares. Stateless; callers
// make an instance wherever they need one. All SQL runs on the calling thread's connection and
// fails with Exception.
class ObjectDataTable {
public:
    virtual ~ObjectDataTable() = default;

    // "DELETE FROM <table> WHERE id = <id>;"
    virtual void Delete(std::int64_t id) const;
    // "DELETE FROM <table>;"
    virtual void DeleteAll() const;
    // "DELETE FROM <table> WHERE <condition>;" (the condition is inserted as given).
    virtual void DeleteWhere(const std::string& condition) const;
    // The CREATE TABLE text; "%1%" stands for the table name.
    virtual std::string CreateStatement() const = 0;
    // The INSERT text of a new row with its defaults; "%1%" stands for the table name.
    virtual std::string InsertStatement() const = 0;
    virtual std::string TableName() const = 0;
    // Makes a new row with the field values of row `sourceId`; returns the new id. The default
    // copies every column but id; tables with a fixed copy statement override it.
    virtual std::int64_t CopyRow(std::int64_t sourceId) const;

    // Inserts a new row with defaults and returns its id.
    std::int64_t Insert() const;
    // Creates the table; an existing table is left as it is.
    void CreateTable() const;
    bool Exists(std::int64_t id) const;
    // The field as text; a NULL field, and an id without a row, give the empty text.
    std::string GetField(std::int64_t id, const std::string& fieldName) const;
    // Writes the value (always through QuoteText) between quotes when `quoted`, else bare.
    void SetField(std::int64_t id, const std::string& fieldName, const std::string& value,
                  bool quoted) const;
    // GetField converted like _atoi64 (leading digits; empty gives 0).
    std::int64_t GetInt64Field(std::int64_t id, const std::string& fieldName) const;
};

}  // namespace DatabaseLayer
