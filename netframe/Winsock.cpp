#include "netframe/Winsock.h"

#include <dlfcn.h>

#include <string>

#include "netframe/ModuleLocator.h"
#include "platform/windows/MessageWindows.h"

namespace netframe {

namespace {

constexpr char kExportPrefix[] = "wsock_";
constexpr char kTraceHookPrefix[] = "TX_";

// Runs while a blocking Winsock call waits: dispatches one waiting message of the thread, so
// that its windows keep working.
int FrameBlockingHook() {
    platform::Message message;
    if (!platform::PeekMessage(message, true)) {
        return 0;
    }
    platform::DispatchMessage(message);
    return 1;
}

}  // namespace

Winsock& Winsock::Instance() {
    // Never destroyed: sockets may still be closed while the process ends.
    static auto* const instance = new Winsock;
    return *instance;
}

template <typename Visitor>
void Winsock::ForEachEntry(Visitor&& visit) {
    visit(entries.accept, "accept", true);
    visit(entries.bind, "bind", true);
    visit(entries.closesocket, "closesocket", true);
    visit(entries.connect, "connect", true);
    visit(entries.ioctlsocket, "ioctlsocket", true);
    visit(entries.getpeername, "getpeername", true);
    visit(entries.getsockname, "getsockname", true);
    visit(entries.getsockopt, "getsockopt", true);
    visit(entries.htonl, "htonl", true);
    visit(entries.htons, "htons", true);
    visit(entries.inet_addr, "inet_addr", true);
    visit(entries.inet_ntoa, "inet_ntoa", true);
    visit(entries.listen, "listen", true);
    visit(entries.ntohl, "ntohl", true);
    visit(entries.ntohs, "ntohs", true);
    visit(entries.recv, "recv", true);
    visit(entries.recvfrom, "recvfrom", true);
    visit(entries.select, "select", true);
    visit(entries.send, "send", true);
    visit(entries.sendto, "sendto", true);
    visit(entries.setsockopt, "setsockopt", true);
    visit(entries.shutdown, "shutdown", true);
    visit(entries.socket, "socket", true);
    visit(entries.gethostbyaddr, "gethostbyaddr", true);
    visit(entries.gethostbyname, "gethostbyname", true);
    visit(entries.gethostname, "gethostname", true);
    visit(entries.getservbyport, "getservbyport", true);
    visit(entries.getservbyname, "getservbyname", true);
    visit(entries.getprotobynumber, "getprotobynumber", true);
    visit(entries.getprotobyname, "getprotobyname", true);
    // Start-up and the error accessors are not traced: the trace library uses the accessors.
    visit(entries.WSAStartup, "WSAStartup", false);
    visit(entries.WSACleanup, "WSACleanup", false);
    visit(entries.WSASetLastError, "WSASetLastError", false);
    visit(entries.WSAGetLastError, "WSAGetLastError", false);
    visit(entries.WSAIsBlocking, "WSAIsBlocking", true);
    visit(entries.WSAUnhookBlockingHook, "WSAUnhookBlockingHook", true);
    visit(entries.WSASetBlockingHook, "WSASetBlockingHook", true);
    visit(entries.WSACancelBlockingCall, "WSACancelBlockingCall", true);
    visit(entries.WSAAsyncGetServByName, "WSAAsyncGetServByName", true);
    visit(entries.WSAAsyncGetServByPort, "WSAAsyncGetServByPort", true);
    visit(entries.WSAAsyncGetProtoByName, "WSAAsyncGetProtoByName", true);
    visit(entries.WSAAsyncGetProtoByNumber, "WSAAsyncGetProtoByNumber", true);
    visit(entries.WSAAsyncGetHostByName, "WSAAsyncGetHostByName", true);
    visit(entries.WSAAsyncGetHostByAddr, "WSAAsyncGetHostByAddr", true);
    visit(entries.WSACancelAsyncRequest, "WSACancelAsyncRequest", true);
    visit(entries.WSAAsyncSelect, "WSAAsyncSelect", true);
}

bool Winsock::LoadLocked() {
    // The library only ever asks for Winsock 1.1, so it loads the 1.1 layer. A missing file
    // simply fails here: dlopen shows nothing to the user.
    const std::string path = LocateModule(winsock::kModuleName, kModuleVariable);
    module = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!module) {
        return false;
    }
    ForEachEntry([this](auto& entry, const char* name, bool) {
        using Function = decltype(entry.Get());
        const std::string symbol = std::string(kExportPrefix) + name;
        entry.Set(reinterpret_cast<Function>(::dlsym(module, symbol.c_str())));
    });
    loaded = true;
    return true;
}

int Winsock::Start() {
    std::lock_guard lock(mutex);
    if (!loaded && !LoadLocked()) {
        return winsock::WSASYSNOTREADY;
    }
    ++starts;
    winsock::WsaData data{};
    const int result = Call(entries.WSAStartup, kVersion, &data);
    if (result != 0) {
        --starts;
        return result < 0 ? winsock::WSASYSNOTREADY : result;
    }
    // Winsock 1.1 keeps the hook per thread; threads without it run the layer's default hook,
    // which dispatches messages the same way.
    if (starts == 1 && entries.WSASetBlockingHook.Get()) {
        Call(entries.WSASetBlockingHook, &FrameBlockingHook);
    }
    return 0;
}

void Winsock::Release() {
    std::lock_guard lock(mutex);
    if (starts == 0) {
        return;
    }
    --starts;
    if (starts == 0 && entries.WSAUnhookBlockingHook.Get()) {
        Call(entries.WSAUnhookBlockingHook);
    }
    Call(entries.WSACleanup);
}

int Winsock::StartCount() const {
    std::lock_guard lock(mutex);
    return starts;
}

bool Winsock::HasEntry(std::string_view name) {
    bool present = false;
    ForEachEntry([&](auto& entry, const char* entryName, bool) {
        if (name == entryName) {
            present = entry.Get() != nullptr;
        }
    });
    return present;
}

void Winsock::BindTraceHooksLocked() {
    ForEachEntry([this](auto& entry, const char* name, bool traced) {
        if (traced) {
            using Hook = decltype(entry.GetHook());
            entry.SetHook(reinterpret_cast<Hook>(trace.Find(kTraceHookPrefix + std::string(name))));
        }
    });
}

int Winsock::EnableTrace(const char* fileName, std::uint32_t flags) {
    std::lock_guard lock(mutex);
    if (!loaded) {
        return 0;
    }
    if (!trace.IsLoaded()) {
        if (!trace.Load()) {
            return 0;
        }
        BindTraceHooksLocked();
        if (trace.setup) {
            trace.setup(entries.WSAGetLastError.Get(), entries.WSASetLastError.Get());
        }
    }
    ++traceEnablings;
    tracing = true;
    return trace.enable ? trace.enable(flags, fileName) : 0;
}

int Winsock::DisableTrace() {
    std::lock_guard lock(mutex);
    if (traceEnablings == 0) {
        return 0;
    }
    if (--traceEnablings == 0) {
        tracing = false;
    }
    return trace.disable ? trace.disable() : 0;
}

void Winsock::StopTracing() {
    std::lock_guard lock(mutex);
    while (traceEnablings > 0) {
        --traceEnablings;
        if (trace.disable) {
            trace.disable();
        }
    }
    tracing = false;
}

void Winsock::ReportMissingEntry() {
    if (const auto setLastError = entries.WSASetLastError.Get()) {
        setLastError(winsock::WSANOTINITIALISED);
    }
}

winsock::Socket Winsock::Accept(winsock::Socket s, winsock::SockAddr* address, int* length) {
    return Call(entries.accept, s, address, length);
}
int Winsock::Bind(winsock::Socket s, const winsock::SockAddr* address, int length) {
    return Call(entries.bind, s, address, length);
}
int Winsock::CloseSocket(winsock::Socket s) {
    return Call(entries.closesocket, s);
}
int Winsock::Connect(winsock::Socket s, const winsock::SockAddr* address, int length) {
    return Call(entries.connect, s, address, length);
}
int Winsock::IoctlSocket(winsock::Socket s, long command, std::uint32_t* argument) {
    return Call(entries.ioctlsocket, s, command, argument);
}
int Winsock::GetPeerName(winsock::Socket s, winsock::SockAddr* address, int* length) {
    return Call(entries.getpeername, s, address, length);
}
int Winsock::GetSockName(winsock::Socket s, winsock::SockAddr* address, int* length) {
    return Call(entries.getsockname, s, address, length);
}
int Winsock::GetSockOpt(winsock::Socket s, int level, int name, char* value, int* length) {
    return Call(entries.getsockopt, s, level, name, value, length);
}
std::uint32_t Winsock::Htonl(std::uint32_t value) {
    return Call(entries.htonl, value);
}
std::uint16_t Winsock::Htons(std::uint16_t value) {
    return Call(entries.htons, value);
}
std::uint32_t Winsock::InetAddr(const char* text) {
    return Call(entries.inet_addr, text);
}
char* Winsock::InetNtoa(winsock::InAddr address) {
    return Call(entries.inet_ntoa, address);
}
int Winsock::Listen(winsock::Socket s, int backlog) {
    return Call(entries.listen, s, backlog);
}
std::uint32_t Winsock::Ntohl(std::uint32_t value) {
    return Call(entries.ntohl, value);
}
std::uint16_t Winsock::Ntohs(std::uint16_t value) {
    return Call(entries.ntohs, value);
}
int Winsock::Recv(winsock::Socket s, char* buffer, int length, int flags) {
    return Call(entries.recv, s, buffer, length, flags);
}
int Winsock::RecvFrom(winsock::Socket s, char* buffer, int length, int flags,
                      winsock::SockAddr* from, int* fromLength) {
    return Call(entries.recvfrom, s, buffer, length, flags, from, fromLength);
}
int Winsock::Select(winsock::FdSet* readable, winsock::FdSet* writable, winsock::FdSet* exceptional,
                    const winsock::TimeVal* timeout) {
    return Call(entries.select, 0, readable, writable, exceptional, timeout);
}
int Winsock::Send(winsock::Socket s, const char* buffer, int length, int flags) {
    return Call(entries.send, s, buffer, length, flags);
}
int Winsock::SendTo(winsock::Socket s, const char* buffer, int length, int flags,
                    const winsock::SockAddr* to, int toLength) {
    return Call(entries.sendto, s, buffer, length, flags, to, toLength);
}
int Winsock::SetSockOpt(winsock::Socket s, int level, int name, const char* value, int length) {
    return Call(entries.setsockopt, s, level, name, value, length);
}
int Winsock::Shutdown(winsock::Socket s, int how) {
    return Call(entries.shutdown, s, how);
}
winsock::Socket Winsock::CreateSocket(int family, int type, int protocol) {
    return Call(entries.socket, family, type, protocol);
}
winsock::HostEnt* Winsock::GetHostByAddr(const char* address, int length, int type) {
    return Call(entries.gethostbyaddr, address, length, type);
}
winsock::HostEnt* Winsock::GetHostByName(const char* name) {
    return Call(entries.gethostbyname, name);
}
int Winsock::GetHostName(char* name, int length) {
    return Call(entries.gethostname, name, length);
}
int Winsock::GetLastError() {
    return entries.WSAGetLastError.Get() ? Call(entries.WSAGetLastError)
                                         : winsock::WSANOTINITIALISED;
}
void Winsock::SetLastError(int error) {
    Call(entries.WSASetLastError, error);
}
bool Winsock::IsBlocking() {
    return entries.WSAIsBlocking.Get() && Call(entries.WSAIsBlocking) != 0;
}
int Winsock::CancelBlockingCall() {
    return Call(entries.WSACancelBlockingCall);
}
int Winsock::AsyncSelect(winsock::Socket s, platform::WindowHandle window, std::uint32_t message,
                         long events) {
    return Call(entries.WSAAsyncSelect, s, window, message, events);
}

}  // namespace netframe
