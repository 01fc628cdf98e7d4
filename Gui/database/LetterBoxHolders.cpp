#include "database/LetterBoxHolders.h"

#include <map>
#include <mutex>
#include <utility>

namespace DatabaseLayer::LetterBoxHolders {

namespace {

struct Registry {
    std::mutex mutex;
    // (box id, thread id) -> opens held; guarded by `mutex`.
    std::map<std::pair<std::int64_t, std::int64_t>, std::int64_t> opens;
};

Registry& Holders() {
    static Registry registry;
    return registry;
}

}  // namespace

std::int64_t OpensHeld(std::int64_t boxId, std::int64_t thread) {
    auto& registry = Holders();
    std::lock_guard lock(registry.mutex);
    const auto found = registry.opens.find({boxId, thread});
    return found == registry.opens.end() ? 0 : found->second;
}

void AddOpen(std::int64_t boxId, std::int64_t thread) {
    auto& registry = Holders();
    std::lock_guard lock(registry.mutex);
    ++registry.opens[{boxId, thread}];
}

void RemoveOpen(std::int64_t boxId, std::int64_t thread) {
    auto& registry = Holders();
    std::lock_guard lock(registry.mutex);
    const auto found = registry.opens.find({boxId, thread});
    if (found != registry.opens.end() && --found->second <= 0) {
        registry.opens.erase(found);
    }
}

}  // namespace DatabaseLayer::LetterBoxHolders
