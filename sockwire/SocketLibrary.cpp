#include "sockwire/SocketLibrary.h"

#include <new>

#include "netframe/LastError.h"
#include "platform/ThreadId.h"
#include "sockwire/Notification.h"

namespace sockwire {

using netframe::Fail;

SocketLibrary& SocketLibrary::Instance() {
    // Destroyed with the library, which puts the procedure of every hooked window back.
    static SocketLibrary library;
    return library;
}

int SocketLibrary::Initialize() {
    std::lock_guard lock(table.Mutex());
    // Winsock is started once for all initialisations and released with the last one.
    if (table.initializationCount == 0 && Winsock().Start() != 0) {
        return Fail(ERROR_INET_NETWORK, 0);
    }
    ++table.initializationCount;
    netframe::SetLastErrorCode(ERROR_INET_NONE);
    return 1;
}

void SocketLibrary::Uninitialize() {
    std::lock_guard lock(table.Mutex());
    if (table.initializationCount == 0 || --table.initializationCount > 0) {
        return;
    }
    const std::uint32_t self = platform::CurrentThreadId();
    for (int slot = 0; slot <= table.highestUsed; ++slot) {
        if (const auto record = table.AtLocked(slot)) {
            // The closing thread takes every record over, so that the close is allowed.
            record->ownerThread = self;
            Close(record->socket);
        }
    }
    Winsock().StopTracing();
    Winsock().Release();
}

bool SocketLibrary::IsInitialized() {
    std::lock_guard lock(table.Mutex());
    return table.initializationCount > 0;
}

ClientPointer SocketLibrary::CreateClient(std::uint32_t protocol) {
    std::lock_guard lock(table.Mutex());
    if (table.initializationCount == 0) {
        return Fail(ERROR_INET_NETWORK, nullptr);
    }
    const int slot = table.FindFreeSlotLocked();
    if (slot < 0) {
        return Fail(ERROR_INET_NOHANDLES, nullptr);
    }
    int type;
    switch (protocol) {
        case INET_PROTOCOL_TCP:
            type = winsock::WS_SOCK_STREAM;
            break;
        case INET_PROTOCOL_UDP:
            type = winsock::WS_SOCK_DGRAM;
            break;
        case INET_PROTOCOL_RAW:
            type = winsock::WS_SOCK_RAW;
            break;
        default:
            return Fail(ERROR_INET_PROTOCOL, nullptr);
    }
    auto record = std::shared_ptr<InetClient>(new (std::nothrow) InetClient);
    if (!record) {
        return Fail(ERROR_INET_MEMORY, nullptr);
    }
    record->socket = Winsock().CreateSocket(winsock::WS_AF_INET, type, static_cast<int>(protocol));
    if (record->socket == winsock::kInvalidSocket) {
        return Fail(ERROR_INET_SOCKET, nullptr);
    }
    record->ownerThread = platform::CurrentThreadId();
    record->socketType = type;
    record->protocol = static_cast<int>(protocol);
    table.StoreLocked(slot, record);
    return record;
}

ClientPointer SocketLibrary::AdoptAccepted(winsock::Socket socket, std::uint32_t timeout) {
    std::lock_guard lock(table.Mutex());
    const int slot = table.FindFreeSlotLocked();
    if (slot < 0) {
        CloseSocket(socket);
        return Fail(ERROR_INET_NOHANDLES, nullptr);
    }
    auto record = std::shared_ptr<InetClient>(new (std::nothrow) InetClient);
    if (!record) {
        CloseSocket(socket);
        return Fail(ERROR_INET_MEMORY, nullptr);
    }
    record->socket = socket;
    record->ownerThread = platform::CurrentThreadId();
    record->timeout = timeout;
    record->connected = true;
    table.StoreLocked(slot, record);
    return record;
}

ClientPointer SocketLibrary::FindOwned(SOCKET handle) {
    const std::uint32_t self = platform::CurrentThreadId();
    std::lock_guard lock(table.Mutex());
    return table.FindLocked([&](const InetClient& record) {
        return record.socket == handle && record.ownerThread == self;
    });
}

ClientPointer SocketLibrary::Lookup(SOCKET handle) {
    auto record = FindOwned(handle);
    return record ? record : Fail(ERROR_INET_HANDLE, nullptr);
}

ClientPointer SocketLibrary::LookupAnyOwner(SOCKET handle) {
    std::lock_guard lock(table.Mutex());
    auto record =
        table.FindLocked([&](const InetClient& candidate) { return candidate.socket == handle; });
    return record ? record : Fail(ERROR_INET_HANDLE, nullptr);
}

std::vector<ClientPointer> SocketLibrary::NotifyingWindow(platform::WindowHandle window) {
    const std::uint32_t self = platform::CurrentThreadId();
    std::vector<ClientPointer> found;
    std::lock_guard lock(table.Mutex());
    for (int slot = 0; slot <= table.highestUsed; ++slot) {
        const auto record = table.AtLocked(slot);
        if (record && record->ownerThread == self && record->notificationWindow == window) {
            found.push_back(record);
        }
    }
    return found;
}

bool SocketLibrary::Close(SOCKET handle) {
    std::lock_guard lock(table.Mutex());
    const netframe::LastErrorKeeper keepError;
    const std::uint32_t self = platform::CurrentThreadId();
    const int slot = table.FindSlotLocked([&](const InetClient& record) {
        return record.socket == handle && record.ownerThread == self;
    });
    if (slot < 0) {
        return false;
    }
    const auto record = table.TakeLocked(slot);
    DetachWindow(*record);
    CloseSocket(record->socket);
    return true;
}

void SocketLibrary::CloseSocket(winsock::Socket socket) {
    int listening = 0;
    int length = sizeof(listening);
    if (Winsock().GetSockOpt(socket, winsock::WS_SOL_SOCKET, winsock::WS_SO_ACCEPTCONN,
                             reinterpret_cast<char*>(&listening), &length) == 0 &&
        !listening) {
        Winsock().Shutdown(socket, winsock::WS_SD_SEND);
    }
    Winsock().CloseSocket(socket);
}

}  // namespace sockwire
