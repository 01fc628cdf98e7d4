#pragma once

#include <array>
#include <memory>
#include <mutex>
#include <utility>

namespace netframe {

inline constexpr int kClientSlots = 256;

// A library's table of client records (one per handle): 256 slots, the highest slot index ever
// used (lookups scan up to it) and the initialisation count, all guarded by one recursive lock
// (closing, which takes it, also runs inside operations that hold it). Records are shared
// pointers, so an operation that looked a record up keeps it alive even when another thread
// closes the handle meanwhile. One table per library per process; any thread, with Mutex()
// held for every *Locked call.
template <typename Record>
class ClientTable {
public:
    using Pointer = std::shared_ptr<Record>;

    std::recursive_mutex& Mutex() const { return mutex; }

    // The first empty slot, or -1 when all 256 are in use.
    int FindFreeSlotLocked() const {
        for (int slot = 0; slot < kClientSlots; ++slot) {
            if (!slots[slot]) {
                return slot;
            }
        }
        return -1;
    }

    void StoreLocked(int slot, Pointer record) {
        slots[slot] = std::move(record);
        if (slot > highestUsed) {
            highestUsed = slot;
        }
    }

    // The slot of the first record that `matches`, or -1.
    template <typename Predicate>
    int FindSlotLocked(Predicate matches) const {
        for (int slot = 0; slot <= highestUsed; ++slot) {
            if (slots[slot] && matches(*slots[slot])) {
                return slot;
            }
        }
        return -1;
    }

    template <typename Predicate>
    Pointer FindLocked(Predicate matches) const {
        const int slot = FindSlotLocked(matches);
        return slot < 0 ? nullptr : slots[slot];
    }

    Pointer AtLocked(int slot) const {
        return slot >= 0 && slot < kClientSlots ? slots[slot] : nullptr;
    }

    // Empties the slot and returns what it held.
    Pointer TakeLocked(int slot) { return std::exchange(slots[slot], nullptr); }

    int highestUsed = -1;         // guarded by Mutex()
    int initializationCount = 0;  // guarded by Mutex()

private:
    mutable std::recursive_mutex mutex;
    std::array<Pointer, kClientSlots> slots{};
};

}  // namespace netframe
