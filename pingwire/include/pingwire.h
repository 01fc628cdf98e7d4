/* pingwire: the ICMP echo library behind Moxel's on-line check.
 *
 * Every function that can fail returns -1 (0 for IcmpInitializeA) and stores an error code as
 * the calling thread's last error; IcmpGetErrorStringA gives its text. A handle is a signed
 * 32-bit integer; any thread may use it. Texts are UTF-8. No function ends the process or lets
 * an exception out.
 *
 * Errors (IcmpGetLastError):
 *   29001 invalid parameter (flags not 0, a null or empty host, a time-out outside 1..60000),
 *   29002 invalid handle, 29003 library not initialised, 29004 host name not resolved,
 *   29005 IcmpEcho before a host was set, 29006 no ICMP socket may be opened (neither the
 *   unprivileged datagram socket, which net.ipv4.ping_group_range governs, nor a raw socket,
 *   which needs root or CAP_NET_RAW), 29007 the request could not be sent (no route to the
 *   host), 29008 no reply within the time-out, 29009 receiving failed, 29010 too many handles
 *   (256), 29011 internal error.
 *
 * Deadlines: IcmpEcho returns within the handle's time-out from its start, however many
 * packets of others arrive meanwhile. IcmpSetHostA waits as long as the system's resolver.
 *
 * Export ordinals (kept for reference; on ELF the functions are bound by name):
 *   6 IcmpClose, 19 IcmpGetErrorStringA, 21 IcmpGetLastError, 22 IcmpInitializeA,
 *   26 IcmpOpen, 30 IcmpEcho, 32 IcmpSetHostA, 37 IcmpSetTimeout, 39 IcmpUninitialize
 */
#ifndef PINGWIRE_H
#define PINGWIRE_H

#ifdef __cplusplus
extern "C" {
#endif

#define PINGWIRE_API __attribute__((visibility("default")))

/* Initialises the library for the process; calls nest. `reserved` and `initData` may be null.
 * Nonzero on success, 0 on failure. */
PINGWIRE_API int IcmpInitializeA(const char* reserved, void* initData);

/* Undoes one successful IcmpInitializeA; the last one closes every handle. 0, or -1 when the
 * library is not initialised. */
PINGWIRE_API int IcmpUninitialize(void);

/* Opens an echo handle; `flags` must be 0. Its time-out starts at 1000 ms and it has no host.
 * Returns the handle, or -1. */
PINGWIRE_API int IcmpOpen(int flags);

/* Sets how long IcmpEcho waits for a reply, in milliseconds (1 to 60000). 0 or -1. */
PINGWIRE_API int IcmpSetTimeout(int handle, int milliseconds);

/* Resolves `host` (a name, an IPv4 or an IPv6 address) and makes its first address the target
 * of IcmpEcho. 0, or -1 when it is unknown (29004; the handle then has no host). */
PINGWIRE_API int IcmpSetHostA(int handle, const char* host);

/* Sends one echo request to the handle's host and waits for its reply: the round trip in
 * milliseconds (0 or more), or -1 when no reply came back in time (29008), the host cannot be
 * reached (29007) or no ICMP socket may be opened (29006). */
PINGWIRE_API int IcmpEcho(int handle);

/* Closes the handle. 0 or -1. */
PINGWIRE_API int IcmpClose(int handle);

/* The code of the calling thread's last failure (0 after a success). */
PINGWIRE_API int IcmpGetLastError(void);

/* Writes the text of `code` into `buffer` of `size` bytes, truncated to fit and terminated;
 * returns its length, or 0 when the code has no text or the buffer is null. */
PINGWIRE_API int IcmpGetErrorStringA(int code, char* buffer, int size);

#ifdef __cplusplus
}
#endif

#endif /* PINGWIRE_H */
