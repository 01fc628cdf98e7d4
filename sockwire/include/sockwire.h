/* sockwire: a flat, handle-based TCP socket library.
 * Every function that fails stores an error code as the calling thread's last error.
 * Texts of the A forms are UTF-8. */
#ifndef SOCKWIRE_H
#define SOCKWIRE_H

#ifdef __cplusplus
extern "C" {
#endif

#define SOCKWIRE_API __attribute__((visibility("default")))

typedef struct tagINITDATA INITDATA;

/* Initialises the library for the process; calls nest. `reserved` and `initData` may be null.
 * Returns 1 on success, 0 on failure. */
SOCKWIRE_API int InetInitializeA(const char* reserved, INITDATA* initData);

/* Undoes one successful InetInitializeA; the last one closes every socket of the process. */
SOCKWIRE_API void InetUninitialize(void);

#ifdef __cplusplus
}
#endif

#endif /* SOCKWIRE_H */
