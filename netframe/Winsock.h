#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string_view>
#include <type_traits>

#include "netframe/TraceLibrary.h"
#include "netframe/WinsockEntries.h"
#include "platform/windows/Message.h"

namespace netframe {

// Winsock as a wire library sees it: the layer module, loaded by name at the library's first
// start and never unloaded, its entry points resolved by name, the library's count of starts
// and the optional tracing. Each wrapper calls the resolved entry; an entry the module lacks
// fails as Winsock would (-1, or null, and WSAGetLastError reads 10093). While tracing is on,
// a wrapper hands its result and arguments to the entry's trace hook and returns what the hook
// returns. One instance per library (each library links its own copy of the frame); any
// thread.
class Winsock {
public:
    // The layer's file is looked up beside the library; this variable names another file.
    static constexpr char kModuleVariable[] = "MOXEL_WINSOCK_MODULE";
    static constexpr std::uint16_t kVersion = 0x0101;  // the library asks for Winsock 1.1

    static Winsock& Instance();

    // Loads the module (first time), counts one start and calls WSAStartup; the first start
    // installs the frame's blocking hook, which dispatches one waiting message of the thread.
    // Returns 0, WSASYSNOTREADY (10091) when the module cannot be loaded, or WSAStartup's code.
    int Start();
    // Undoes one Start: WSACleanup each time; the last one also removes the blocking hook.
    void Release();

    bool IsLoaded() const { return loaded.load(); }
    int StartCount() const;
    // True when the loaded module provides `name` (a Winsock entry name such as "accept").
    bool HasEntry(std::string_view name);

    // Tracing: does nothing (0) before the module is loaded or when the trace library is
    // missing; otherwise counts one enabling and returns WSAEnableTrace's result.
    int EnableTrace(const char* fileName, std::uint32_t flags);
    // Counts one enabling less and returns WSADisableTrace's result; 0 when tracing is off.
    int DisableTrace();
    // Switches tracing off completely (the library's last uninitialisation).
    void StopTracing();
    bool IsTracing() const { return tracing.load(); }

    winsock::Socket Accept(winsock::Socket s, winsock::SockAddr* address, int* length);
    int Bind(winsock::Socket s, const winsock::SockAddr* address, int length);
    int CloseSocket(winsock::Socket s);
    int Connect(winsock::Socket s, const winsock::SockAddr* address, int length);
    int IoctlSocket(winsock::Socket s, long command, std::uint32_t* argument);
    int GetPeerName(winsock::Socket s, winsock::SockAddr* address, int* length);
    int GetSockName(winsock::Socket s, winsock::SockAddr* address, int* length);
    int GetSockOpt(winsock::Socket s, int level, int name, char* value, int* length);
    std::uint32_t Htonl(std::uint32_t value);
    std::uint16_t Htons(std::uint16_t value);
    std::uint32_t InetAddr(const char* text);
    char* InetNtoa(winsock::InAddr address);
    int Listen(winsock::Socket s, int backlog);
    std::uint32_t Ntohl(std::uint32_t value);
    std::uint16_t Ntohs(std::uint16_t value);
    int Recv(winsock::Socket s, char* buffer, int length, int flags);
    int RecvFrom(winsock::Socket s, char* buffer, int length, int flags, winsock::SockAddr* from,
                 int* fromLength);
    int Select(winsock::FdSet* readable, winsock::FdSet* writable, winsock::FdSet* exceptional,
               const winsock::TimeVal* timeout);
    int Send(winsock::Socket s, const char* buffer, int length, int flags);
    int SendTo(winsock::Socket s, const char* buffer, int length, int flags,
               const winsock::SockAddr* to, int toLength);
    int SetSockOpt(winsock::Socket s, int level, int name, const char* value, int length);
    int Shutdown(winsock::Socket s, int how);
    winsock::Socket CreateSocket(int family, int type, int protocol);
    winsock::HostEnt* GetHostByAddr(const char* address, int length, int type);
    winsock::HostEnt* GetHostByName(const char* name);
    int GetHostName(char* name, int length);
    int GetLastError();
    void SetLastError(int error);
    bool IsBlocking();
    // Ends the calling thread's blocking call (called from within its blocking hook); the call
    // fails with WSAEINTR. -1 when none is in progress.
    int CancelBlockingCall();
    int AsyncSelect(winsock::Socket s, platform::WindowHandle window, std::uint32_t message,
                    long events);

private:
    struct Entries {
        WinsockEntry<decltype(&wsock_accept)> accept;
        WinsockEntry<decltype(&wsock_bind)> bind;
        WinsockEntry<decltype(&wsock_closesocket)> closesocket;
        WinsockEntry<decltype(&wsock_connect)> connect;
        WinsockEntry<decltype(&wsock_ioctlsocket)> ioctlsocket;
        WinsockEntry<decltype(&wsock_getpeername)> getpeername;
        WinsockEntry<decltype(&wsock_getsockname)> getsockname;
        WinsockEntry<decltype(&wsock_getsockopt)> getsockopt;
        WinsockEntry<decltype(&wsock_htonl)> htonl;
        WinsockEntry<decltype(&wsock_htons)> htons;
        WinsockEntry<decltype(&wsock_inet_addr)> inet_addr;
        WinsockEntry<decltype(&wsock_inet_ntoa)> inet_ntoa;
        WinsockEntry<decltype(&wsock_listen)> listen;
        WinsockEntry<decltype(&wsock_ntohl)> ntohl;
        WinsockEntry<decltype(&wsock_ntohs)> ntohs;
        WinsockEntry<decltype(&wsock_recv)> recv;
        WinsockEntry<decltype(&wsock_recvfrom)> recvfrom;
        WinsockEntry<decltype(&wsock_select)> select;
        WinsockEntry<decltype(&wsock_send)> send;
        WinsockEntry<decltype(&wsock_sendto)> sendto;
        WinsockEntry<decltype(&wsock_setsockopt)> setsockopt;
        WinsockEntry<decltype(&wsock_shutdown)> shutdown;
        WinsockEntry<decltype(&wsock_socket)> socket;
        WinsockEntry<decltype(&wsock_gethostbyaddr)> gethostbyaddr;
        WinsockEntry<decltype(&wsock_gethostbyname)> gethostbyname;
        WinsockEntry<decltype(&wsock_gethostname)> gethostname;
        WinsockEntry<decltype(&wsock_getservbyport)> getservbyport;
        WinsockEntry<decltype(&wsock_getservbyname)> getservbyname;
        WinsockEntry<decltype(&wsock_getprotobynumber)> getprotobynumber;
        WinsockEntry<decltype(&wsock_getprotobyname)> getprotobyname;
        WinsockEntry<decltype(&wsock_WSAStartup)> WSAStartup;
        WinsockEntry<decltype(&wsock_WSACleanup)> WSACleanup;
        WinsockEntry<decltype(&wsock_WSASetLastError)> WSASetLastError;
        WinsockEntry<decltype(&wsock_WSAGetLastError)> WSAGetLastError;
        WinsockEntry<decltype(&wsock_WSAIsBlocking)> WSAIsBlocking;
        WinsockEntry<decltype(&wsock_WSAUnhookBlockingHook)> WSAUnhookBlockingHook;
        WinsockEntry<decltype(&wsock_WSASetBlockingHook)> WSASetBlockingHook;
        WinsockEntry<decltype(&wsock_WSACancelBlockingCall)> WSACancelBlockingCall;
        WinsockEntry<WSAAsyncGetServByNameFunction> WSAAsyncGetServByName;
        WinsockEntry<WSAAsyncGetServByPortFunction> WSAAsyncGetServByPort;
        WinsockEntry<WSAAsyncGetProtoByNameFunction> WSAAsyncGetProtoByName;
        WinsockEntry<WSAAsyncGetProtoByNumberFunction> WSAAsyncGetProtoByNumber;
        WinsockEntry<WSAAsyncGetHostByNameFunction> WSAAsyncGetHostByName;
        WinsockEntry<WSAAsyncGetHostByAddrFunction> WSAAsyncGetHostByAddr;
        WinsockEntry<WSACancelAsyncRequestFunction> WSACancelAsyncRequest;
        WinsockEntry<decltype(&wsock_WSAAsyncSelect)> WSAAsyncSelect;
    };

    // Calls `visit(entry, name, traced)` for every entry, in Winsock's order.
    template <typename Visitor>
    void ForEachEntry(Visitor&& visit);

    template <typename Function, typename... Passed>
    auto Call(const WinsockEntry<Function>& entry, Passed... arguments);

    bool LoadLocked();
    void BindTraceHooksLocked();
    void ReportMissingEntry();

    mutable std::mutex mutex;
    std::atomic<bool> loaded{false};
    void* module = nullptr;  // guarded by mutex
    int starts = 0;          // guarded by mutex
    Entries entries;
    TraceLibrary trace;      // guarded by mutex
    int traceEnablings = 0;  // guarded by mutex
    std::atomic<bool> tracing{false};
};

template <typename Function, typename... Passed>
auto Winsock::Call(const WinsockEntry<Function>& entry, Passed... arguments) {
    using Result = std::invoke_result_t<Function, Passed...>;
    const Function function = entry.Get();
    if (!function) {
        ReportMissingEntry();
        if constexpr (std::is_pointer_v<Result>) {
            return static_cast<Result>(nullptr);
        } else if constexpr (!std::is_void_v<Result>) {
            return static_cast<Result>(-1);
        } else {
            return;
        }
    }
    if constexpr (std::is_void_v<Result>) {
        function(arguments...);
        if (tracing.load(std::memory_order_relaxed)) {
            if (const auto hook = entry.GetHook()) {
                hook(arguments...);
            }
        }
    } else {
        const Result result = function(arguments...);
        if (tracing.load(std::memory_order_relaxed)) {
            if (const auto hook = entry.GetHook()) {
                return hook(result, arguments...);
            }
        }
        return result;
    }
}

}  // namespace netframe
