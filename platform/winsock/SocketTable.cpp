#include "platform/winsock/SocketTable.h"

#include <unistd.h>

#include <cstdint>

#include "platform/winsock/AsyncNotifier.h"

namespace winsock {

SocketTable& SocketTable::Instance() {
    // Never destroyed: the notifier thread may still look sockets up while the process exits.
    static auto* const table = new SocketTable;
    return *table;
}

std::shared_ptr<SocketEntry> SocketTable::Add(int fd, int type) {
    std::lock_guard lock(mutex);
    Socket id = nextId++;
    if (nextId <= 0) {
        nextId = 1000;
    }
    auto entry = std::make_shared<SocketEntry>(id, fd, type);
    sockets.emplace(id, entry);
    return entry;
}

std::shared_ptr<SocketEntry> SocketTable::Find(Socket s) const {
    std::lock_guard lock(mutex);
    const auto found = sockets.find(s);
    return found == sockets.end() ? nullptr : found->second;
}

std::shared_ptr<SocketEntry> SocketTable::Close(Socket s) {
    std::shared_ptr<SocketEntry> entry;
    {
        std::lock_guard lock(mutex);
        const auto found = sockets.find(s);
        if (found == sockets.end()) {
            return nullptr;
        }
        entry = std::move(found->second);
        sockets.erase(found);
    }
    MarkClosed(*entry);
    return entry;
}

void SocketTable::CloseAll() {
    std::unordered_map<Socket, std::shared_ptr<SocketEntry>> all;
    {
        std::lock_guard lock(mutex);
        all.swap(sockets);
    }
    for (auto& [id, entry] : all) {
        MarkClosed(*entry);
    }
}

void SocketTable::MarkClosed(SocketEntry& entry) {
    std::lock_guard lock(entry.mutex);
    entry.closed = true;
    AsyncNotifier::Instance().UpdateLocked(entry);
    const std::uint64_t one = 1;
    for (const int waiter : entry.waiters) {
        [[maybe_unused]] const auto written = ::write(waiter, &one, sizeof(one));
    }
}

}  // namespace winsock
