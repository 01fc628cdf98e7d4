#pragma once

#include <atomic>

namespace winsock {

// How often the process started the layer (wsock_WSAStartup) and did not yet clean up. Any
// thread.
class LayerState {
public:
    static bool IsStarted() { return starts.load() > 0; }
    static void Start() { ++starts; }
    // False when the layer was not started. The last cleanup closes every socket.
    static bool Cleanup();

    // With the calling thread's error set accordingly: false before start-up
    // (WSANOTINITIALISED) and inside a blocking call (WSAEINPROGRESS).
    static bool CheckCallable();

private:
    static std::atomic<int> starts;
};

}  // namespace winsock
