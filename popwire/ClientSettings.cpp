// The settings and state of a client, cancelling, and the delivery of its events.
#include <algorithm>

#include "netframe/LastError.h"
#include "platform/windows/MessageWindows.h"
#include "popwire.h"
#include "popwire/CancelCheck.h"
#include "popwire/DataReader.h"
#include "popwire/Notification.h"
#include "popwire/PopLibrary.h"

using netframe::Fail;
using popwire::ClientPointer;
using popwire::PopLibrary;

namespace {

// Runs `read` on the calling thread's client of `handle`; POP_ERROR when there is none.
template <typename Read>
int WithClient(HCLIENT handle, Read read) {
    const ClientPointer client = PopLibrary::Instance().Lookup(handle);
    return client ? read(*client) : POP_ERROR;
}

}  // namespace

extern "C" {

int PopGetMultiLine(HCLIENT handle) {
    return WithClient(handle, [](popwire::PopClient& client) { return client.multiLine ? 1 : 0; });
}

int PopSetMultiLine(HCLIENT handle, int multiLine) {
    return WithClient(handle, [multiLine](popwire::PopClient& client) {
        if (multiLine) {
            popwire::BeginMultiLine(client);
            // A caller driven by read notifications may find its data here already.
            popwire::AnnounceData(client);
        } else {
            client.multiLine = false;
        }
        return 0;
    });
}

int PopGetLineMode(HCLIENT handle) {
    return WithClient(handle,
                      [](popwire::PopClient& client) { return static_cast<int>(client.lineMode); });
}

int PopSetLineMode(HCLIENT handle, std::uint32_t mode) {
    return WithClient(handle, [mode](popwire::PopClient& client) {
        client.lineMode = mode;
        return 0;
    });
}

int PopGetTimeout(HCLIENT handle) {
    return WithClient(handle,
                      [](popwire::PopClient& client) { return static_cast<int>(client.timeout); });
}

int PopSetTimeout(HCLIENT handle, std::uint32_t seconds) {
    return WithClient(handle, [seconds](popwire::PopClient& client) {
        client.timeout = std::min(seconds, popwire::kMaximumTimeout);
        return 0;
    });
}

SOCKET PopGetSocket(HCLIENT handle) {
    return WithClient(
        handle, [](popwire::PopClient& client) { return static_cast<int>(client.socket.load()); });
}

int PopIsBlocking(HCLIENT handle) {
    const ClientPointer client = PopLibrary::Instance().Lookup(handle);
    return (client && client->busy) || PopLibrary::Instance().Winsock().IsBlocking() ? 1 : 0;
}

int PopCancel(HCLIENT handle) {
    // Any thread may cancel. The owner's waits look at the request at least every
    // kCancelSlice, so another thread (a stop of the program) ends them soon; Winsock's
    // blocking call is the owner's own and is cancelled only from its blocking hook.
    bool ownedByCaller = false;
    const ClientPointer client = PopLibrary::Instance().LookupAnyOwner(handle, ownedByCaller);
    if (!client) {
        return POP_ERROR;
    }
    client->cancelRequested = true;
    auto& winsock = PopLibrary::Instance().Winsock();
    if (ownedByCaller && winsock.IsBlocking()) {
        winsock.CancelBlockingCall();
    }
    return 0;
}

int PopSetCancelCheck(POPCANCELPROC check, std::uintptr_t parameter) {
    popwire::SetCancelCheck(check, parameter);
    return 0;
}

int PopRegisterEvent(HCLIENT handle, std::uint32_t eventMask, POPEVENTPROC callback,
                     std::uintptr_t parameter) {
    return WithClient(handle, [&](popwire::PopClient& client) {
        client.callbacks.Register(eventMask, callback, parameter);
        return 0;
    });
}

int PopEnableEvents(HCLIENT handle, INETWINDOW window, std::uint32_t message) {
    return WithClient(handle, [&](popwire::PopClient& client) {
        if (window && (!platform::IsWindow(window) || message < platform::WM_USER)) {
            return Fail(ERROR_POP_PARAMETER, POP_ERROR);
        }
        client.eventWindow = window;
        client.eventMessage = window ? message : 0;
        return 0;
    });
}

int PopDisableEvents(HCLIENT handle) {
    return WithClient(handle, [](popwire::PopClient& client) {
        client.eventWindow = nullptr;
        client.eventMessage = 0;
        return 0;
    });
}

int PopAsyncNotify(HCLIENT handle, INETWINDOW window, std::uint32_t message) {
    const ClientPointer client = PopLibrary::Instance().Lookup(handle);
    if (!client) {
        return POP_ERROR;
    }
    const std::uint32_t notifications =
        client->connectPending ? popwire::kConnectNotifications : popwire::kSessionNotifications;
    return popwire::AsyncNotify(client, window, message, notifications);
}

HCLIENT PopGetHwndClient(INETWINDOW window) {
    if (window) {
        const auto clients = PopLibrary::Instance().NotifyingWindow(window);
        if (!clients.empty()) {
            return clients.front()->handle;
        }
    }
    return Fail(ERROR_POP_HANDLE, INVALID_CLIENT);
}

INETWINDOW PopGetClientHwnd(HCLIENT handle) {
    const ClientPointer client = PopLibrary::Instance().Lookup(handle);
    if (!client) {
        return nullptr;
    }
    netframe::SetLastErrorCode(ERROR_POP_NONE);
    return client->notificationWindow;
}

int PopFreezeEvents(HCLIENT handle, int freeze) {
    return WithClient(handle, [freeze](popwire::PopClient& client) {
        popwire::FreezeEvents(client, freeze != 0);
        return 0;
    });
}

}  // extern "C"
