#pragma once

#include <cstdint>
#include <future>
#include <thread>

namespace moxeltest {

// Holds a letter box open on a thread of its own, with its own database connection, from
// construction (which returns once the box is open) until destruction.
class LetterBoxHeldElsewhere {
public:
    explicit LetterBoxHeldElsewhere(std::int64_t boxId);
    ~LetterBoxHeldElsewhere();
    LetterBoxHeldElsewhere(const LetterBoxHeldElsewhere&) = delete;
    LetterBoxHeldElsewhere& operator=(const LetterBoxHeldElsewhere&) = delete;

private:
    std::promise<void> release;
    std::thread holder;
};

}  // namespace moxeltest
