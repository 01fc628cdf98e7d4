/* sockwire: a flat, handle-based TCP/IP socket library (IPv4).
 *
 * Conventions of every function:
 * - A handle is the socket value the library returns; it belongs to the thread that created it
 *   (the one exception: any thread may accept on a listening socket). Another thread's handle
 *   or an unknown one fails with ERROR_INET_HANDLE.
 * - A failing call returns its failure value (INVALID_SOCKET, INET_ERROR or 0 as stated) and
 *   stores one error code (ERROR_INET_...) as the calling thread's last error, which
 *   InetGetLastError returns and InetGetErrorStringA turns into text.
 * - The A forms take UTF-8 text, the W forms UTF-16 (char16_t); capacities count characters
 *   (bytes for A, UTF-16 units for W) including the terminator.
 * - Addresses are IPv4 addresses in a 32-bit value in network byte order (the first octet of the
 *   dotted form in the lowest byte); ports are passed and returned in host byte order.
 * - The library never keeps caller memory and never hands out memory for the caller to free.
 * - Operations that can block wait for readiness with the socket's timeout in whole seconds
 *   (0: without limit) and keep the waiting thread's window messages flowing. Each operation
 *   has one deadline, its time-out from the moment it is called, however its waits are split
 *   (see each function); time-outs of 2^31 seconds and more are cut to 2^31 - 1. A socket with
 *   a notification window (InetAsyncNotify) never waits: a call that would have to fails with
 *   ERROR_INET_BLOCKED, and the caller waits for the next notification.
 * - Event messages to a window of another thread wait at most the socket's timeout (60 seconds
 *   when it is 0) for that thread to take them; one not taken by then is withdrawn.
 * - No argument (a handle, capacity or time-out of any value) and no shortage of threads or
 *   descriptors ends the process from inside the library: the function fails with its
 *   documented failure value instead.
 * Version 3.60, build 3650. */
#ifndef SOCKWIRE_H
#define SOCKWIRE_H

#include <stdint.h>
#ifndef __cplusplus
#include <uchar.h>
#endif

#ifdef __cplusplus
extern "C" {
#endif

#define SOCKWIRE_API __attribute__((visibility("default")))

/* Types shared with the other wire library headers (identical definitions). */
#ifndef MOXEL_WIRE_COMMON_TYPES
#define MOXEL_WIRE_COMMON_TYPES
/* A socket handle: the library's socket value, -1 for none. */
typedef int32_t SOCKET;
/* A message window of the platform (platform/windows); an opaque handle. */
typedef struct moxel_window* INETWINDOW;

/* Output record of the initialisation. The caller sets dwSize to sizeof(INITDATA) (160);
 * the library fills in the rest. */
typedef struct tagINITDATA {
    uint32_t dwSize;
    uint32_t dwVersionMajor;
    uint32_t dwVersionMinor;
    uint32_t dwVersionBuild;
    uint32_t dwOptions;
    uint32_t dwReserved1; /* reserved: ignore */
    uint32_t dwReserved2; /* reserved: ignore */
    char szDescription[132];
} INITDATA, *LPINITDATA;

/* The same for the W form: dwSize = sizeof(INITDATAW) (288). */
typedef struct tagINITDATAW {
    uint32_t dwSize;
    uint32_t dwVersionMajor;
    uint32_t dwVersionMinor;
    uint32_t dwVersionBuild;
    uint32_t dwOptions;
    uint32_t dwReserved1;
    uint32_t dwReserved2;
    char16_t szDescription[130];
} INITDATAW, *LPINITDATAW;

/* Version record of DllGetVersion; the caller sets cbSize to 20. */
typedef struct tagDLLVERSIONINFO {
    uint32_t cbSize;
    uint32_t dwMajorVersion;
    uint32_t dwMinorVersion;
    uint32_t dwBuildNumber;
    uint32_t dwPlatformID;
} DLLVERSIONINFO;

#define TRACE_INFO 0
#define TRACE_ERROR 1
#define TRACE_WARNING 2
#define TRACE_HEXDUMP 4
#endif /* MOXEL_WIRE_COMMON_TYPES */

/* An event callback (InetRegisterEvent): the socket, the event bit, the Winsock error number
 * that came with the event (0 when none) and the value registered with the callback. Runs on
 * the socket's owner thread. */
typedef void (*INETEVENTPROC)(SOCKET hSocket, uint32_t nEventId, uint32_t dwError,
                              uintptr_t dwParam);

/* Handles and results. */
#define INVALID_CLIENT (-1)
#define INVALID_HANDLE (-1)
#define INVALID_SOCKET (-1)
#define INET_ERROR (-1)

/* Protocols. */
#define INET_PROTOCOL_TCP 6
#define INET_PROTOCOL_UDP 17
#define INET_PROTOCOL_RAW 255

/* Socket options (InetSetOption, InetGetOption). */
#define INET_OPTION_NONE 0
#define INET_OPTION_BROADCAST 1
#define INET_OPTION_DONTROUTE 2
#define INET_OPTION_KEEPALIVE 4
#define INET_OPTION_REUSEADDR 8
#define INET_OPTION_NODELAY 16

/* Events (bit values). */
#define INET_EVENT_ACCEPT 1
#define INET_EVENT_CONNECT 2
#define INET_EVENT_DISCONNECT 4
#define INET_EVENT_READ 8
#define INET_EVENT_WRITE 16
#define INET_EVENT_TIMEOUT 32
#define INET_EVENT_CANCELED 64

/* Well-known ports. */
#define INET_PORT_ANY 0
#define INET_PORT_ECHO 7
#define INET_PORT_DISCARD 9
#define INET_PORT_SYSTAT 11
#define INET_PORT_DAYTIME 13
#define INET_PORT_NETSTAT 15
#define INET_PORT_CHARGEN 19
#define INET_PORT_FTP 21
#define INET_PORT_TELNET 23
#define INET_PORT_SMTP 25
#define INET_PORT_TIMESERVER 37
#define INET_PORT_NAMESERVER 42
#define INET_PORT_WHOIS 43
#define INET_PORT_DOMAIN 53
#define INET_PORT_MTP 57
#define INET_PORT_TFTP 69
#define INET_PORT_GOPHER 70
#define INET_PORT_FINGER 79
#define INET_PORT_HTTP 80
#define INET_PORT_POPPASS 106
#define INET_PORT_POP3 110
#define INET_PORT_NNTP 119
#define INET_PORT_SNMP 161
#define INET_PORT_HTTPS 443
#define INET_PORT_SMTPS 465
#define INET_PORT_EXEC 512
#define INET_PORT_LOGIN 513
#define INET_PORT_SHELL 514
#define INET_PORT_NNTPS 563
#define INET_PORT_LDAPS 636
#define INET_PORT_FTPS 990
#define INET_PORT_TELNETS 992
#define INET_PORT_IMAPS 993
#define INET_PORT_POP3S 995
#define INET_PORT_RESERVED 1024
#define INET_PORT_USERRESERVED 5000

/* Error codes (InetGetLastError) and their texts (InetGetErrorStringA). */
#define ERROR_INET_NONE 0
#define ERROR_INET_NETWORK 28001     /* Network subsystem failed to initialize */
#define ERROR_INET_NOHANDLES 28003   /* No handles available to this process */
#define ERROR_INET_NOTOWNER 28004    /* Window is not owned by the thread that created the handle */
#define ERROR_INET_HANDLE 28005      /* Invalid handle passed to function */
#define ERROR_INET_MEMORY 28006      /* Memory allocation failed */
#define ERROR_INET_PARAMETER 28007   /* Invalid parameter passed to function */
#define ERROR_INET_PROTOCOL 28008    /* Invalid protocol specified */
#define ERROR_INET_EVENTID 28009     /* Invalid event identifier specified */
#define ERROR_INET_LOCALHOST 28010   /* Unable to determine local host name */
#define ERROR_INET_HOSTNAME 28011    /* Invalid host name specified */
#define ERROR_INET_HOSTADDRESS 28012 /* Invalid host address specified */
#define ERROR_INET_OPTION 28013      /* Invalid socket option specified */
#define ERROR_INET_SOCKET 28014      /* Invalid socket descriptor passed to function */
#define ERROR_INET_BIND 28015        /* Unable to bind socket to specified address */
#define ERROR_INET_CONNECT 28016     /* Unable to establish connection with server */
#define ERROR_INET_ACCEPT 28017      /* Unable to accept connection from remote host */
#define ERROR_INET_LISTEN 28018      /* Unable to listen for connections */
#define ERROR_INET_READ 28019        /* Failed to read data from server */
#define ERROR_INET_WRITE 28020       /* Failed to write data to server */
#define ERROR_INET_TIMEOUT 28021     /* Operation timed out waiting for response from server */
#define ERROR_INET_BLOCKED 28022     /* Blocking operation in progress */
#define ERROR_INET_CANCELED 28023    /* Operation canceled by client */

/* Export ordinals, for reference: on this platform every function is bound by name. */
enum SockwireOrdinal {
    SOCKWIRE_ORDINAL_InetAccept = 1,
    SOCKWIRE_ORDINAL_InetAsyncAccept = 2,
    SOCKWIRE_ORDINAL_InetAsyncConnectA = 3,
    SOCKWIRE_ORDINAL_InetAsyncConnectW = 4,
    SOCKWIRE_ORDINAL_InetAsyncConnectExA = 5,
    SOCKWIRE_ORDINAL_InetAsyncConnectExW = 6,
    SOCKWIRE_ORDINAL_InetAsyncListen = 7,
    SOCKWIRE_ORDINAL_InetAsyncNotify = 8,
    SOCKWIRE_ORDINAL_InetConnectA = 9,
    SOCKWIRE_ORDINAL_InetConnectW = 10,
    SOCKWIRE_ORDINAL_InetConnectExA = 11,
    SOCKWIRE_ORDINAL_InetConnectExW = 12,
    SOCKWIRE_ORDINAL_InetDisconnect = 13,
    SOCKWIRE_ORDINAL_InetFlush = 14,
    SOCKWIRE_ORDINAL_InetFormatAddressA = 15,
    SOCKWIRE_ORDINAL_InetFormatAddressW = 16,
    SOCKWIRE_ORDINAL_InetGetErrorStringA = 17,
    SOCKWIRE_ORDINAL_InetGetErrorStringW = 18,
    SOCKWIRE_ORDINAL_InetGetHostAddressA = 19,
    SOCKWIRE_ORDINAL_InetGetHostAddressW = 20,
    SOCKWIRE_ORDINAL_InetGetHostNameA = 21,
    SOCKWIRE_ORDINAL_InetGetHostNameW = 22,
    SOCKWIRE_ORDINAL_InetGetLastError = 23,
    SOCKWIRE_ORDINAL_InetGetLocalAddress = 24,
    SOCKWIRE_ORDINAL_InetGetLocalNameA = 25,
    SOCKWIRE_ORDINAL_InetGetLocalNameW = 26,
    SOCKWIRE_ORDINAL_InetGetOption = 27,
    SOCKWIRE_ORDINAL_InetGetPeerAddress = 28,
    SOCKWIRE_ORDINAL_InetInitializeA = 29,
    SOCKWIRE_ORDINAL_InetInitializeW = 30,
    SOCKWIRE_ORDINAL_InetListen = 31,
    SOCKWIRE_ORDINAL_InetRead = 32,
    SOCKWIRE_ORDINAL_InetSetLastError = 33,
    SOCKWIRE_ORDINAL_InetSetOption = 34,
    SOCKWIRE_ORDINAL_InetUninitialize = 35,
    SOCKWIRE_ORDINAL_InetWrite = 36,
    SOCKWIRE_ORDINAL_InetIsConnected = 37,
    SOCKWIRE_ORDINAL_InetIsListening = 38,
    SOCKWIRE_ORDINAL_InetIsBlocking = 39,
    SOCKWIRE_ORDINAL_InetIsReadable = 40,
    SOCKWIRE_ORDINAL_InetIsWritable = 41,
    SOCKWIRE_ORDINAL_InetEnableEvents = 100,
    SOCKWIRE_ORDINAL_InetFreezeEvents = 101,
    SOCKWIRE_ORDINAL_InetDisableEvents = 102,
    SOCKWIRE_ORDINAL_InetRegisterEvent = 103,
    SOCKWIRE_ORDINAL_InetEnableTraceA = 301,
    SOCKWIRE_ORDINAL_InetEnableTraceW = 302,
    SOCKWIRE_ORDINAL_InetDisableTrace = 303,
    SOCKWIRE_ORDINAL_DllGetVersion = 501
};

/* ---- Initialisation, errors, version ---- */

/* Initialises the library for the process; calls nest and each success counts once. The
 * first start loads the Winsock layer (libmoxelwsock32.so beside this library; the environment
 * variable MOXEL_WINSOCK_MODULE names another file). `reserved` is ignored; `initData` may be
 * null, otherwise its dwSize must be 160 and it receives version 3.60.3650 and the description.
 * Winsock is started with the first successful initialisation and released with the last
 * InetUninitialize. Returns 1 and clears the last error; 0 on failure: ERROR_INET_PARAMETER
 * (bad dwSize), ERROR_INET_NETWORK (the Winsock layer cannot be loaded or started). */
SOCKWIRE_API int InetInitializeA(const char* reserved, LPINITDATA initData);
/* As InetInitializeA; dwSize must be 288. */
SOCKWIRE_API int InetInitializeW(const char16_t* reserved, LPINITDATAW initData);

/* Undoes one successful initialisation; the last one closes every socket of every thread,
 * switches tracing off and releases Winsock (also when called from a window message handled
 * during a blocking wait: that wait then ends with the handle gone). Does nothing when not
 * initialised. */
SOCKWIRE_API void InetUninitialize(void);

/* The calling thread's last error code (ERROR_INET_NONE after a call that cleared it). */
SOCKWIRE_API uint32_t InetGetLastError(void);
/* Stores `code` as the calling thread's last error. */
SOCKWIRE_API void InetSetLastError(uint32_t code);

/* Copies the text of an error code into `buffer` (at most capacity - 1 characters, always
 * terminated) and returns the characters copied. Returns 0 without touching the buffer when
 * the code is 9999 or less, the buffer is null or capacity <= 0; 0 and an empty text for a
 * code without text. */
SOCKWIRE_API int InetGetErrorStringA(uint32_t code, char* buffer, int capacity);
SOCKWIRE_API int InetGetErrorStringW(uint32_t code, char16_t* buffer, int capacity);

/* Fills a version record: 3, 60, 3650, platform 1. Returns 0; (int32_t)0x80000005 for a null
 * record; (int32_t)0x80000003 when cbSize is not 20. */
SOCKWIRE_API int32_t DllGetVersion(DLLVERSIONINFO* info);

/* ---- Window notification and events ---- */

/* Switches a socket between blocking mode (window null) and asynchronous mode: the window then
 * receives `message` (1024 or above) for each network event, first parameter the socket,
 * second the Winsock event (1 read, 2 write, 8 accept, 16 connect, 32 close) in the low 16 bits
 * and a Winsock error number in the high 16 bits; the library also turns the notifications into
 * events (InetRegisterEvent, InetEnableEvents). The window must belong to the socket's owner.
 * Returns 0; INET_ERROR with ERROR_INET_HANDLE, ERROR_INET_BLOCKED (inside an event of this
 * socket), ERROR_INET_PARAMETER (window gone, message below 1024, or the socket's event window
 * and message), ERROR_INET_NOTOWNER. */
SOCKWIRE_API int InetAsyncNotify(SOCKET hSocket, INETWINDOW hWnd, uint32_t uMsg);

/* Sends event messages to `hWnd` (message `uMsg`, 1024 or above; first parameter the socket,
 * second the event bit in the low 16 bits and the Winsock error in the high 16 bits). A socket
 * without notification window is first put into asynchronous mode with this window and the
 * internal message 0xA100. A null window stops event messages only. The window may belong to
 * another thread; each event message then waits at most the socket's timeout (60 seconds when
 * it is 0). Returns 0; INET_ERROR with ERROR_INET_HANDLE, ERROR_INET_PARAMETER (also: the same
 * window and message as the socket's notification, which would loop) or an error of
 * InetAsyncNotify. */
SOCKWIRE_API int InetEnableEvents(SOCKET hSocket, INETWINDOW hWnd, uint32_t uMsg);

/* Returns the socket to blocking mode and drops every callback and the event window.
 * Returns 0; INET_ERROR with ERROR_INET_HANDLE or ERROR_INET_BLOCKED. */
SOCKWIRE_API int InetDisableEvents(SOCKET hSocket);

/* Sets callback and parameter of every event whose bit is in `eventMask` (bits above 64 are
 * ignored; a null callback clears). Returns 0; INET_ERROR with ERROR_INET_HANDLE. */
SOCKWIRE_API int InetRegisterEvent(SOCKET hSocket, uint32_t eventMask, INETEVENTPROC callback,
                                   uintptr_t dwParam);

/* Holds back (freeze non-zero) or releases event delivery. Events arriving while frozen are
 * kept with their errors and, on release, delivered once each (with the last error each came
 * with) in the order accept, connect, close, read, write.
 * Does nothing and returns 0 for a socket without notification window, an unknown handle (the
 * last error then says ERROR_INET_HANDLE) or while one of its events is being delivered. */
SOCKWIRE_API int InetFreezeEvents(SOCKET hSocket, int freeze);

/* 1 while a blocking wait of this socket runs or a blocking Winsock call is in progress on the
 * calling thread; for an unknown handle, the latter alone. */
SOCKWIRE_API int InetIsBlocking(SOCKET hSocket);

/* ---- Tracing ---- */

/* Switches tracing on through the optional trace library (libwiretrace.so beside this library;
 * MOXEL_WIRETRACE_MODULE names another file) and returns its result; 0 when the library is not
 * initialised or no trace library is present. `flags`: TRACE_ values. */
SOCKWIRE_API int InetEnableTraceA(const char* fileName, uint32_t flags);
SOCKWIRE_API int InetEnableTraceW(const char16_t* fileName, uint32_t flags);
/* Undoes one InetEnableTrace and returns the trace library's result; 0 when tracing is off. */
SOCKWIRE_API int InetDisableTrace(void);

/* ---- Connections ---- */

/* Connects to `host` (a dotted address or a name) on `port` (1 to 65535) with `protocol`
 * (INET_PROTOCOL_TCP, _UDP or _RAW; 0 means TCP) and makes `timeout` (seconds, 0: no limit)
 * the socket's timeout; a TCP connect itself ends within `timeout` seconds, or 60 when it is 0.
 * UDP and raw sockets only remember the address for InetWrite. Returns the handle;
 * INVALID_SOCKET with ERROR_INET_HOSTNAME (empty or unknown host), ERROR_INET_PARAMETER (port
 * out of range), ERROR_INET_NETWORK (not initialised), ERROR_INET_NOHANDLES (256 sockets open),
 * ERROR_INET_PROTOCOL, ERROR_INET_SOCKET, ERROR_INET_BIND, ERROR_INET_CONNECT (refused,
 * unreachable), ERROR_INET_TIMEOUT or ERROR_INET_BLOCKED. No handle is left behind. */
SOCKWIRE_API SOCKET InetConnectA(const char* host, uint32_t port, uint32_t protocol,
                                 uint32_t timeout);
SOCKWIRE_API SOCKET InetConnectW(const char16_t* host, uint32_t port, uint32_t protocol,
                                 uint32_t timeout);

/* As InetConnectA, first binding to `localAddress` and `localPort` when either is not 0.
 * `options` is accepted and not used. */
SOCKWIRE_API SOCKET InetConnectExA(const char* host, uint32_t port, uint32_t protocol,
                                   uint32_t timeout, uint32_t options, uint32_t localAddress,
                                   uint32_t localPort);
SOCKWIRE_API SOCKET InetConnectExW(const char16_t* host, uint32_t port, uint32_t protocol,
                                   uint32_t timeout, uint32_t options, uint32_t localAddress,
                                   uint32_t localPort);

/* As InetConnectA in asynchronous mode with `hWnd` and `uMsg` (see InetAsyncNotify; the window
 * must exist and the message be 1024 or above, else ERROR_INET_PARAMETER). A TCP connect that
 * cannot finish at once returns the handle; the outcome arrives as the window's connect
 * notification and INET_EVENT_CONNECT, once, with error 0 on success and the Winsock error
 * (e.g. 10061, refused) otherwise, also when a call on the socket (InetIsWritable, InetRead,
 * InetWrite) learned the outcome before the thread's messages were pumped. A refused connect
 * leaves the socket unconnected and is not reported as a disconnect. */
SOCKWIRE_API SOCKET InetAsyncConnectA(const char* host, uint32_t port, uint32_t protocol,
                                      uint32_t timeout, INETWINDOW hWnd, uint32_t uMsg);
SOCKWIRE_API SOCKET InetAsyncConnectW(const char16_t* host, uint32_t port, uint32_t protocol,
                                      uint32_t timeout, INETWINDOW hWnd, uint32_t uMsg);
SOCKWIRE_API SOCKET InetAsyncConnectExA(const char* host, uint32_t port, uint32_t protocol,
                                        uint32_t timeout, uint32_t options, uint32_t localAddress,
                                        uint32_t localPort, INETWINDOW hWnd, uint32_t uMsg);
SOCKWIRE_API SOCKET InetAsyncConnectExW(const char16_t* host, uint32_t port, uint32_t protocol,
                                        uint32_t timeout, uint32_t options, uint32_t localAddress,
                                        uint32_t localPort, INETWINDOW hWnd, uint32_t uMsg);

/* Listens on `localAddress` (0: every address) and `localPort` (0: a free port, see
 * InetGetLocalAddress) with address reuse and a backlog of 20. Returns the handle;
 * INVALID_SOCKET with ERROR_INET_PARAMETER (port above 65535), ERROR_INET_BIND (address not of
 * this machine, port taken), ERROR_INET_LISTEN and the creation errors of InetConnectA. */
SOCKWIRE_API SOCKET InetListen(uint32_t localAddress, uint32_t localPort);
/* As InetListen in asynchronous mode: each incoming connection reaches `hWnd` as the accept
 * notification and INET_EVENT_ACCEPT. */
SOCKWIRE_API SOCKET InetAsyncListen(uint32_t localAddress, uint32_t localPort, INETWINDOW hWnd,
                                    uint32_t uMsg);

/* Accepts a connection on a listening socket; the new handle belongs to the calling thread and
 * takes `timeout` as its timeout. Without a notification window on the listener the call waits
 * up to `timeout` seconds (0: no limit); only the listener's owner thread may wait, another
 * thread fails at once with ERROR_INET_HANDLE. With a notification window it does not wait,
 * and any thread may accept. Returns the handle; INVALID_SOCKET with
 * ERROR_INET_HANDLE, ERROR_INET_BLOCKED (a wait on the listener runs), ERROR_INET_TIMEOUT
 * (INET_EVENT_TIMEOUT is delivered to the listener), ERROR_INET_ACCEPT (also: nothing pending
 * in asynchronous mode), ERROR_INET_NOHANDLES. */
SOCKWIRE_API SOCKET InetAccept(SOCKET hListener, uint32_t timeout);
/* As InetAccept, the new socket in asynchronous mode with `hWnd` (owned by the calling thread)
 * and `uMsg`. */
SOCKWIRE_API SOCKET InetAsyncAccept(SOCKET hListener, uint32_t timeout, INETWINDOW hWnd,
                                    uint32_t uMsg);

/* ---- Data transfer ---- */

/* Receives up to `capacity` bytes, waiting at most the socket's timeout for the first of them.
 * Returns the bytes received, 0 when the peer closed the
 * connection (or capacity is 0); INET_ERROR with ERROR_INET_HANDLE, ERROR_INET_PARAMETER (null
 * buffer, negative capacity), ERROR_INET_TIMEOUT (INET_EVENT_TIMEOUT is delivered; the socket
 * stays usable), ERROR_INET_BLOCKED (asynchronous mode: nothing waiting now), ERROR_INET_READ
 * (the connection failed, e.g. was reset). */
SOCKWIRE_API int InetRead(SOCKET hSocket, void* buffer, int capacity);

/* Sends `length` bytes. In blocking mode a TCP write sends until every byte is taken or the
 * socket's timeout has passed since the call began (0: without limit), whatever the peer reads
 * meanwhile; in asynchronous mode it takes what fits now. Returns the bytes taken, which may be
 * fewer than `length` (a deadline that passed after some bytes went out; write the rest again);
 * INET_ERROR with ERROR_INET_HANDLE, ERROR_INET_PARAMETER, ERROR_INET_TIMEOUT (nothing could be
 * sent in time; INET_EVENT_TIMEOUT is delivered), ERROR_INET_BLOCKED, ERROR_INET_WRITE (the peer
 * is gone). */
SOCKWIRE_API int InetWrite(SOCKET hSocket, const void* data, int length);

/* Reads and drops whatever arrives until nothing more comes within half a second, or the
 * socket's timeout has passed since the call began (a peer that never stops sending). Returns 0;
 * INET_ERROR with ERROR_INET_HANDLE. */
SOCKWIRE_API int InetFlush(SOCKET hSocket);

/* Closes a socket (a connected one after shutting down its sending direction). Returns 0;
 * INET_ERROR with ERROR_INET_HANDLE or ERROR_INET_BLOCKED (called during the socket's own
 * blocking wait, e.g. from a window message handled meanwhile). */
SOCKWIRE_API int InetDisconnect(SOCKET hSocket);

/* 1 when the socket is connected / listening; 0 otherwise and for an unknown handle. */
SOCKWIRE_API int InetIsConnected(SOCKET hSocket);
SOCKWIRE_API int InetIsListening(SOCKET hSocket);

/* 1 when data (or the peer's close) can be read within `timeout` milliseconds (0: now); then,
 * for a connected socket, stores the bytes waiting in `available` (may be null; set to 0
 * otherwise). 0 when not readable or the handle is unknown. The wait ends after `timeout`. */
SOCKWIRE_API int InetIsReadable(SOCKET hSocket, uint32_t timeout, uint32_t* available);
/* 1 when data can be written within `timeout` milliseconds; the wait ends then. */
SOCKWIRE_API int InetIsWritable(SOCKET hSocket, uint32_t timeout);

/* ---- Options ---- */

/* One INET_OPTION_ value per call; INET_OPTION_NONE does nothing. `enable` is passed on as a
 * 32-bit value (0 off). Returns 0; INET_ERROR with ERROR_INET_HANDLE, ERROR_INET_OPTION
 * (unknown option, refused by the system). */
SOCKWIRE_API int InetSetOption(SOCKET hSocket, uint32_t option, int enable);
/* Stores 1 or 0 in `enabled` (which must not be null: ERROR_INET_PARAMETER). */
SOCKWIRE_API int InetGetOption(SOCKET hSocket, uint32_t option, int* enabled);

/* ---- Addresses ---- */

/* The socket's local address and port; with hSocket -1 the first address of this machine.
 * Outputs (may be null) are first set to -1 (0xFFFFFFFF) and 0. Returns 0; INET_ERROR with
 * ERROR_INET_HANDLE or ERROR_INET_LOCALHOST. */
SOCKWIRE_API int InetGetLocalAddress(SOCKET hSocket, uint32_t* address, uint32_t* port);
/* The peer's address and port; outputs first -1 and 0. Returns 0; INET_ERROR with
 * ERROR_INET_HANDLE. */
SOCKWIRE_API int InetGetPeerAddress(SOCKET hSocket, uint32_t* address, uint32_t* port);

/* This machine's host name. Returns 0; INET_ERROR with ERROR_INET_PARAMETER (null buffer,
 * capacity <= 0) or ERROR_INET_LOCALHOST (no name, or it does not fit). */
SOCKWIRE_API int InetGetLocalNameA(char* buffer, int capacity);
SOCKWIRE_API int InetGetLocalNameW(char16_t* buffer, int capacity);

/* The address of a dotted address text (without a lookup) or of a host name (its first
 * address). Returns 0xFFFFFFFF (-1) with ERROR_INET_HOSTNAME for a null or empty name or one
 * that resolves to nothing; "255.255.255.255" therefore goes to the name lookup. */
SOCKWIRE_API uint32_t InetGetHostAddressA(const char* name);
SOCKWIRE_API uint32_t InetGetHostAddressW(const char16_t* name);

/* The host name of an address, truncated to the capacity. Returns 0; INET_ERROR with
 * ERROR_INET_PARAMETER (null buffer, capacity <= 0) or ERROR_INET_HOSTADDRESS (address 0 or
 * -1, or no name known). */
SOCKWIRE_API int InetGetHostNameA(uint32_t address, char* buffer, int capacity);
SOCKWIRE_API int InetGetHostNameW(uint32_t address, char16_t* buffer, int capacity);

/* Writes the dotted form of `address` (lowest byte first), truncated to capacity - 1 and
 * terminated; does nothing for a null buffer or capacity <= 0. */
SOCKWIRE_API void InetFormatAddressA(uint32_t address, char* buffer, int capacity);
SOCKWIRE_API void InetFormatAddressW(uint32_t address, char16_t* buffer, int capacity);

#ifdef __cplusplus
}
#endif

#endif /* SOCKWIRE_H */
