/* Handle type of the platform's message windows, usable from C and C++. */
#ifndef MOXEL_WINDOW_TYPES_H
#define MOXEL_WINDOW_TYPES_H

/* A window handle is an opaque id that is never dereferenced; the id of a destroyed window is
 * never given out again, so a stale handle is reliably "not a window". The wire libraries'
 * public headers repeat this typedef under their own names: it is the same type. */
struct moxel_window;
typedef struct moxel_window* MOXEL_HWND;

#endif /* MOXEL_WINDOW_TYPES_H */
