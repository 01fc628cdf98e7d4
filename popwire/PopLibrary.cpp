#include "popwire/PopLibrary.h"

#include <chrono>
#include <new>

#include "netframe/LastError.h"
#include "platform/ThreadId.h"
#include "popwire/TlsSession.h"
#include "popwire/Transport.h"

namespace popwire {

using netframe::Fail;

namespace {

// Handles of different processes (and of a process started again) rarely look alike, so a
// stale handle is less likely to name a live client.
int ChooseHandleBase() {
    const auto ticks = std::chrono::duration_cast<std::chrono::milliseconds>(
        std::chrono::steady_clock::now().time_since_epoch());
    return static_cast<int>(ticks.count() & 0xFF) + 128;
}

}  // namespace

PopClient::~PopClient() = default;

PopLibrary& PopLibrary::Instance() {
    static PopLibrary library;
    return library;
}

PopLibrary::PopLibrary() : handleBase(ChooseHandleBase()) {}

int PopLibrary::Initialize() {
    std::lock_guard lock(table.Mutex());
    // Winsock is started once for all initialisations and released with the last one.
    if (table.initializationCount == 0 && Winsock().Start() != 0) {
        return Fail(ERROR_POP_NETWORK, 0);
    }
    ++table.initializationCount;
    netframe::SetLastErrorCode(ERROR_POP_NONE);
    return 1;
}

void PopLibrary::Uninitialize() {
    std::lock_guard lock(table.Mutex());
    if (table.initializationCount == 0 || --table.initializationCount > 0) {
        return;
    }
    const netframe::LastErrorKeeper keepError;
    for (int slot = 0; slot <= table.highestUsed; ++slot) {
        if (const auto client = table.AtLocked(slot)) {
            // Another thread may be using the client: only its socket is closed here, which
            // ends that thread's waits; its TLS state goes with the record.
            CloseLocked(client, false);
        }
    }
    Winsock().StopTracing();
    Winsock().Release();
}

ClientPointer PopLibrary::CreateClient(std::string_view hostName, std::uint32_t options) {
    std::lock_guard lock(table.Mutex());
    if (table.initializationCount == 0) {
        return Fail(ERROR_POP_NETWORK, nullptr);
    }
    const int slot = table.FindFreeSlotLocked();
    if (slot < 0) {
        return Fail(ERROR_POP_MEMORY, nullptr);
    }
    auto client = std::shared_ptr<PopClient>(new (std::nothrow) PopClient);
    if (!client) {
        return Fail(ERROR_POP_MEMORY, nullptr);
    }
    if (Winsock().Start() != 0) {
        return Fail(ERROR_POP_NETWORK, nullptr);
    }
    client->slot = slot;
    client->handle = slot + handleBase;
    client->options = options;
    client->hostName = hostName;
    client->ownerThread = platform::CurrentThreadId();
    table.StoreLocked(slot, client);
    return client;
}

ClientPointer PopLibrary::Lookup(HCLIENT handle) {
    bool ownedByCaller = false;
    auto client = LookupAnyOwner(handle, ownedByCaller);
    if (client && !ownedByCaller) {
        return Fail(ERROR_POP_HANDLE, nullptr);
    }
    return client;
}

ClientPointer PopLibrary::LookupAnyOwner(HCLIENT handle, bool& ownedByCaller) {
    // In 64 bits: a handle near INT_MIN must not overflow.
    const std::int64_t slot = std::int64_t{handle} - handleBase;
    const std::uint32_t self = platform::CurrentThreadId();
    std::lock_guard lock(table.Mutex());
    auto client = slot >= 0 && slot < netframe::kClientSlots
                      ? table.AtLocked(static_cast<int>(slot))
                      : nullptr;
    if (!client) {
        return Fail(ERROR_POP_HANDLE, nullptr);
    }
    ownedByCaller = client->ownerThread == self;
    return client;
}

ClientPointer PopLibrary::FindOwnedBySocket(winsock::Socket socket) {
    const std::uint32_t self = platform::CurrentThreadId();
    std::lock_guard lock(table.Mutex());
    return table.FindLocked([&](const PopClient& client) {
        return client.socket == socket && client.ownerThread == self;
    });
}

std::vector<ClientPointer> PopLibrary::NotifyingWindow(platform::WindowHandle window) {
    const std::uint32_t self = platform::CurrentThreadId();
    std::vector<ClientPointer> found;
    std::lock_guard lock(table.Mutex());
    for (int slot = 0; slot <= table.highestUsed; ++slot) {
        const auto client = table.AtLocked(slot);
        if (client && client->ownerThread == self && client->notificationWindow == window) {
            found.push_back(client);
        }
    }
    return found;
}

void PopLibrary::Close(const ClientPointer& client, bool graceful) {
    std::lock_guard lock(table.Mutex());
    const netframe::LastErrorKeeper keepError;
    CloseLocked(client, graceful);
}

void PopLibrary::CloseLocked(const ClientPointer& client, bool graceful) {
    if (table.AtLocked(client->slot) != client) {
        return;
    }
    table.TakeLocked(client->slot);
    // The window gets its own procedure back once no client notifies it.
    const platform::WindowHandle window = client->notificationWindow.exchange(nullptr);
    if (client->windowAttached.exchange(false)) {
        hooks.Detach(window);
    }
    const winsock::Socket socket = client->socket.exchange(winsock::kInvalidSocket);
    if (socket != winsock::kInvalidSocket) {
        if (window) {
            Winsock().AsyncSelect(socket, nullptr, 0, 0);
        }
        if (graceful && client->tls) {
            SayGoodbye(*client, socket);
        }
        Winsock().Shutdown(socket, winsock::WS_SD_SEND);
        Winsock().CloseSocket(socket);
    }
    Winsock().Release();
}

}  // namespace popwire
