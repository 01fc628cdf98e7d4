#include "support/LetterBoxHeldElsewhere.h"

#include "core/ThreadData.h"
#include "database/LetterBoxData.h"
#include "database/LetterBoxLock.h"

namespace moxeltest {

LetterBoxHeldElsewhere::LetterBoxHeldElsewhere(std::int64_t boxId) {
    std::promise<void> opened;
    auto openedFuture = opened.get_future();
    holder = std::thread([&opened, boxId, released = release.get_future()]() mutable {
        bool signalled = false;
        try {
            ThreadDataScope database;
            LetterBox box(boxId);
            LetterBoxLock lock(box);
            opened.set_value();
            signalled = true;
            released.wait();
        } catch (...) {
            // Once the constructor has returned, `opened` is gone; only a failure to open is
            // handed back.
            if (!signalled) {
                opened.set_exception(std::current_exception());
            }
        }
    });
    try {
        openedFuture.get();
    } catch (...) {
        holder.join();
        throw;
    }
}

LetterBoxHeldElsewhere::~LetterBoxHeldElsewhere() {
    release.set_value();
    holder.join();
}

}  // namespace moxeltest
