#pragma once

#include <sqlite3.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace DatabaseLayer {

// Prepared statements of one connection kept for reuse, looked up by their exact SQL text. The
// program runs the same texts again and again (transaction control, savepoints, the open-count
// check of a letter box), and parsing them anew was a large share of what storing a letter cost.
// Texts with values written into them seldom come again; a statement that was never reused is
// the first to go when the cache is full, so that they do not push the others out.
//
// Owned by its connection and used only on that connection's thread; it must be cleared before
// the connection closes.
class StatementCache {
public:
    static constexpr std::size_t kDefaultCapacity = 48;

    explicit StatementCache(std::size_t capacity = kDefaultCapacity);
    StatementCache(const StatementCache&) = delete;
    StatementCache& operator=(const StatementCache&) = delete;
    ~StatementCache();

    // A kept statement for `sql`, lent to the caller until it returns it with Give, or null
    // when none is free.
    sqlite3_stmt* Take(const std::string& sql);
    // Takes back a statement of `sql` (lent by Take or newly prepared): reset, its bindings
    // cleared, and kept for the next Take. When the cache is full the entry least worth keeping
    // is finalized, or this one when every other is lent.
    void Give(const std::string& sql, sqlite3_stmt* statement);
    // Finalizes every kept statement.
    void Clear();
    std::size_t Size() const { return entries.size(); }

private:
    struct Entry {
        std::string sql;
        sqlite3_stmt* statement;
        std::uint64_t lastUse;
        bool reused;
        bool lent;
    };
    // The free entry to finalize: the least recently used of those never reused, else of all;
    // entries.size() when every entry is lent.
    std::size_t Victim() const;

    std::size_t capacity;
    std::vector<Entry> entries;
    std::uint64_t clock = 0;
};

}  // namespace DatabaseLayer
