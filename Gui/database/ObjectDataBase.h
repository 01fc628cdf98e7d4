#pragma once

#include <cstdint>
#include <map>
#include <string>

namespace DatabaseLayer {

// A persisted object: the owner of one row of `Table`. A new row belongs to its object until
// the object is made persistent (linked into the object graph): an object destroyed while not
// persistent deletes its row. Objects are built and used on one thread, over its connection.
template <typename Table>
class ObjectDataBase {
public:
    using TableType = Table;

    // Inserts a new row with defaults; not persistent.
    ObjectDataBase() : id(table.Insert()), persistent(false) {}
    // Opens the existing row `existingId`; persistent, no database access.
    explicit ObjectDataBase(std::int64_t existingId) : id(existingId), persistent(true) {}
    ObjectDataBase(const ObjectDataBase&) = delete;
    ObjectDataBase& operator=(const ObjectDataBase&) = delete;

    virtual ~ObjectDataBase() {
        if (!persistent) {
            try {
                table.Delete(id);
            } catch (...) {
                // Destructors never throw; an orphan row is harmless and rare.
            }
        }
    }

    virtual void SetPersistent(bool value) { persistent = value; }
    bool IsPersistent() const { return persistent; }
    std::int64_t GetId() const { return id; }
    const Table& GetTable() const { return table; }

protected:
    // For copies: takes over an already made row, not persistent.
    struct AdoptRow {};
    ObjectDataBase(AdoptRow, std::int64_t newId) : id(newId), persistent(false) {}

    Table table;
    std::int64_t id;
    bool persistent;
    // Field values read once and kept; only letter rows use it (filled by their const getters).
    mutable std::map<std::string, std::string> fieldCache;
};

}  // namespace DatabaseLayer
