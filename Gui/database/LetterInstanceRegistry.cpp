#include "database/LetterInstanceRegistry.h"

namespace DatabaseLayer {

LetterInstanceRegistry& LetterInstanceRegistry::Instance() {
    static LetterInstanceRegistry registry;
    return registry;
}

void LetterInstanceRegistry::Enter(std::int64_t id) {
    auto& registry = Instance();
    std::lock_guard lock(registry.mutex);
    ++registry.entries[id].count;
}

bool LetterInstanceRegistry::Leave(std::int64_t id, bool persistent) {
    auto& registry = Instance();
    std::lock_guard lock(registry.mutex);
    const auto found = registry.entries.find(id);
    if (found == registry.entries.end()) {
        return !persistent;
    }
    Entry& entry = found->second;
    entry.dropped = entry.dropped || !persistent;
    if (--entry.count > 0) {
        return false;
    }
    const bool drop = entry.dropped;
    registry.entries.erase(found);
    return drop;
}

void LetterInstanceRegistry::Keep(std::int64_t id) {
    auto& registry = Instance();
    std::lock_guard lock(registry.mutex);
    const auto found = registry.entries.find(id);
    if (found != registry.entries.end()) {
        found->second.dropped = false;
    }
}

int LetterInstanceRegistry::Count(std::int64_t id) {
    auto& registry = Instance();
    std::lock_guard lock(registry.mutex);
    const auto found = registry.entries.find(id);
    return found == registry.entries.end() ? 0 : found->second.count;
}

}  // namespace DatabaseLayer
