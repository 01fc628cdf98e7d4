// The C form of the message windows (message_windows.h).
#include <chrono>

#include "platform/windows/MessageWindows.h"
#include "platform/windows/message_windows.h"

extern "C" {

MOXEL_HWND MoxelCreateMessageWindow(MOXEL_WNDPROC procedure) {
    return platform::CreateMessageWindow(procedure);
}

int MoxelDestroyWindow(MOXEL_HWND window) {
    return platform::DestroyWindow(window) ? 1 : 0;
}

int MoxelPumpMessages(int milliseconds) {
    platform::WaitMessage(std::chrono::milliseconds(milliseconds));
    int dispatched = 0;
    platform::Message message;
    while (platform::PeekMessage(message)) {
        platform::DispatchMessage(message);
        ++dispatched;
    }
    return dispatched;
}

}  // extern "C"
