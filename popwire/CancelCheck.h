#pragma once

#include <cstdint>

#include "popwire.h"

namespace popwire {

// The calling thread's own question "should my waits stop?" (PopSetCancelCheck): how a stop of
// the program reaches a connection that has no handle yet. Each thread sees only its own.

// Stores the thread's check; a null `check` removes it.
void SetCancelCheck(POPCANCELPROC check, std::uintptr_t parameter);

// True when the thread has a check and it asks to stop now.
bool CancelCheckSaysStop();

}  // namespace popwire
