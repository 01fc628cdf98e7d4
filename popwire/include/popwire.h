/* popwire: a POP3 client library.
 * Every function that fails stores an error code as the calling thread's last error.
 * Texts of the A forms are UTF-8. */
#ifndef POPWIRE_H
#define POPWIRE_H

#ifdef __cplusplus
extern "C" {
#endif

#define POPWIRE_API __attribute__((visibility("default")))

typedef struct tagINITDATA INITDATA;

/* Initialises the library for the process; calls nest. `reserved` and `initData` may be null.
 * Returns 1 on success, 0 on failure. */
POPWIRE_API int PopInitializeA(const char* reserved, INITDATA* initData);

/* Undoes one successful PopInitializeA; the last one closes every client of the process. */
POPWIRE_API void PopUninitialize(void);

#ifdef __cplusplus
}
#endif

#endif /* POPWIRE_H */
