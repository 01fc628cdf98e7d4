#include "database/StatementCache.h"

namespace DatabaseLayer {

StatementCache::StatementCache(std::size_t capacityIn) : capacity(capacityIn) {}

StatementCache::~StatementCache() {
    Clear();
}

sqlite3_stmt* StatementCache::Take(const std::string& sql) {
    for (auto& entry : entries) {
        if (!entry.lent && entry.sql == sql) {
            entry.lent = true;
            return entry.statement;
        }
    }
    return nullptr;
}

void StatementCache::Give(const std::string& sql, sqlite3_stmt* statement) {
    sqlite3_reset(statement);
    sqlite3_clear_bindings(statement);
    ++clock;
    for (auto& entry : entries) {
        if (entry.statement == statement) {
            entry.lent = false;
            entry.reused = true;
            entry.lastUse = clock;
            return;
        }
    }
    if (entries.size() >= capacity) {
        const std::size_t victim = Victim();
        if (victim == entries.size()) {
            sqlite3_finalize(statement);
            return;
        }
        sqlite3_finalize(entries[victim].statement);
        entries.erase(entries.begin() + static_cast<std::ptrdiff_t>(victim));
    }
    entries.push_back({sql, statement, clock, false, false});
}

void StatementCache::Clear() {
    for (const auto& entry : entries) {
        sqlite3_finalize(entry.statement);
    }
    entries.clear();
}

std::size_t StatementCache::Victim() const {
    std::size_t victim = entries.size();
    for (std::size_t index = 0; index < entries.size(); ++index) {
        const Entry& entry = entries[index];
        if (entry.lent) {
            continue;
        }
        if (victim == entries.size()) {
            victim = index;
            continue;
        }
        const Entry& best = entries[victim];
        // Never reused beats reused; then the older use.
        if (entry.reused != best.reused ? !entry.reused : entry.lastUse < best.lastUse) {
            victim = index;
        }
    }
    return victim;
}

}  // namespace DatabaseLayer
