/* popwire: a POP3 client library (RFC 1939) with APOP and TLS (STLS or TLS from the first byte).
 *
 * Conventions of every function:
 * - A client handle (HCLIENT) belongs to the thread that connected it; another thread's handle
 *   or an unknown one fails with ERROR_POP_HANDLE. Only PopUninitialize closes the clients of
 *   other threads.
 * - A failing call returns its failure value (INVALID_CLIENT, POP_ERROR or 0 as stated) and
 *   stores one error code (ERROR_POP_...) as the calling thread's last error, which
 *   PopGetLastError returns and PopGetErrorStringA turns into text. A command that the server
 *   refuses ("-ERR") fails with the code of the operation (for example ERROR_POP_MESGID); a
 *   transport failure keeps its own code (ERROR_POP_TIMEOUT, ERROR_POP_CLOSED, ...).
 * - The A forms take UTF-8 text, the W forms UTF-16 (char16_t); capacities count characters
 *   (bytes for A, UTF-16 units for W) including the terminator.
 * - Message numbers are 1-based, as on the wire.
 * - The library never keeps caller memory and never hands out memory for the caller to free.
 * - Every wait (connection, server reply, message data) keeps the waiting thread's window
 *   messages flowing, and each operation has one deadline: the client's timeout in whole
 *   seconds from the moment it is called, however slowly the server trickles its bytes (see
 *   each function). Time-outs of 2^31 seconds and more are cut to 2^31 - 1.
 * - A time-out, cancel or transport failure inside a command (or while message text is read)
 *   breaks the session: the server's late answer could be taken for the next one, so every
 *   later command, PopRead and PopWrite fails at once with the error that broke it (for
 *   example ERROR_POP_TIMEOUT) until PopDisconnect, which then closes without QUIT. A "-ERR"
 *   or a cancel before anything was sent leaves the session usable.
 * - No argument (a handle, capacity or time-out of any value) and no shortage of threads or
 *   descriptors ends the process from inside the library: the function fails with its
 *   documented failure value instead.
 * - While a reply is awaited or message data is being read (PopGetMessage until PopRead returns
 *   0), every operation that sends a command fails with ERROR_POP_BLOCKED.
 * Version 3.60, build 3650. */
#ifndef POPWIRE_H
#define POPWIRE_H

#include <stdint.h>
#ifndef __cplusplus
#include <uchar.h>
#endif

#ifdef __cplusplus
extern "C" {
#endif

#define POPWIRE_API __attribute__((visibility("default")))

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

/* A client handle; INVALID_CLIENT for none. */
typedef int32_t HCLIENT;

/* A thread's cancel check (PopSetCancelCheck): non-zero asks every wait to stop. */
typedef int (*POPCANCELPROC)(uintptr_t dwParam);

/* An event callback (PopRegisterEvent): the client, the event bit, the error code that came
 * with the event (0 when none) and the value registered with the callback. Runs on the
 * client's owner thread, inside the library call that raised the event. */
typedef void (*POPEVENTPROC)(HCLIENT hClient, uint32_t nEventId, uint32_t dwError,
                             uintptr_t dwParam);

/* A point in time in the calendar (UTC): every field 16-bit, day of week 0 = Sunday. */
typedef struct tagPOPSYSTEMTIME {
    uint16_t wYear;
    uint16_t wMonth;
    uint16_t wDayOfWeek;
    uint16_t wDay;
    uint16_t wHour;
    uint16_t wMinute;
    uint16_t wSecond;
    uint16_t wMilliseconds;
} POPSYSTEMTIME;

/* The security of a session (PopGetSecurityInformationA). The caller sets dwSize to
 * sizeof(SECURITYINFO). The two texts belong to the client and stay valid until it is closed. */
typedef struct tagSECURITYINFO {
    uint32_t dwSize;
    uint32_t dwProtocol;       /* SECURITY_PROTOCOL_ */
    uint32_t dwCipher;         /* SECURITY_CIPHER_ */
    uint32_t dwCipherStrength; /* bits */
    uint32_t dwHash;           /* SECURITY_HASH_ */
    uint32_t dwHashStrength;   /* bits */
    uint32_t dwKeyExchange;    /* SECURITY_KEYEX_ */
    uint32_t dwCertStatus;     /* SECURITY_CERTIFICATE_ */
    POPSYSTEMTIME stCertIssued;
    POPSYSTEMTIME stCertExpires;
    const char* lpszCertIssuer;
    const char* lpszCertSubject;
} SECURITYINFO, *LPSECURITYINFO;

/* The same with UTF-16 texts, for PopGetSecurityInformationW. */
typedef struct tagSECURITYINFOW {
    uint32_t dwSize;
    uint32_t dwProtocol;
    uint32_t dwCipher;
    uint32_t dwCipherStrength;
    uint32_t dwHash;
    uint32_t dwHashStrength;
    uint32_t dwKeyExchange;
    uint32_t dwCertStatus;
    POPSYSTEMTIME stCertIssued;
    POPSYSTEMTIME stCertExpires;
    const char16_t* lpszCertIssuer;
    const char16_t* lpszCertSubject;
} SECURITYINFOW, *LPSECURITYINFOW;

/* Handles and results. */
#define INVALID_CLIENT (-1)
#define INVALID_SOCKET (-1)
#define POP_ERROR (-1)

/* Ports. */
#define IPPORT_POP3 110
#define IPPORT_POP3S 995

/* Connection options (PopConnectExA). POP_OPTION_SECURE: TLS after the STLS command.
 * POP_OPTION_SECURE_NOEXT (with or without POP_OPTION_SECURE): TLS from the first byte, as on
 * port 995, which implies it. POP_OPTION_SECURE_IFOFFERED: STLS when offered, certificate
 * problems reported, not fatal: after the greeting the client asks for the server's
 * capabilities (CAPA, RFC 2449) and sends STLS only when they list it; a server that lists no
 * STLS or refuses CAPA stays plain. Once STLS was offered, a refusal or a failed handshake
 * fails the connection (ERROR_POP_SECURE_CONTEXT) rather than going on in plain text. Whether
 * TLS came up, and how the certificate check went, PopGetSecurityInformationA tells
 * (dwProtocol, dwCertStatus). Without effect together with POP_OPTION_SECURE or on port 995. */
#define POP_OPTION_NONE 0
#define POP_OPTION_SECURE 0x1000
#define POP_OPTION_SECURE_NOEXT 0x2000
#define POP_OPTION_SECURE_IFOFFERED 0x4000

/* Authentication (PopLoginExA). */
#define POP_AUTH_PASS 0
#define POP_AUTH_APOP 1

/* Line modes (bit set; PopSetLineMode). Text: every byte handed out is cut to 7 bits (line
 * ends, stuffing and the terminator are found on the bytes as the server sent them).
 * POP_MODE_LINEBREAK: PopRead of message data stops after each line. POP_MODE_BINARY: bytes
 * arrive unchanged (8-bit messages). */
#define POP_MODE_TEXT 0
#define POP_MODE_LINEBREAK 1
#define POP_MODE_BINARY 2

/* Events (bit values). POP_EVENT_COMMAND follows every status line (error ERROR_POP_SERVER
 * for a line that is neither "+OK" nor "-ERR"), POP_EVENT_TIMEOUT every wait that ran out,
 * POP_EVENT_CANCEL a wait ended by PopCancel. */
#define POP_EVENT_CONNECT 1
#define POP_EVENT_DISCONNECT 2
#define POP_EVENT_READ 4
#define POP_EVENT_TIMEOUT 8
#define POP_EVENT_COMMAND 16
#define POP_EVENT_PROGRESS 32
#define POP_EVENT_CANCEL 64

/* Security of a session (SECURITYINFO). Every TLS version reports SECURITY_PROTOCOL_TLS1;
 * AES, ChaCha20 and other ciphers without a constant of their own report
 * SECURITY_CIPHER_UNKNOWN with their strength in bits; every SHA digest reports
 * SECURITY_HASH_SHA with its size in bits; (EC)DHE key exchange, which every TLS 1.3 session
 * uses, reports SECURITY_KEYEX_DH. */
#define SECURITY_PROTOCOL_NONE 0
#define SECURITY_PROTOCOL_SSL2 1
#define SECURITY_PROTOCOL_SSL3 2
#define SECURITY_PROTOCOL_PCT1 4
#define SECURITY_PROTOCOL_TLS1 8
#define SECURITY_PROTOCOL_SSL 3
#define SECURITY_PROTOCOL_PCT 4
#define SECURITY_PROTOCOL_TLS 8
#define SECURITY_PROTOCOL_DEFAULT 7
#define SECURITY_PROTOCOL_UNKNOWN 256

#define SECURITY_CIPHER_NONE 0
#define SECURITY_CIPHER_RC2 1
#define SECURITY_CIPHER_RC4 2
#define SECURITY_CIPHER_DES 4
#define SECURITY_CIPHER_DES3 8
#define SECURITY_CIPHER_SKIPJACK 16
#define SECURITY_CIPHER_UNKNOWN 256

#define SECURITY_HASH_NONE 0
#define SECURITY_HASH_MD5 1
#define SECURITY_HASH_SHA 2
#define SECURITY_HASH_UNKNOWN 256

#define SECURITY_KEYEX_NONE 0
#define SECURITY_KEYEX_RSA 1
#define SECURITY_KEYEX_KEA 2
#define SECURITY_KEYEX_DH 4
#define SECURITY_KEYEX_UNKNOWN 256

/* The result of checking the server's certificate against the system's trusted authorities
 * and the host name the client connected to. When several faults apply, the first of revoked,
 * expired, untrusted, invalid and no match is reported. */
#define SECURITY_CERTIFICATE_NONE 0
#define SECURITY_CERTIFICATE_VALID 1
#define SECURITY_CERTIFICATE_NOMATCH 2
#define SECURITY_CERTIFICATE_EXPIRED 3
#define SECURITY_CERTIFICATE_REVOKED 4
#define SECURITY_CERTIFICATE_UNTRUSTED 5
#define SECURITY_CERTIFICATE_INVALID 6

/* Error codes (PopGetLastError) and their texts (PopGetErrorStringA). */
#define ERROR_POP_NONE 0
#define ERROR_POP_NETWORK 26701           /* Network subsystem failed to initialize */
#define ERROR_POP_NOHANDLES 26703         /* (no text) */
#define ERROR_POP_NOTOWNER 26704          /* (no text) */
#define ERROR_POP_HANDLE 26705            /* Invalid handle passed to function */
#define ERROR_POP_MEMORY 26706            /* Memory allocation failed */
#define ERROR_POP_PARAMETER 26707         /* Invalid parameter passed to function */
#define ERROR_POP_HOSTNAME 26708          /* Invalid host name specified */
#define ERROR_POP_SOCKET 26709            /* Invalid socket descriptor passed to function */
#define ERROR_POP_CONNECT 26710           /* Unable to establish connection with server */
#define ERROR_POP_TIMEOUT 26711           /* Operation timed out waiting for response from server */
#define ERROR_POP_SERVER 26712            /* Invalid response from server */
#define ERROR_POP_READ 26713              /* Failed to read data from server */
#define ERROR_POP_WRITE 26714             /* Failed to write data to server */
#define ERROR_POP_RETRY 26715             /* Operation should be retried */
#define ERROR_POP_OVERFLOW 26716          /* Internal buffer overflow */
#define ERROR_POP_CLOSED 26717            /* Connection to server is closed */
#define ERROR_POP_BLOCKED 26718           /* Blocking operation in progress */
#define ERROR_POP_CANCELED 26719          /* Operation canceled by client */
#define ERROR_POP_LOGIN 26720             /* Unable to login to server */
#define ERROR_POP_NOLOGIN 26721           /* No user logged in on server */
#define ERROR_POP_MESGID 26722            /* Invalid message identifier specified */
#define ERROR_POP_STOREFILE 26723         /* Unable to store message in specified file */
#define ERROR_POP_AUTHTYPE 26724          /* Authentication type not supported */
#define ERROR_POP_AUTHFAIL 26725          /* User authentication failed */
#define ERROR_POP_AUTHENTICATED 26726     /* User has already been authenticated */
#define ERROR_POP_UNEXPECTED 26727        /* Unexpected result code returned by server */
#define ERROR_POP_COMMAND 26728           /* Invalid command specified */
#define ERROR_POP_CHANGEPASS 26729        /* Unable to change mailbox password */
#define ERROR_POP_SENDFILE 26730          /* Unable to send message in specified file */
#define ERROR_POP_CLIPBOARD 26731         /* Unable to access system clipboard */
#define ERROR_POP_SECURE_INITIALIZE 26781 /* Unable to initialize security interface ... */
#define ERROR_POP_SECURE_CONTEXT 26782    /* Unable to establish security context ... */
#define ERROR_POP_SECURE_CREDENTIALS 26783 /* Unable to open client certificate store ... */
#define ERROR_POP_SECURE_CERTIFICATE 26784 /* Unable to validate server certificate */

/* Export ordinals, for reference: on this platform every function is bound by name. */
enum PopwireOrdinal {
    POPWIRE_ORDINAL_PopAsyncConnectA = 1,
    POPWIRE_ORDINAL_PopAsyncConnectW = 2,
    POPWIRE_ORDINAL_PopAsyncNotify = 3,
    POPWIRE_ORDINAL_PopCancel = 4,
    POPWIRE_ORDINAL_PopCommandA = 5,
    POPWIRE_ORDINAL_PopCommandW = 6,
    POPWIRE_ORDINAL_PopConnectA = 7,
    POPWIRE_ORDINAL_PopConnectW = 8,
    POPWIRE_ORDINAL_PopDeleteMessage = 9,
    POPWIRE_ORDINAL_PopDisconnect = 10,
    POPWIRE_ORDINAL_PopGetErrorStringA = 11,
    POPWIRE_ORDINAL_PopGetErrorStringW = 12,
    POPWIRE_ORDINAL_PopGetLastError = 13,
    POPWIRE_ORDINAL_PopGetMessage = 14,
    POPWIRE_ORDINAL_PopGetMessageCount = 15,
    POPWIRE_ORDINAL_PopGetMessageHeader = 16,
    POPWIRE_ORDINAL_PopGetMultiLine = 17,
    POPWIRE_ORDINAL_PopGetResultCode = 18,
    POPWIRE_ORDINAL_PopGetResultStringA = 19,
    POPWIRE_ORDINAL_PopGetResultStringW = 20,
    POPWIRE_ORDINAL_PopGetSocket = 21,
    POPWIRE_ORDINAL_PopGetTimeout = 22,
    POPWIRE_ORDINAL_PopInitializeA = 23,
    POPWIRE_ORDINAL_PopInitializeW = 24,
    POPWIRE_ORDINAL_PopIsBlocking = 25,
    POPWIRE_ORDINAL_PopLoginA = 26,
    POPWIRE_ORDINAL_PopLoginW = 27,
    POPWIRE_ORDINAL_PopRead = 28,
    POPWIRE_ORDINAL_PopReset = 29,
    POPWIRE_ORDINAL_PopSetLastError = 30,
    POPWIRE_ORDINAL_PopSetMultiLine = 31,
    POPWIRE_ORDINAL_PopSetTimeout = 32,
    POPWIRE_ORDINAL_PopUninitialize = 33,
    POPWIRE_ORDINAL_PopGetClientHwnd = 34,
    POPWIRE_ORDINAL_PopGetHwndClient = 35,
    POPWIRE_ORDINAL_PopEnableEvents = 36,
    POPWIRE_ORDINAL_PopDisableEvents = 37,
    POPWIRE_ORDINAL_PopGetMessageBytesCopied = 40,
    POPWIRE_ORDINAL_PopGetMessageCountEx = 45,
    POPWIRE_ORDINAL_PopGetMessageIdA = 46,
    POPWIRE_ORDINAL_PopGetMessageIdW = 47,
    POPWIRE_ORDINAL_PopLoginExA = 50,
    POPWIRE_ORDINAL_PopLoginExW = 51,
    POPWIRE_ORDINAL_PopGetLineMode = 54,
    POPWIRE_ORDINAL_PopSetLineMode = 55,
    POPWIRE_ORDINAL_PopWrite = 56,
    POPWIRE_ORDINAL_PopGetMessageSize = 57,
    POPWIRE_ORDINAL_PopAsyncConnectExA = 58,
    POPWIRE_ORDINAL_PopAsyncConnectExW = 59,
    POPWIRE_ORDINAL_PopConnectExA = 60,
    POPWIRE_ORDINAL_PopConnectExW = 61,
    POPWIRE_ORDINAL_PopFreezeEvents = 62,
    POPWIRE_ORDINAL_PopRegisterEvent = 63,
    POPWIRE_ORDINAL_PopGetSecurityInformationA = 201,
    POPWIRE_ORDINAL_PopGetSecurityInformationW = 202,
    POPWIRE_ORDINAL_PopEnableTraceA = 301,
    POPWIRE_ORDINAL_PopEnableTraceW = 302,
    POPWIRE_ORDINAL_PopDisableTrace = 303,
    POPWIRE_ORDINAL_DllGetVersion = 501
};

/* ---- Initialisation, errors, version, tracing ---- */

/* Initialises the library for the process; calls nest and each success counts once. The
 * first start loads the Winsock layer (libmoxelwsock32.so beside this library; the environment
 * variable MOXEL_WINSOCK_MODULE names another file); Winsock is started with the first
 * successful initialisation and released with the last PopUninitialize. `reserved` is ignored;
 * `initData` may be null, otherwise its dwSize must be 160 and it receives version 3.60.3650
 * and the description "Wirebench Post Office Protocol Library". Returns 1 and clears the last
 * error; 0 on failure: ERROR_POP_PARAMETER (bad dwSize), ERROR_POP_NETWORK (Winsock cannot be
 * loaded or started). */
POPWIRE_API int PopInitializeA(const char* reserved, LPINITDATA initData);
/* As PopInitializeA; dwSize must be 288. */
POPWIRE_API int PopInitializeW(const char16_t* reserved, LPINITDATAW initData);

/* Undoes one successful initialisation; the last one closes every client of every thread
 * (without QUIT), switches tracing off and releases Winsock. */
POPWIRE_API void PopUninitialize(void);

/* The calling thread's last error code; PopSetLastError stores one. */
POPWIRE_API uint32_t PopGetLastError(void);
POPWIRE_API void PopSetLastError(uint32_t code);

/* Copies the text of an error code into `buffer` (at most capacity - 1 characters, always
 * terminated) and returns the characters copied. 0 without touching the buffer for codes up to
 * 26699, a null buffer or capacity <= 0; 0 and an empty text for a code without text. */
POPWIRE_API int PopGetErrorStringA(uint32_t code, char* buffer, int capacity);
POPWIRE_API int PopGetErrorStringW(uint32_t code, char16_t* buffer, int capacity);

/* Fills a version record: 3, 60, 3650, platform 1. Returns 0; (int32_t)0x80000005 for a null
 * record; (int32_t)0x80000003 when cbSize is not 20. */
POPWIRE_API int32_t DllGetVersion(DLLVERSIONINFO* info);

/* Switches tracing of the Winsock calls on through the optional trace library
 * (libwiretrace.so beside this library; MOXEL_WIRETRACE_MODULE names another file) and returns
 * its result; 0 before initialisation or without trace library. PopDisableTrace undoes one. */
POPWIRE_API int PopEnableTraceA(const char* fileName, uint32_t flags);
POPWIRE_API int PopEnableTraceW(const char16_t* fileName, uint32_t flags);
POPWIRE_API int PopDisableTrace(void);

/* ---- Connections ---- */

/* Connects to `host` (a dotted address or a name) on `port` and reads the server's greeting.
 * Port 0 means 110, or 995 with POP_OPTION_SECURE (and then TLS from the first byte); port 995
 * implies POP_OPTION_SECURE_NOEXT. `timeout` (seconds; 0 means 60) becomes the client's timeout
 * and bounds the whole call: connection, TLS handshake, greeting and STLS end within it. With
 * POP_OPTION_SECURE the session switches to TLS with STLS after the greeting; with
 * POP_OPTION_SECURE_NOEXT TLS starts at once. The server's certificate is checked, and a
 * certificate that fails the check is accepted: PopGetSecurityInformationA reports the result.
 * Returns the handle; INVALID_CLIENT with ERROR_POP_HOSTNAME (empty or unknown host),
 * ERROR_POP_PARAMETER (port above 65535), ERROR_POP_NETWORK (not initialised), ERROR_POP_MEMORY
 * (256 clients open), ERROR_POP_SOCKET, ERROR_POP_CONNECT (refused, no answer within the timeout),
 * ERROR_POP_SERVER (the greeting is not "+OK", or a capability list without end),
 * ERROR_POP_CANCELED (the thread's cancel check, see PopSetCancelCheck), ERROR_POP_TIMEOUT or
 * ERROR_POP_CLOSED (no greeting), ERROR_POP_SECURE_INITIALIZE, ERROR_POP_SECURE_CREDENTIALS,
 * ERROR_POP_SECURE_CONTEXT (STLS refused, TLS handshake failed). No client is left behind.
 * Client certificates: when the server asks for one during the handshake, the library offers
 * the first PEM file (in name order, "*.pem") of the user's certificate folder whose first
 * certificate has the extended key usage client authentication (1.3.6.1.5.5.7.3.2), is valid
 * now, was issued by one of the authorities the server names (any, when it names none) and
 * matches the file's private key (unencrypted, in the same file or in the file of the same
 * name ending in ".key"). The folder is $MOXEL_CERTIFICATE_DIR when that is set, else
 * $XDG_CONFIG_HOME/Ostrand/Moxel/certificates, else ~/.config/Ostrand/Moxel/certificates. With
 * no suitable certificate (or no folder) the handshake goes on without one; a server that then
 * ends the session fails the connection (or, with STLS, the next command) with
 * ERROR_POP_SECURE_CREDENTIALS, and a server that lets the handshake finish may refuse the
 * login instead (Dovecot: ERROR_POP_AUTHFAIL). */
POPWIRE_API HCLIENT PopConnectA(const char* host, uint32_t port, uint32_t timeout);
POPWIRE_API HCLIENT PopConnectW(const char16_t* host, uint32_t port, uint32_t timeout);
POPWIRE_API HCLIENT PopConnectExA(const char* host, uint32_t port, uint32_t timeout,
                                  uint32_t options);
POPWIRE_API HCLIENT PopConnectExW(const char16_t* host, uint32_t port, uint32_t timeout,
                                  uint32_t options);

/* ---- Asynchronous mode ----
 * A client in asynchronous mode has a notification window (a message window of the client's
 * thread, see platform/windows): the socket's network notifications reach that window as its
 * notification message (first parameter the client's socket, PopGetSocket; second the Winsock
 * event in the low 16 bits and its error in the high 16 bits), and the library's procedure,
 * installed on the window, turns them into the client's events before the window's own
 * procedure sees them too. They are handled when the thread dispatches its messages
 * (PeekMessage and DispatchMessage of platform/windows), and during every wait of the library.
 * Events: POP_EVENT_CONNECT when the connection is set up or has failed (see
 * PopAsyncConnectExA), POP_EVENT_DISCONNECT when the server closed the connection (error: the
 * Winsock error of a reset, 0 for an orderly close), POP_EVENT_READ when something of the
 * server has arrived to be read with PopRead (never while the library itself reads: inside a
 * command, PopStoreMessageA or PopSendMessageA), POP_EVENT_TIMEOUT (error ERROR_POP_TIMEOUT)
 * when a wait ran out. Commands (PopLoginA, PopGetMessage, ...) work as in blocking mode and
 * wait for their answers within the client's timeout. Message text opened by PopGetMessage or
 * PopGetMessageHeader is read on POP_EVENT_READ: PopRead then takes what has arrived and does
 * not wait, failing with ERROR_POP_BLOCKED (the session stays usable) when nothing has; when
 * more has arrived than the call took, POP_EVENT_READ comes again. Each piece of the text must
 * arrive within the client's timeout of the one before (no limit when the timeout is 0):
 * otherwise POP_EVENT_TIMEOUT is delivered and the session is broken (every later call fails
 * with ERROR_POP_TIMEOUT) until PopDisconnect. Two clients may share one window. Destroying the
 * window returns its clients to blocking mode; a connection still being set up then fails
 * every later call with ERROR_POP_CONNECT until PopDisconnect. */

/* Starts a connection without waiting and returns its handle at once; `hWnd` (a window of the
 * calling thread) becomes the client's notification window with message `uMsg` (1024 or
 * above); host, port, timeout and options are those of PopConnectExA (a null window makes it
 * PopConnectExA). When the connection is made, the greeting is read, and with
 * POP_OPTION_SECURE STLS and the TLS handshake follow, with the certificate check of
 * PopConnectExA; all of it, from the call on, within `timeout` (0 means 60). Then
 * POP_EVENT_CONNECT is delivered with error 0, or with the failure: ERROR_POP_CONNECT (refused,
 * unreachable), ERROR_POP_TIMEOUT (no connection or no greeting within the time-out, also
 * announced by POP_EVENT_TIMEOUT), ERROR_POP_SERVER, ERROR_POP_CLOSED,
 * ERROR_POP_SECURE_CONTEXT or ERROR_POP_SECURE_CREDENTIALS; after a failure the handle is
 * closed once the event has been delivered (while frozen, the event waits for the thaw).
 * Returns the handle; INVALID_CLIENT with ERROR_POP_PARAMETER (window gone or of another
 * thread, message below 1024) or the errors of PopConnectExA before the connection. */
POPWIRE_API HCLIENT PopAsyncConnectA(const char* host, uint32_t port, uint32_t timeout,
                                     INETWINDOW hWnd, uint32_t uMsg);
POPWIRE_API HCLIENT PopAsyncConnectW(const char16_t* host, uint32_t port, uint32_t timeout,
                                     INETWINDOW hWnd, uint32_t uMsg);
POPWIRE_API HCLIENT PopAsyncConnectExA(const char* host, uint32_t port, uint32_t timeout,
                                       uint32_t options, INETWINDOW hWnd, uint32_t uMsg);
POPWIRE_API HCLIENT PopAsyncConnectExW(const char16_t* host, uint32_t port, uint32_t timeout,
                                       uint32_t options, INETWINDOW hWnd, uint32_t uMsg);

/* Puts a connected client into asynchronous mode with notification window `hWnd` and message
 * `uMsg` (1024 or above), or, with a null window, back into blocking mode (commands and PopRead
 * wait again). A new window replaces the old one, whose own procedure comes back once no client
 * notifies it. Returns 0; POP_ERROR with ERROR_POP_HANDLE (also: no more windows can be
 * hooked) or ERROR_POP_PARAMETER (window gone or of another thread, message below 1024, or the
 * window and message of PopEnableEvents). */
POPWIRE_API int PopAsyncNotify(HCLIENT hClient, INETWINDOW hWnd, uint32_t uMsg);

/* The calling thread's client that notifies `hWnd` (the first one when several do);
 * INVALID_CLIENT with ERROR_POP_HANDLE when none does. */
POPWIRE_API HCLIENT PopGetHwndClient(INETWINDOW hWnd);
/* The client's notification window; null in blocking mode (last error 0) and for a bad handle
 * (ERROR_POP_HANDLE). */
POPWIRE_API INETWINDOW PopGetClientHwnd(HCLIENT hClient);

/* Sends QUIT (its answer is awaited up to the timeout and otherwise ignored; not sent while
 * message data is being read, after the server closed or once the session is broken) and
 * closes the client. Returns 0; POP_ERROR with
 * ERROR_POP_HANDLE. */
POPWIRE_API int PopDisconnect(HCLIENT hClient);

/* The security of the session: protocol, cipher, hash, key exchange and the result of the
 * certificate check with the certificate's dates, issuer and subject; for a session without
 * TLS every field is NONE and the texts are null. Returns 0; POP_ERROR with ERROR_POP_HANDLE
 * or ERROR_POP_PARAMETER (null record, dwSize not sizeof the record). */
POPWIRE_API int PopGetSecurityInformationA(HCLIENT hClient, LPSECURITYINFO info);
POPWIRE_API int PopGetSecurityInformationW(HCLIENT hClient, LPSECURITYINFOW info);

/* ---- Login ---- */

/* Logs in with USER and PASS, then reads the mailbox's message count and size (STAT); the
 * three commands end within the client's timeout together. A STAT that the server refuses
 * leaves the counts at 0; one that gets no answer fails the login with the session broken.
 * Returns 0; POP_ERROR with ERROR_POP_HANDLE, ERROR_POP_AUTHENTICATED (already logged in),
 * ERROR_POP_LOGIN (USER refused), ERROR_POP_AUTHFAIL (PASS refused), ERROR_POP_BLOCKED or a
 * transport error. */
POPWIRE_API int PopLoginA(HCLIENT hClient, const char* user, const char* password);
POPWIRE_API int PopLoginW(HCLIENT hClient, const char16_t* user, const char16_t* password);

/* As PopLoginA with POP_AUTH_PASS or POP_AUTH_APOP (the password never travels: the digest of
 * the greeting's time stamp and the password does). POP_AUTH_APOP fails with
 * ERROR_POP_AUTHTYPE when the greeting had no time stamp, ERROR_POP_PARAMETER for an empty
 * user or password and ERROR_POP_AUTHFAIL when refused; other types: ERROR_POP_AUTHTYPE. */
POPWIRE_API int PopLoginExA(HCLIENT hClient, uint32_t authType, const char* user,
                            const char* password);
POPWIRE_API int PopLoginExW(HCLIENT hClient, uint32_t authType, const char16_t* user,
                            const char16_t* password);

/* ---- Messages ---- */

/* The number of messages (from STAT at login or reset, less the messages deleted since); sends
 * nothing. POP_ERROR with ERROR_POP_HANDLE or ERROR_POP_NOLOGIN. */
POPWIRE_API int PopGetMessageCount(HCLIENT hClient);
/* The same; also stores the highest message number and the mailbox size in octets less the
 * deleted octets (outputs may be null). */
POPWIRE_API int PopGetMessageCountEx(HCLIENT hClient, uint32_t* lastMessage, uint32_t* mailboxSize);

/* The size of a message in octets (LIST, answered within the client's timeout; cached per
 * message until a delete or reset). POP_ERROR with ERROR_POP_HANDLE, the error that broke the
 * session, ERROR_POP_NOLOGIN, ERROR_POP_MESGID (refused by the server),
 * ERROR_POP_BLOCKED or a transport error. */
POPWIRE_API int PopGetMessageSize(HCLIENT hClient, int message);

/* The unique identifier of a message (UIDL; cached per message until a delete or reset),
 * copied into `buffer` (truncated to capacity - 1 characters, terminated; identifiers longer
 * than 127 characters are cut). Returns the characters copied, or the identifier's length when
 * `buffer` is null; POP_ERROR with the errors of PopGetMessageSize. */
POPWIRE_API int PopGetMessageIdA(HCLIENT hClient, int message, char* buffer, int capacity);
POPWIRE_API int PopGetMessageIdW(HCLIENT hClient, int message, char16_t* buffer, int capacity);

/* Opens a message for reading (RETR) and stores its size (from LIST) in `size` (may be null).
 * Its text is then read with PopRead until PopRead returns 0; until then no other command can
 * be sent. LIST, UIDL and RETR end within the client's timeout together. Returns 0; POP_ERROR
 * with the errors of PopGetMessageSize. */
POPWIRE_API int PopGetMessage(HCLIENT hClient, int message, uint32_t* size);
/* As PopGetMessage for the message's header block only (TOP with 0 lines). */
POPWIRE_API int PopGetMessageHeader(HCLIENT hClient, int message, uint32_t* size);

/* Reads the text of the open message: up to `capacity` bytes, with CR LF line ends as the
 * server sent them, the leading dot of stuffed lines removed (on the first line only before a
 * second dot: Dovecot leaves that line unstuffed) and without the terminating line; bytes cut to 7
 * bits unless the line mode has POP_MODE_BINARY; with POP_MODE_LINEBREAK at most one line per call.
 * Without an open message it reads one line of the server. Returns the bytes copied; 0 at the end
 * of the message (and again until the next command) or for capacity 0. Each call waits at most the
 * client's timeout (0: without limit for message data, 60 seconds for a line); when it runs out
 * after some bytes, those are returned and the next call fails. POP_ERROR with ERROR_POP_HANDLE,
 * the error that broke the session, ERROR_POP_PARAMETER (null buffer, negative capacity),
 * ERROR_POP_TIMEOUT, ERROR_POP_CLOSED (the server closed the connection; bytes that arrived before
 * are returned first), ERROR_POP_READ, ERROR_POP_CANCELED. */
POPWIRE_API int PopRead(HCLIENT hClient, void* buffer, int capacity);

/* The bytes of the open message handed out so far; stores its size (from LIST) in `size`
 * (may be null). POP_ERROR with ERROR_POP_HANDLE. */
POPWIRE_API int PopGetMessageBytesCopied(HCLIENT hClient, uint32_t* size);

/* Marks a message as deleted (DELE); the server removes it when the session ends with QUIT.
 * A number that LIST refuses fails with ERROR_POP_MESGID before DELE is sent; LIST and DELE end
 * within the client's timeout together. Returns 0;
 * POP_ERROR with the errors of PopGetMessageSize. */
POPWIRE_API int PopDeleteMessage(HCLIENT hClient, int message);

/* Undoes the deletions of the session (RSET) and reads the counts again (STAT), both within the
 * client's timeout; a STAT without answer fails the call. Returns 1;
 * 0 with ERROR_POP_HANDLE, ERROR_POP_NOLOGIN, ERROR_POP_SERVER (RSET refused),
 * ERROR_POP_BLOCKED or a transport error. */
POPWIRE_API int PopReset(HCLIENT hClient);

/* ---- Commands ---- */

/* Sends one command line (`command`, then a space and `parameter` when that is not empty or
 * null) and reads the status line, both within the client's timeout (60 seconds when it is 0).
 * Returns 1 for "+OK"; 0 for "-ERR" (last error 0) and on
 * failure: ERROR_POP_HANDLE, the error that broke the session, ERROR_POP_BLOCKED,
 * ERROR_POP_PARAMETER (empty command, a line of 256 bytes or more, CR or LF inside),
 * ERROR_POP_WRITE, ERROR_POP_UNEXPECTED (neither "+OK" nor "-ERR") or a transport error. A
 * multi-line answer is then read with PopSetMultiLine and PopRead. */
POPWIRE_API int PopCommandA(HCLIENT hClient, const char* command, const char* parameter);
POPWIRE_API int PopCommandW(HCLIENT hClient, const char16_t* command, const char16_t* parameter);

/* The result of the last status line: 1 for "+OK", 0 for "-ERR" and failures. */
POPWIRE_API int PopGetResultCode(HCLIENT hClient);

/* Copies the text of the last status line after its status word, with its line end. Returns
 * the characters copied; POP_ERROR with ERROR_POP_HANDLE or ERROR_POP_PARAMETER (null buffer,
 * capacity <= 0). */
POPWIRE_API int PopGetResultStringA(HCLIENT hClient, char* buffer, int capacity);
POPWIRE_API int PopGetResultStringW(HCLIENT hClient, char16_t* buffer, int capacity);

/* Sends raw bytes to the server (through TLS when active), within the client's timeout (60
 * seconds when it is 0); a failure breaks the session. Returns the bytes sent; POP_ERROR
 * with ERROR_POP_HANDLE, ERROR_POP_PARAMETER, ERROR_POP_BLOCKED, ERROR_POP_TIMEOUT,
 * ERROR_POP_WRITE, ERROR_POP_CANCELED. */
POPWIRE_API int PopWrite(HCLIENT hClient, const void* data, int length);

/* ---- Commands sent ahead of their answers (PIPELINING, RFC 2449) ----
 * Only for a server that lists PIPELINING among its capabilities (CAPA): others may drop
 * commands that arrive before they answered the last one.
 *
 * PopQueueCommandA sends a command line as PopCommandA builds it and does not wait for its
 * answer; PopReadQueuedReply reads the status line of the oldest command queued so, with the
 * results of PopGetResultCode, after which a multi-line answer is read with PopSetMultiLine and
 * PopRead as after PopCommandA. A command may be queued only between answers, not while a
 * status line is pending or multi-line data is being read. While answers are queued, every
 * other function that sends a command fails with ERROR_POP_BLOCKED, and PopDisconnect closes
 * the connection without QUIT, so that the server deletes nothing.
 *
 * PopQueueCommandA returns 1; POP_ERROR with ERROR_POP_HANDLE, the error that broke the
 * session, ERROR_POP_BLOCKED, ERROR_POP_PARAMETER (as PopCommandA) or a transport error.
 * PopReadQueuedReply returns 1 for "+OK"; 0 for "-ERR" (last error cleared), and 0 with
 * ERROR_POP_HANDLE, the error that broke the session, ERROR_POP_BLOCKED, ERROR_POP_COMMAND
 * (nothing queued), ERROR_POP_UNEXPECTED or a transport error. */
POPWIRE_API int PopQueueCommandA(HCLIENT hClient, const char* command, const char* parameter);
POPWIRE_API int PopQueueCommandW(HCLIENT hClient, const char16_t* command,
                                 const char16_t* parameter);
POPWIRE_API int PopReadQueuedReply(HCLIENT hClient);

/* ---- Client settings and state ---- */

/* The multi-line flag: while set, PopRead reads data up to the terminating line. Setting it
 * starts a new multi-line answer. PopGetMultiLine returns 1 / 0; both POP_ERROR with
 * ERROR_POP_HANDLE. */
POPWIRE_API int PopGetMultiLine(HCLIENT hClient);
POPWIRE_API int PopSetMultiLine(HCLIENT hClient, int multiLine);

/* The line-mode bits (POP_MODE_); POP_ERROR with ERROR_POP_HANDLE. */
POPWIRE_API int PopGetLineMode(HCLIENT hClient);
POPWIRE_API int PopSetLineMode(HCLIENT hClient, uint32_t mode);

/* The client's timeout in seconds (0: waits for message data without limit and 60 seconds for
 * anything else); PopSetTimeout stores at most 600. POP_ERROR with ERROR_POP_HANDLE. */
POPWIRE_API int PopGetTimeout(HCLIENT hClient);
POPWIRE_API int PopSetTimeout(HCLIENT hClient, uint32_t seconds);

/* The client's Winsock socket; INVALID_SOCKET with ERROR_POP_HANDLE. */
POPWIRE_API SOCKET PopGetSocket(HCLIENT hClient);

/* 1 while a wait of the client runs or a blocking Winsock call is in progress on the calling
 * thread; for an unknown handle, the latter alone. */
POPWIRE_API int PopIsBlocking(HCLIENT hClient);

/* Asks the client to stop: a wait in progress ends (at once when PopCancel is called from an
 * event callback or a window message handled during the wait, within 200 ms when it is called
 * from another thread, the one use of a handle outside its owner thread), and so does the next
 * wait; the operation fails with ERROR_POP_CANCELED and POP_EVENT_CANCEL is delivered. A wait
 * ended inside an answer breaks the session until it is closed. Returns 0; POP_ERROR with
 * ERROR_POP_HANDLE. */
POPWIRE_API int PopCancel(HCLIENT hClient);

/* Gives the calling thread a cancel check: every wait of the thread's clients, from the
 * connection on (when no handle exists yet for PopCancel) through the TLS handshake and the
 * greeting to the answer of QUIT, calls `check(dwParam)` before it starts and at least every
 * 200 ms; non-zero ends the wait as PopCancel does (ERROR_POP_CANCELED, POP_EVENT_CANCEL), and
 * every later wait too while it stays non-zero. It runs on the calling thread inside the
 * waiting call and must be quick. A null `check` removes it. For a program's stop request,
 * which must reach whatever the thread is waiting for. Returns 0. */
POPWIRE_API int PopSetCancelCheck(POPCANCELPROC check, uintptr_t dwParam);

/* ---- Events ---- */

/* Sets callback and parameter of every event whose bit is in `eventMask` (bits above 64 are
 * ignored; a null callback clears). Returns 0; POP_ERROR with ERROR_POP_HANDLE. */
POPWIRE_API int PopRegisterEvent(HCLIENT hClient, uint32_t eventMask, POPEVENTPROC callback,
                                 uintptr_t dwParam);

/* Sends each event, after its callback, to `hWnd` as message `uMsg` (1024 or above), first
 * parameter the handle, second the event bit in the low 16 bits and the error code in the high
 * 16 bits. A window of another thread is given at most the client's timeout (60 seconds when
 * it is 0) to take each message, which is otherwise withdrawn. A null window stops event
 * messages. Returns 0; POP_ERROR with ERROR_POP_HANDLE or
 * ERROR_POP_PARAMETER (window gone, message below 1024). PopDisableEvents stops them too; the
 * callbacks stay registered. */
POPWIRE_API int PopEnableEvents(HCLIENT hClient, INETWINDOW hWnd, uint32_t uMsg);
POPWIRE_API int PopDisableEvents(HCLIENT hClient);

/* With `freeze` non-zero, holds back every event of a client in asynchronous mode: the
 * notifications that arrive meanwhile are kept (each kind once, with its last error) and, when
 * the client thaws, posted again to its window in the order FD_CONNECT, FD_ACCEPT, FD_CLOSE,
 * FD_READ, FD_WRITE, FD_OOB, so that a server that closed while frozen is told as
 * POP_EVENT_DISCONNECT then; events raised by the library's own calls meanwhile (for example
 * POP_EVENT_COMMAND) are dropped. Does nothing for a client in blocking mode. Returns 0;
 * POP_ERROR with ERROR_POP_HANDLE. */
POPWIRE_API int PopFreezeEvents(HCLIENT hClient, int freeze);

/* ---- Extension commands, storing and sending messages, password change ----
 * XSENDER, XTND XLST and XTND XMIT are extensions of Qpopper and servers like it; a server that
 * refuses one ("-ERR") is remembered for the rest of the session and not asked again. A failed
 * or refused extension leaves the session usable; a time-out or transport failure inside one
 * breaks it as it does any command. The functions that take a message number need a login
 * (ERROR_POP_NOLOGIN before it) and fail with ERROR_POP_BLOCKED while message data is being
 * read. */

/* Export ordinals of these functions, for reference. */
enum PopwireExtensionOrdinal {
    POPWIRE_ORDINAL_PopStoreMessageA = 38,
    POPWIRE_ORDINAL_PopStoreMessageW = 39,
    POPWIRE_ORDINAL_PopChangePasswordA = 41,
    POPWIRE_ORDINAL_PopChangePasswordW = 42,
    POPWIRE_ORDINAL_PopGetHeaderValueA = 43,
    POPWIRE_ORDINAL_PopGetHeaderValueW = 44,
    POPWIRE_ORDINAL_PopGetMessageSenderA = 48,
    POPWIRE_ORDINAL_PopGetMessageSenderW = 49,
    POPWIRE_ORDINAL_PopSendMessageA = 52,
    POPWIRE_ORDINAL_PopSendMessageW = 53
};

/* The sender of a message: the text of the server's "+OK" answer to "XSENDER number", white
 * space trimmed. When the server refuses XSENDER (remembered), the value of the message's
 * "From" header (PopGetHeaderValueA) reduced to what its first "<" ... ">" hold, or else its
 * "(" ... ")", or else the value as it is. Copied into `buffer` (truncated to capacity - 1
 * characters, terminated); the commands end within the client's timeout together. Returns the
 * characters copied (0 for a sender the server does not know); POP_ERROR with
 * ERROR_POP_HANDLE, the error that broke the session, ERROR_POP_NOLOGIN, ERROR_POP_PARAMETER
 * (null buffer, capacity below 2), ERROR_POP_COMMAND (XSENDER and XTND XLST both refused),
 * ERROR_POP_BLOCKED or a transport error. */
POPWIRE_API int PopGetMessageSenderA(HCLIENT hClient, int message, char* buffer, int capacity);
POPWIRE_API int PopGetMessageSenderW(HCLIENT hClient, int message, char16_t* buffer, int capacity);

/* The value of a header of a message: sends "XTND XLST header number" and reads the listed
 * lines up to the terminating line; a line's value is the text after its first ":" with white
 * space trimmed, the last listed line wins and lines without ":" are skipped (none: an empty
 * value). All within the client's timeout. Copied into `buffer` (truncated to capacity - 1
 * characters, terminated). Returns the characters copied; POP_ERROR with ERROR_POP_HANDLE, the
 * error that broke the session, ERROR_POP_NOLOGIN, ERROR_POP_PARAMETER (empty header name or
 * one with a space, null buffer, capacity below 1), ERROR_POP_COMMAND (XTND XLST refused, now
 * or earlier on this client: then nothing is sent), ERROR_POP_BLOCKED or a transport error (an
 * unterminated list fails with ERROR_POP_TIMEOUT). */
POPWIRE_API int PopGetHeaderValueA(HCLIENT hClient, int message, const char* header, char* buffer,
                                   int capacity);
POPWIRE_API int PopGetHeaderValueW(HCLIENT hClient, int message, const char16_t* header,
                                   char16_t* buffer, int capacity);

/* Retrieves a message (as PopGetMessage, with POP_MODE_LINEBREAK off for the call and the
 * other line-mode bits as set) and stores its text as PopRead hands it out: into the file
 * `fileName`, or onto the desktop clipboard when `fileName` is null or empty. After each piece
 * of up to 4096 bytes POP_EVENT_PROGRESS is delivered (error 0), so a message of n bytes gives
 * ceil(n / 4096) events. The file is created private to the user (mode 0600) beside its final
 * name before the message is asked for, and replaces an existing file only once it is complete
 * and on disk: a failure leaves the old file as it was. Each piece waits at most the client's
 * timeout. The clipboard is reached through the desktop's clipboard programs, run directly
 * (no shell) and given the client's timeout (60 seconds when it is 0): wl-copy when
 * WAYLAND_DISPLAY is set, otherwise xclip or else xsel when DISPLAY is set; no GUI toolkit is
 * loaded. Returns 0; POP_ERROR with the errors of PopGetMessage, ERROR_POP_STOREFILE (the file
 * cannot be made or written; the message is still read to its end, so the session stays
 * usable), ERROR_POP_CLIPBOARD (no desktop session named in the environment: then nothing is
 * sent; or no clipboard program took the text), ERROR_POP_MEMORY or a transport error. */
POPWIRE_API int PopStoreMessageA(HCLIENT hClient, int message, const char* fileName);
POPWIRE_API int PopStoreMessageW(HCLIENT hClient, int message, const char16_t* fileName);

/* Hands a message to the server for delivery: sends "XTND XMIT" and, when the server accepts,
 * the bytes of the regular file `fileName` as they are (already in transmission form: CR LF
 * line ends and stuffed dots) in pieces of 512 bytes, each within the client's timeout and
 * followed by the dispatch of one pending window message of the thread, then CR LF "." CR LF,
 * and reads the server's verdict within the timeout. With `fileName` null or empty the text of
 * the desktop clipboard is sent (programs as for PopStoreMessageA: wl-paste, xclip or xsel).
 * Returns 0; POP_ERROR with ERROR_POP_HANDLE, the error that broke the session,
 * ERROR_POP_NOLOGIN, ERROR_POP_SENDFILE (no such regular file or unreadable: then nothing is
 * sent; XTND XMIT refused: the session stays usable; the message refused after it was sent),
 * ERROR_POP_CLIPBOARD (no desktop session, no clipboard text), ERROR_POP_BLOCKED or a transport
 * error. */
POPWIRE_API int PopSendMessageA(HCLIENT hClient, const char* fileName);
POPWIRE_API int PopSendMessageW(HCLIENT hClient, const char16_t* fileName);

/* Changes the mailbox password over the poppass service (poppassd): connects to the address of
 * the client's server on the TCP service "poppass" (port 106 when the system does not know it;
 * the environment variable MOXEL_POPPASS_PORT names another port) and holds the conversation
 * of numeric reply lines (each cut to 511 bytes, its code the number at its start after white
 * space, each awaited up to the client's timeout, 60 seconds when it is 0): the greeting must
 * have a code 200-299; "USER user" must get 200-399, and a 200-299 answer is followed by one
 * more line, which is skipped; "PASS old" must get 200-299; "NEWPASS new" must get 200-299.
 * The connection then closes. Every argument is checked before anything is connected.
 * Returns 1 when every reply was accepted; 0 with ERROR_POP_HANDLE, ERROR_POP_PARAMETER (a
 * null or empty text, CR or LF inside, the old password equal to the new one),
 * ERROR_POP_CONNECT (no poppass service), ERROR_POP_CHANGEPASS (a reply with another code),
 * ERROR_POP_TIMEOUT (no reply within the timeout), ERROR_POP_CLOSED (the server closed the
 * connection), ERROR_POP_READ or ERROR_POP_WRITE. */
POPWIRE_API int PopChangePasswordA(HCLIENT hClient, const char* user, const char* oldPassword,
                                   const char* newPassword);
POPWIRE_API int PopChangePasswordW(HCLIENT hClient, const char16_t* user,
                                   const char16_t* oldPassword, const char16_t* newPassword);

#ifdef __cplusplus
}
#endif

#endif /* POPWIRE_H */
