#include "popwire/CancelCheck.h"

namespace popwire {

namespace {

struct ThreadCheck {
    POPCANCELPROC check = nullptr;
    std::uintptr_t parameter = 0;
};

// Per thread, so no lock: only the owner sets and asks it.
thread_local ThreadCheck threadCheck;

}  // namespace

void SetCancelCheck(POPCANCELPROC check, std::uintptr_t parameter) {
    threadCheck = {check, check ? parameter : 0};
}

bool CancelCheckSaysStop() {
    return threadCheck.check && threadCheck.check(threadCheck.parameter) != 0;
}

}  // namespace popwire
