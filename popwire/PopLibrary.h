#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

#include "netframe/ClientTable.h"
#include "netframe/HookTable.h"
#include "netframe/Winsock.h"
#include "popwire/PopClient.h"

namespace popwire {

// The library's process-wide state: the client table with its initialisation count, the
// handle base and Winsock. Any thread; the table lock guards the table and the count.
class PopLibrary {
public:
    static PopLibrary& Instance();

    netframe::Winsock& Winsock() { return netframe::Winsock::Instance(); }
    // The windows whose procedure the library replaced to see its clients' notifications.
    netframe::HookTable& Hooks() { return hooks; }

    // One initialisation: 1, or 0 with ERROR_POP_NETWORK when Winsock cannot be started.
    int Initialize();
    // Undoes one; the last closes every client of every thread and releases Winsock.
    void Uninitialize();

    // A new client of the calling thread in a free slot, with its own Winsock start and the
    // host name it connects to (for the certificate check). Null with ERROR_POP_NETWORK (not
    // initialised, Winsock fails) or ERROR_POP_MEMORY (no free slot, no memory).
    ClientPointer CreateClient(std::string_view hostName, std::uint32_t options);

    // The calling thread's client of `handle`; null with ERROR_POP_HANDLE.
    ClientPointer Lookup(HCLIENT handle);
    // The client of `handle` whichever thread owns it, and whether that is the calling thread;
    // null with ERROR_POP_HANDLE. Only for what another thread may do: ask for a cancel.
    ClientPointer LookupAnyOwner(HCLIENT handle, bool& ownedByCaller);

    // The calling thread's client of a Winsock socket, leaving the last error alone (for the
    // window procedure); null when there is none.
    ClientPointer FindOwnedBySocket(winsock::Socket socket);
    // The calling thread's clients whose notification window is `window`.
    std::vector<ClientPointer> NotifyingWindow(platform::WindowHandle window);

    // Closes a client of the calling thread: ends TLS politely when `graceful`, closes the
    // socket, releases the client's Winsock start and empties its slot. The last error is left
    // as it was. Nothing happens for a client that is no longer in the table.
    void Close(const ClientPointer& client, bool graceful);

    // The value added to a slot number to make a handle (128 to 383, chosen once per process).
    int HandleBase() const { return handleBase; }

private:
    PopLibrary();
    void CloseLocked(const ClientPointer& client, bool graceful);

    const int handleBase;
    netframe::ClientTable<PopClient> table;
    netframe::HookTable hooks;
};

}  // namespace popwire
