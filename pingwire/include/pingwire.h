/* pingwire: the ICMP echo library behind Moxel's on-line check.
 *
 * Every function that can fail returns -1 (0 for IcmpInitializeA). A handle is a signed 32-bit
 * integer. Texts are UTF-8.
 *
 * Export ordinals (kept for reference; on ELF the functions are bound by name):
 *   6 IcmpClose, 22 IcmpInitializeA, 26 IcmpOpen, 30 IcmpEcho, 32 IcmpSetHostA,
 *   37 IcmpSetTimeout, 39 IcmpUninitialize
 */
#ifndef PINGWIRE_H
#define PINGWIRE_H

#ifdef __cplusplus
extern "C" {
#endif

#define PINGWIRE_API __attribute__((visibility("default")))

/* Initialises the library for the process; calls nest. Nonzero on success, 0 on failure. */
PINGWIRE_API int IcmpInitializeA(const char* reserved, void* initData);

/* Undoes one successful IcmpInitializeA. */
PINGWIRE_API int IcmpUninitialize(void);

/* Opens an echo handle; `flags` must be 0. Returns the handle, or -1. */
PINGWIRE_API int IcmpOpen(int flags);

/* Sets how long IcmpEcho waits for a reply, in milliseconds. 0 or -1. */
PINGWIRE_API int IcmpSetTimeout(int handle, int milliseconds);

/* Resolves `host` and makes it the target of IcmpEcho. 0, or -1 when it is unknown. */
PINGWIRE_API int IcmpSetHostA(int handle, const char* host);

/* Sends one echo request and waits for the reply: the round trip in milliseconds, or -1 when
 * no reply came back in time. */
PINGWIRE_API int IcmpEcho(int handle);

/* Closes the handle. 0 or -1. */
PINGWIRE_API int IcmpClose(int handle);

#ifdef __cplusplus
}
#endif

#endif /* PINGWIRE_H */
