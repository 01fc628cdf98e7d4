#pragma once

// The types of the Winsock entry points the frame resolves, and the trace hook that belongs to
// each.

#include <atomic>
#include <cstdint>

#include "platform/winsock/WinsockApi.h"

namespace netframe {

// Winsock's asynchronous database requests. The frame resolves them with the others but never
// calls them; the layer does not provide them.
using AsyncRequest = std::intptr_t;
extern "C" {
using WSAAsyncGetServByNameFunction = AsyncRequest (*)(MOXEL_HWND, std::uint32_t, const char*,
                                                       const char*, char*, int);
using WSAAsyncGetServByPortFunction = AsyncRequest (*)(MOXEL_HWND, std::uint32_t, int, const char*,
                                                       char*, int);
using WSAAsyncGetProtoByNameFunction = AsyncRequest (*)(MOXEL_HWND, std::uint32_t, const char*,
                                                        char*, int);
using WSAAsyncGetProtoByNumberFunction = AsyncRequest (*)(MOXEL_HWND, std::uint32_t, int, char*,
                                                          int);
using WSAAsyncGetHostByNameFunction = AsyncRequest (*)(MOXEL_HWND, std::uint32_t, const char*,
                                                       char*, int);
using WSAAsyncGetHostByAddrFunction = AsyncRequest (*)(MOXEL_HWND, std::uint32_t, const char*, int,
                                                       int, char*, int);
using WSACancelAsyncRequestFunction = int (*)(AsyncRequest);
}

// The trace hook of an entry: the entry's result, then its arguments; returns the result to
// hand on. Entries without a result get the arguments only.
template <typename Function>
struct TraceHookOf;
template <typename Result, typename... Arguments>
struct TraceHookOf<Result (*)(Arguments...)> {
    using Type = Result (*)(Result, Arguments...);
};
template <typename... Arguments>
struct TraceHookOf<void (*)(Arguments...)> {
    using Type = void (*)(Arguments...);
};

// One resolved entry point and its trace hook; both null until resolved. Written while the
// module is loaded, read by any thread.
template <typename Function>
class WinsockEntry {
public:
    using Hook = typename TraceHookOf<Function>::Type;

    Function Get() const { return function.load(std::memory_order_acquire); }
    Hook GetHook() const { return hook.load(std::memory_order_acquire); }
    void Set(Function resolved) { function.store(resolved, std::memory_order_release); }
    void SetHook(Hook resolved) { hook.store(resolved, std::memory_order_release); }

private:
    std::atomic<Function> function{nullptr};
    std::atomic<Hook> hook{nullptr};
};

}  // namespace netframe
