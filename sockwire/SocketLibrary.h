#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "netframe/ClientTable.h"
#include "netframe/HookTable.h"
#include "netframe/Winsock.h"
#include "sockwire/InetClient.h"

namespace sockwire {

using ClientPointer = std::shared_ptr<InetClient>;

// The library's process-wide state: the client table with its initialisation count, the
// hooked windows and Winsock. Any thread; the table lock guards the table and the count.
class SocketLibrary {
public:
    static SocketLibrary& Instance();

    netframe::Winsock& Winsock() { return netframe::Winsock::Instance(); }
    netframe::HookTable& Hooks() { return hooks; }

    // One initialisation: 1, or 0 with ERROR_INET_NETWORK when Winsock cannot be started.
    int Initialize();
    // Undoes one; the last closes every socket of every thread and releases Winsock.
    void Uninitialize();
    bool IsInitialized();

    // A new socket of `protocol` (6, 17, 255) owned by the calling thread, stored in the
    // table; null with the last error set (ERROR_INET_NETWORK when not initialised,
    // ERROR_INET_NOHANDLES, ERROR_INET_PROTOCOL, ERROR_INET_SOCKET).
    ClientPointer CreateClient(std::uint32_t protocol);
    // Stores an accepted Winsock socket for the calling thread; closes it and returns null with
    // ERROR_INET_NOHANDLES when the table is full.
    ClientPointer AdoptAccepted(winsock::Socket socket, std::uint32_t timeout);

    // The calling thread's record of `handle`; null with ERROR_INET_HANDLE.
    ClientPointer Lookup(SOCKET handle);
    // The record of `handle` whatever thread owns it; null with ERROR_INET_HANDLE.
    ClientPointer LookupAnyOwner(SOCKET handle);
    // As Lookup, leaving the last error alone (for the window procedure).
    ClientPointer FindOwned(SOCKET handle);
    // The calling thread's records that notify `window`.
    std::vector<ClientPointer> NotifyingWindow(platform::WindowHandle window);

    // Closes the calling thread's `handle`: detaches its window, empties its slot and closes
    // the Winsock socket (a connected one after shutting down its sending direction). The last
    // error is left as it was. False when the handle is unknown.
    bool Close(SOCKET handle);

private:
    SocketLibrary() = default;
    void CloseSocket(winsock::Socket socket);

    netframe::ClientTable<InetClient> table;
    netframe::HookTable hooks;
};

}  // namespace sockwire
