#pragma once

#include <cstdint>
#include <map>
#include <mutex>

namespace DatabaseLayer {

// Counts the live letter objects of each letter row, process-wide, so that a letter changed
// through one object can first detach from the others (copy on write) and a row is deleted only
// with the last object that holds it. Any thread; every operation is atomic.
class LetterInstanceRegistry {
public:
    // A new object holds row `id`.
    static void Enter(std::int64_t id);
    // An object stops holding row `id`; `persistent` is whether it wanted the row kept. A row that
    // one of its holders left unkept is dropped with its last holder, unless a later holder kept
    // it (Keep). Returns true when the caller was the last holder and must delete the row.
    static bool Leave(std::int64_t id, bool persistent);
    // A holder made the row persistent: the row stays, whatever earlier holders left behind.
    static void Keep(std::int64_t id);
    // How many objects hold row `id` now.
    static int Count(std::int64_t id);

private:
    struct Entry {
        int count = 0;
        bool dropped = false;
    };
    static LetterInstanceRegistry& Instance();

    std::mutex mutex;
    std::map<std::int64_t, Entry> entries;
};

}  // namespace DatabaseLayer
