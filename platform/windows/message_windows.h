/* The message windows of platform/windows for programs written in C: enough to give the wire
 * libraries' asynchronous functions a window and to run the thread's message loop. */
#ifndef MOXEL_MESSAGE_WINDOWS_C_H
#define MOXEL_MESSAGE_WINDOWS_C_H

#include <stdint.h>

#include "platform/windows/WindowTypes.h"

#ifdef __cplusplus
extern "C" {
#endif

#define MOXEL_WINDOWS_C_API __attribute__((visibility("default")))

/* A window procedure: the window, the message, its two parameters; returns the result. */
typedef intptr_t (*MOXEL_WNDPROC)(MOXEL_HWND window, uint32_t message, uintptr_t wParam,
                                  intptr_t lParam);

/* The first message number free for private use. */
#define MOXEL_WM_USER 0x0400

/* A new window of the calling thread with `procedure` (null: every message returns 0). */
MOXEL_WINDOWS_C_API MOXEL_HWND MoxelCreateMessageWindow(MOXEL_WNDPROC procedure);
/* Destroys a window of the calling thread; 1, or 0 for an unknown or foreign window. */
MOXEL_WINDOWS_C_API int MoxelDestroyWindow(MOXEL_HWND window);
/* Waits up to `milliseconds` (negative: without limit) for a message of the calling thread,
 * then dispatches every waiting one. Returns how many were dispatched. */
MOXEL_WINDOWS_C_API int MoxelPumpMessages(int milliseconds);

#ifdef __cplusplus
}
#endif

#endif /* MOXEL_MESSAGE_WINDOWS_C_H */
