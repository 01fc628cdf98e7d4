#pragma once

#include <memory>
#include <mutex>
#include <unordered_map>
#include <vector>

#include "platform/winsock/SocketEntry.h"

namespace winsock {

// Every open socket of the process by its Winsock value. Any thread; guarded by its own mutex.
// Socket values count up and are never reused, so a stale value is reliably unknown.
class SocketTable {
public:
    static SocketTable& Instance();

    // Takes over `fd` and gives it a new socket value.
    std::shared_ptr<SocketEntry> Add(int fd, int type);
    // The open socket with this value, or null.
    std::shared_ptr<SocketEntry> Find(Socket s) const;
    // Takes the socket out of the table and marks it closed: its notifications stop and threads
    // blocked on it wake up with WSAEINTR. Null when it is unknown.
    std::shared_ptr<SocketEntry> Close(Socket s);
    // Closes every socket (the last wsock_WSACleanup).
    void CloseAll();

private:
    SocketTable() = default;
    static void MarkClosed(SocketEntry& entry);

    mutable std::mutex mutex;
    Socket nextId = 1000;                                              // guarded by mutex
    std::unordered_map<Socket, std::shared_ptr<SocketEntry>> sockets;  // guarded by mutex
};

}  // namespace winsock
