// Initialisation, errors, version, window notification, events and tracing.
#include "netframe/LastError.h"
#include "netframe/LibraryVersion.h"
#include "platform/windows/MessageWindows.h"
#include "sockwire.h"
#include "sockwire/ErrorTexts.h"
#include "sockwire/Notification.h"
#include "sockwire/SocketLibrary.h"

using netframe::Fail;
using sockwire::SocketLibrary;

namespace {

constexpr netframe::LibraryVersion kVersion{3, 60, 3650,
                                            "Wirebench Hypertext Transfer Protocol Library"};

static_assert(sizeof(INITDATA) == 160);
static_assert(sizeof(INITDATAW) == 288);
static_assert(sizeof(DLLVERSIONINFO) == netframe::kVersionRecordSize);

}  // namespace

extern "C" {

int InetInitializeA(const char*, LPINITDATA initData) {
    if (initData) {
        if (initData->dwSize != sizeof(INITDATA)) {
            return Fail(ERROR_INET_PARAMETER, 0);
        }
        netframe::FillInitData(*initData, kVersion);
    }
    return SocketLibrary::Instance().Initialize();
}

void InetUninitialize(void) {
    SocketLibrary::Instance().Uninitialize();
}

std::uint32_t InetGetLastError(void) {
    return netframe::GetLastErrorCode();
}

void InetSetLastError(std::uint32_t code) {
    netframe::SetLastErrorCode(code);
}

int InetGetErrorStringA(std::uint32_t code, char* buffer, int capacity) {
    return sockwire::ErrorTexts().Copy(code, buffer, capacity);
}

int InetGetErrorStringW(std::uint32_t code, char16_t* buffer, int capacity) {
    return sockwire::ErrorTexts().Copy(code, buffer, capacity);
}

std::int32_t DllGetVersion(DLLVERSIONINFO* info) {
    return netframe::FillVersionRecord(info, kVersion);
}

int InetAsyncNotify(SOCKET handle, INETWINDOW window, std::uint32_t message) {
    const auto client = SocketLibrary::Instance().Lookup(handle);
    return client ? sockwire::AsyncNotify(client, window, message) : INET_ERROR;
}

int InetEnableEvents(SOCKET handle, INETWINDOW window, std::uint32_t message) {
    const auto client = SocketLibrary::Instance().Lookup(handle);
    if (!client) {
        return INET_ERROR;
    }
    if (window) {
        if (!platform::IsWindow(window) || message < platform::WM_USER) {
            return Fail(ERROR_INET_PARAMETER, INET_ERROR);
        }
        // An event message equal to the notification on the same window would come back as a
        // notification, to be delivered as an event again, for ever.
        const bool notified = client->notificationWindow != nullptr;
        if (window == (notified ? client->notificationWindow.load() : window) &&
            message == (notified ? client->notificationMessage.load()
                                 : sockwire::kInternalNotificationMessage)) {
            return Fail(ERROR_INET_PARAMETER, INET_ERROR);
        }
        if (!client->notificationWindow &&
            sockwire::AsyncNotify(client, window, sockwire::kInternalNotificationMessage) != 0) {
            return INET_ERROR;
        }
    }
    client->eventWindow = window;
    client->eventMessage = window ? message : 0;
    return 0;
}

int InetDisableEvents(SOCKET handle) {
    const auto client = SocketLibrary::Instance().Lookup(handle);
    if (!client || sockwire::AsyncNotify(client, nullptr, 0) != 0) {
        return INET_ERROR;
    }
    client->callbacks.Clear();
    client->eventWindow = nullptr;
    client->eventMessage = 0;
    return 0;
}

int InetRegisterEvent(SOCKET handle, std::uint32_t eventMask, INETEVENTPROC callback,
                      std::uintptr_t parameter) {
    const auto client = SocketLibrary::Instance().Lookup(handle);
    if (!client) {
        return INET_ERROR;
    }
    client->callbacks.Register(eventMask, callback, parameter);
    return 0;
}

int InetFreezeEvents(SOCKET handle, int freeze) {
    const auto client = SocketLibrary::Instance().Lookup(handle);
    return client ? sockwire::FreezeEvents(client, freeze != 0) : 0;
}

int InetIsBlocking(SOCKET handle) {
    const auto client = SocketLibrary::Instance().Lookup(handle);
    return (client && client->busy) || SocketLibrary::Instance().Winsock().IsBlocking() ? 1 : 0;
}

int InetEnableTraceA(const char* fileName, std::uint32_t flags) {
    return SocketLibrary::Instance().Winsock().EnableTrace(fileName, flags);
}

int InetDisableTrace(void) {
    return SocketLibrary::Instance().Winsock().DisableTrace();
}

}  // extern "C"
