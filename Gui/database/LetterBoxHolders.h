#pragma once

#include <cstdint>

namespace DatabaseLayer {

// Which thread of this process holds which letter box open, and how often: the truth that the
// stored open state of a box mirrors. Only one copy of the program works on a database, so a
// stored open state that no thread here holds is stale: left behind by a close that failed,
// under a thread id the system may hand to a new thread. Shared by every thread; each call
// takes the registry's own lock.
namespace LetterBoxHolders {

// How many opens `thread` holds on box `boxId` (0 when none).
std::int64_t OpensHeld(std::int64_t boxId, std::int64_t thread);
// Records one more open of `thread` on the box.
void AddOpen(std::int64_t boxId, std::int64_t thread);
// Records one open less (nothing happens when the thread holds none).
void RemoveOpen(std::int64_t boxId, std::int64_t thread);

}  // namespace LetterBoxHolders

}  // namespace DatabaseLayer
