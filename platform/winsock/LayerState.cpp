#include "platform/winsock/LayerState.h"

#include "platform/winsock/SocketTable.h"
#include "platform/winsock/ThreadState.h"

namespace winsock {

std::atomic<int> LayerState::starts{0};

bool LayerState::Cleanup() {
    int count = starts.load();
    do {
        if (count <= 0) {
            return false;
        }
    } while (!starts.compare_exchange_weak(count, count - 1));
    if (count == 1) {
        SocketTable::Instance().CloseAll();
    }
    return true;
}

bool LayerState::CheckCallable() {
    if (!IsStarted()) {
        return Fail(WSANOTINITIALISED, false);
    }
    if (ThreadState::Current().blocking) {
        return Fail(WSAEINPROGRESS, false);
    }
    return true;
}

}  // namespace winsock
