#pragma once

// The Winsock 1.1 compatible socket interface of libmoxelwsock32.so, a layer over POSIX
// sockets. The wire libraries do not link it: they load the module by name at run time and
// resolve each entry point by its exported name, "wsock_" followed by the Winsock name (the
// prefix keeps the layer's exports from shadowing the C library's functions of the same name).
// Behaviour follows Winsock 1.1: Winsock error numbers from wsock_WSAGetLastError (one per
// thread), Winsock option and ioctl numbers, a blocking hook that runs while a blocking call
// waits, and window notifications with Winsock's re-enabling rules (wsock_WSAAsyncSelect).
// Any thread may call any function; a socket value is never given out twice in a process.

#include <cstdint>

#include "platform/windows/WindowTypes.h"

#define WSOCK_API extern "C" __attribute__((visibility("default")))

namespace winsock {

using Socket = std::int32_t;
inline constexpr Socket kInvalidSocket = -1;
inline constexpr int kSocketError = -1;

// Winsock's set of sockets for select: a count and up to 64 sockets (not a bit mask, so any
// socket value fits).
inline constexpr int kFdSetSize = 64;
struct FdSet {
    std::uint32_t count;
    Socket sockets[kFdSetSize];
};

struct TimeVal {
    std::int32_t seconds;
    std::int32_t microseconds;
};

struct InAddr {
    std::uint32_t address;  // network byte order
};

// Same layout as the system's sockaddr_in / sockaddr.
struct SockAddrIn {
    std::uint16_t family;
    std::uint16_t port;  // network byte order
    InAddr address;
    char zero[8];
};
struct SockAddr {
    std::uint16_t family;
    char data[14];
};

// Database records; each lives in a per-thread buffer until the thread's next call of the same
// kind, as in Winsock.
struct HostEnt {
    char* name;
    char** aliases;
    std::int16_t addressType;
    std::int16_t length;
    char** addressList;
};
struct ServEnt {
    char* name;
    char** aliases;
    std::int16_t port;  // network byte order
    char* protocol;
};
struct ProtoEnt {
    char* name;
    char** aliases;
    std::int16_t protocol;
};

struct WsaData {
    std::uint16_t version;
    std::uint16_t highVersion;
    char description[257];
    char systemStatus[129];
    std::uint16_t maxSockets;
    std::uint16_t maxUdpDatagram;
    char* vendorInfo;
};

struct Linger {
    std::uint16_t onOff;
    std::uint16_t seconds;
};

// Called repeatedly while a blocking call waits; returns non-zero when it handled a message.
using BlockingHook = int (*)();

// Address families, socket types and protocols.
inline constexpr int WS_AF_INET = 2;
inline constexpr int WS_SOCK_STREAM = 1;
inline constexpr int WS_SOCK_DGRAM = 2;
inline constexpr int WS_SOCK_RAW = 3;
inline constexpr int WS_IPPROTO_TCP = 6;
inline constexpr int WS_IPPROTO_UDP = 17;
inline constexpr int WS_IPPROTO_RAW = 255;
inline constexpr std::uint32_t WS_INADDR_ANY = 0;
inline constexpr std::uint32_t WS_INADDR_NONE = 0xFFFFFFFF;

// Option levels and names (Winsock numbers).
inline constexpr int WS_SOL_SOCKET = 0xFFFF;
inline constexpr int WS_SO_ACCEPTCONN = 0x0002;
inline constexpr int WS_SO_REUSEADDR = 0x0004;
inline constexpr int WS_SO_KEEPALIVE = 0x0008;
inline constexpr int WS_SO_DONTROUTE = 0x0010;
inline constexpr int WS_SO_BROADCAST = 0x0020;
inline constexpr int WS_SO_LINGER = 0x0080;
inline constexpr int WS_SO_SNDBUF = 0x1001;
inline constexpr int WS_SO_RCVBUF = 0x1002;
inline constexpr int WS_SO_ERROR = 0x1007;
inline constexpr int WS_SO_TYPE = 0x1008;
inline constexpr int WS_TCP_NODELAY = 0x0001;

// ioctlsocket commands.
inline constexpr long WS_FIONBIO = static_cast<long>(0x8004667EUL);
inline constexpr long WS_FIONREAD = 0x4004667F;

// recv/send flags and shutdown directions.
inline constexpr int WS_MSG_OOB = 0x1;
inline constexpr int WS_MSG_PEEK = 0x2;
inline constexpr int WS_MSG_DONTROUTE = 0x4;
inline constexpr int WS_SD_RECEIVE = 0;
inline constexpr int WS_SD_SEND = 1;
inline constexpr int WS_SD_BOTH = 2;

// Network events of wsock_WSAAsyncSelect. The notification message carries the socket as its
// first parameter and, in the second, the event in the low 16 bits and a Winsock error number
// in the high 16 bits.
inline constexpr std::uint32_t WS_FD_READ = 0x01;
inline constexpr std::uint32_t WS_FD_WRITE = 0x02;
inline constexpr std::uint32_t WS_FD_OOB = 0x04;
inline constexpr std::uint32_t WS_FD_ACCEPT = 0x08;
inline constexpr std::uint32_t WS_FD_CONNECT = 0x10;
inline constexpr std::uint32_t WS_FD_CLOSE = 0x20;

constexpr std::intptr_t MakeSelectReply(std::uint32_t event, int error) {
    return static_cast<std::intptr_t>((static_cast<std::uint32_t>(error) << 16) | (event & 0xFFFF));
}

// Winsock error numbers.
inline constexpr int WSAEINTR = 10004;
inline constexpr int WSAEBADF = 10009;
inline constexpr int WSAEACCES = 10013;
inline constexpr int WSAEFAULT = 10014;
inline constexpr int WSAEINVAL = 10022;
inline constexpr int WSAEMFILE = 10024;
inline constexpr int WSAEWOULDBLOCK = 10035;
inline constexpr int WSAEINPROGRESS = 10036;
inline constexpr int WSAEALREADY = 10037;
inline constexpr int WSAENOTSOCK = 10038;
inline constexpr int WSAEDESTADDRREQ = 10039;
inline constexpr int WSAEMSGSIZE = 10040;
inline constexpr int WSAEPROTOTYPE = 10041;
inline constexpr int WSAENOPROTOOPT = 10042;
inline constexpr int WSAEPROTONOSUPPORT = 10043;
inline constexpr int WSAESOCKTNOSUPPORT = 10044;
inline constexpr int WSAEOPNOTSUPP = 10045;
inline constexpr int WSAEPFNOSUPPORT = 10046;
inline constexpr int WSAEAFNOSUPPORT = 10047;
inline constexpr int WSAEADDRINUSE = 10048;
inline constexpr int WSAEADDRNOTAVAIL = 10049;
inline constexpr int WSAENETDOWN = 10050;
inline constexpr int WSAENETUNREACH = 10051;
inline constexpr int WSAENETRESET = 10052;
inline constexpr int WSAECONNABORTED = 10053;
inline constexpr int WSAECONNRESET = 10054;
inline constexpr int WSAENOBUFS = 10055;
inline constexpr int WSAEISCONN = 10056;
inline constexpr int WSAENOTCONN = 10057;
inline constexpr int WSAESHUTDOWN = 10058;
inline constexpr int WSAETOOMANYREFS = 10059;
inline constexpr int WSAETIMEDOUT = 10060;
inline constexpr int WSAECONNREFUSED = 10061;
inline constexpr int WSAELOOP = 10062;
inline constexpr int WSAENAMETOOLONG = 10063;
inline constexpr int WSAEHOSTDOWN = 10064;
inline constexpr int WSAEHOSTUNREACH = 10065;
inline constexpr int WSASYSNOTREADY = 10091;
inline constexpr int WSAVERNOTSUPPORTED = 10092;
inline constexpr int WSANOTINITIALISED = 10093;
inline constexpr int WSAHOST_NOT_FOUND = 11001;
inline constexpr int WSATRY_AGAIN = 11002;
inline constexpr int WSANO_RECOVERY = 11003;
inline constexpr int WSANO_DATA = 11004;

// The file name of the layer, looked up beside the library that loads it.
inline constexpr char kModuleName[] = "libmoxelwsock32.so";

}  // namespace winsock

// Socket functions. Each returns kSocketError / kInvalidSocket / null on failure and leaves
// the reason in wsock_WSAGetLastError; each fails with WSANOTINITIALISED before wsock_WSAStartup
// and with WSAEINPROGRESS while the calling thread is inside a blocking call (in its hook).
// A socket is blocking until wsock_ioctlsocket(FIONBIO) or wsock_WSAAsyncSelect makes it
// non-blocking; blocking calls run the thread's blocking hook whenever a message waits.
WSOCK_API winsock::Socket wsock_accept(winsock::Socket s, winsock::SockAddr* address,
                                       int* addressLength);
WSOCK_API int wsock_bind(winsock::Socket s, const winsock::SockAddr* address, int length);
WSOCK_API int wsock_closesocket(winsock::Socket s);
WSOCK_API int wsock_connect(winsock::Socket s, const winsock::SockAddr* address, int length);
WSOCK_API int wsock_ioctlsocket(winsock::Socket s, long command, std::uint32_t* argument);
WSOCK_API int wsock_getpeername(winsock::Socket s, winsock::SockAddr* address, int* length);
WSOCK_API int wsock_getsockname(winsock::Socket s, winsock::SockAddr* address, int* length);
WSOCK_API int wsock_getsockopt(winsock::Socket s, int level, int name, char* value, int* length);
WSOCK_API std::uint32_t wsock_htonl(std::uint32_t value);
WSOCK_API std::uint16_t wsock_htons(std::uint16_t value);
WSOCK_API std::uint32_t wsock_inet_addr(const char* text);
WSOCK_API char* wsock_inet_ntoa(winsock::InAddr address);
WSOCK_API int wsock_listen(winsock::Socket s, int backlog);
WSOCK_API std::uint32_t wsock_ntohl(std::uint32_t value);
WSOCK_API std::uint16_t wsock_ntohs(std::uint16_t value);
WSOCK_API int wsock_recv(winsock::Socket s, char* buffer, int length, int flags);
WSOCK_API int wsock_recvfrom(winsock::Socket s, char* buffer, int length, int flags,
                             winsock::SockAddr* from, int* fromLength);
WSOCK_API int wsock_select(int ignored, winsock::FdSet* readable, winsock::FdSet* writable,
                           winsock::FdSet* exceptional, const winsock::TimeVal* timeout);
WSOCK_API int wsock_send(winsock::Socket s, const char* buffer, int length, int flags);
WSOCK_API int wsock_sendto(winsock::Socket s, const char* buffer, int length, int flags,
                           const winsock::SockAddr* to, int toLength);
WSOCK_API int wsock_setsockopt(winsock::Socket s, int level, int name, const char* value,
                               int length);
WSOCK_API int wsock_shutdown(winsock::Socket s, int how);
WSOCK_API winsock::Socket wsock_socket(int family, int type, int protocol);

// Database functions.
WSOCK_API winsock::HostEnt* wsock_gethostbyaddr(const char* address, int length, int type);
WSOCK_API winsock::HostEnt* wsock_gethostbyname(const char* name);
WSOCK_API int wsock_gethostname(char* name, int length);
WSOCK_API winsock::ServEnt* wsock_getservbyport(int port, const char* protocol);
WSOCK_API winsock::ServEnt* wsock_getservbyname(const char* name, const char* protocol);
WSOCK_API winsock::ProtoEnt* wsock_getprotobynumber(int number);
WSOCK_API winsock::ProtoEnt* wsock_getprotobyname(const char* name);

// Start-up, errors, blocking hook and window notification.
// wsock_WSAStartup counts; the last wsock_WSACleanup closes every socket still open.
WSOCK_API int wsock_WSAStartup(std::uint16_t version, winsock::WsaData* data);
WSOCK_API int wsock_WSACleanup();
WSOCK_API void wsock_WSASetLastError(int error);
WSOCK_API int wsock_WSAGetLastError();
// Non-zero while the calling thread is inside a blocking call.
WSOCK_API int wsock_WSAIsBlocking();
// Restores the calling thread's default hook, which dispatches one waiting message.
WSOCK_API int wsock_WSAUnhookBlockingHook();
// Installs the calling thread's hook and returns the previous one (the default hook's address
// when none was installed); null with WSAEINPROGRESS inside a blocking call.
WSOCK_API winsock::BlockingHook wsock_WSASetBlockingHook(winsock::BlockingHook hook);
// Ends the calling thread's blocking call with WSAEINTR (called from within its hook).
WSOCK_API int wsock_WSACancelBlockingCall();
// Posts `message` to `window` for the network events in `events`, with Winsock's re-enabling
// rules: FD_READ again after recv, FD_WRITE after a send that would block, FD_ACCEPT after
// accept, FD_CONNECT and FD_CLOSE once. Makes the socket non-blocking; events 0 cancels.
// Sockets made by accept start without notifications and blocking.
WSOCK_API int wsock_WSAAsyncSelect(winsock::Socket s, MOXEL_HWND window, std::uint32_t message,
                                   long events);
