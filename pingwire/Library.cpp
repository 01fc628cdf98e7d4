// The C interface: the handle table and the boundary that no exception crosses.
#include <unistd.h>

#include <atomic>
#include <map>
#include <mutex>

#include "pingwire.h"
#include "pingwire/Echo.h"
#include "pingwire/Errors.h"
#include "pingwire/Target.h"

namespace pingwire {

namespace {

constexpr int kDefaultTimeout = 1000;
constexpr int kMaximumTimeout = 60000;
constexpr std::size_t kMaximumHandles = 256;

// One echo handle: where echoes go, how long each waits, and its identifier and next sequence.
struct Handle {
    std::optional<Target> target;
    int timeout = kDefaultTimeout;
    std::uint16_t identifier = 0;
    std::uint16_t sequence = 0;
};

// The open handles of the process and the initialisation count; any thread, under `mutex`.
// Any thread may use any handle: an echo works on a copy of the handle's settings, so a handle
// closed meanwhile does not disturb it.
struct Library {
    std::mutex mutex;
    int initializations = 0;
    int nextHandle = 1;
    std::map<int, Handle> handles;
};

Library& Instance() {
    static Library library;
    return library;
}

// A raw socket sees the replies of every program on the host, so each handle's identifier
// differs from those of other processes (the process id) and of the process's other handles.
std::uint16_t NewIdentifier() {
    static std::atomic<std::uint16_t> next{static_cast<std::uint16_t>(::getpid() * 40503u)};
    return next.fetch_add(1);
}

// The handle's entry; null with the last error set. The caller holds the library's mutex.
Handle* Find(Library& library, int handle) {
    if (library.initializations == 0) {
        return Fail(kErrorNotInitialized, nullptr);
    }
    const auto found = library.handles.find(handle);
    return found == library.handles.end() ? Fail(kErrorHandle, nullptr) : &found->second;
}

// Runs `body` and turns any escaping exception into kErrorInternal and `failure`.
template <typename Body>
int Guarded(int failure, Body body) {
    try {
        return body();
    } catch (...) {
        return Fail(kErrorInternal, failure);
    }
}

int Succeed(int result) {
    netframe::SetLastErrorCode(kErrorNone);
    return result;
}

}  // namespace

}  // namespace pingwire

using namespace pingwire;

extern "C" int IcmpInitializeA(const char*, void*) {
    return Guarded(0, [] {
        std::lock_guard lock(Instance().mutex);
        ++Instance().initializations;
        return Succeed(1);
    });
}

extern "C" int IcmpUninitialize(void) {
    return Guarded(-1, [] {
        std::lock_guard lock(Instance().mutex);
        Library& library = Instance();
        if (library.initializations == 0) {
            return Fail(kErrorNotInitialized, -1);
        }
        if (--library.initializations == 0) {
            library.handles.clear();
        }
        return Succeed(0);
    });
}

extern "C" int IcmpOpen(int flags) {
    return Guarded(-1, [&] {
        if (flags != 0) {
            return Fail(kErrorParameter, -1);
        }
        std::lock_guard lock(Instance().mutex);
        Library& library = Instance();
        if (library.initializations == 0) {
            return Fail(kErrorNotInitialized, -1);
        }
        if (library.handles.size() >= kMaximumHandles) {
            return Fail(kErrorTooManyHandles, -1);
        }
        while (library.handles.contains(library.nextHandle)) {
            library.nextHandle = library.nextHandle % 0x7fffffff + 1;
        }
        const int handle = library.nextHandle;
        library.nextHandle = library.nextHandle % 0x7fffffff + 1;
        library.handles[handle].identifier = NewIdentifier();
        return Succeed(handle);
    });
}

extern "C" int IcmpSetTimeout(int handle, int milliseconds) {
    return Guarded(-1, [&] {
        std::lock_guard lock(Instance().mutex);
        Handle* entry = Find(Instance(), handle);
        if (!entry) {
            return -1;
        }
        if (milliseconds < 1 || milliseconds > kMaximumTimeout) {
            return Fail(kErrorParameter, -1);
        }
        entry->timeout = milliseconds;
        return Succeed(0);
    });
}

extern "C" int IcmpSetHostA(int handle, const char* host) {
    return Guarded(-1, [&] {
        {
            std::lock_guard lock(Instance().mutex);
            if (!Find(Instance(), handle)) {
                return -1;
            }
        }
        if (!host || host[0] == '\0') {
            return Fail(kErrorParameter, -1);
        }
        // The resolver may take its time; other handles must not wait for it.
        const std::optional<Target> target = Resolve(host);
        std::lock_guard lock(Instance().mutex);
        Handle* entry = Find(Instance(), handle);
        if (!entry) {
            return -1;
        }
        if (!target) {
            // The old target would be a surprise after a failed change.
            entry->target.reset();
            return Fail(kErrorHostName, -1);
        }
        entry->target = target;
        return Succeed(0);
    });
}

extern "C" int IcmpEcho(int handle) {
    return Guarded(-1, [&] {
        Target target;
        int timeout = 0;
        EchoId id;
        {
            std::lock_guard lock(Instance().mutex);
            Handle* entry = Find(Instance(), handle);
            if (!entry) {
                return -1;
            }
            if (!entry->target) {
                return Fail(kErrorNoHost, -1);
            }
            target = *entry->target;
            timeout = entry->timeout;
            id = EchoId{entry->identifier, ++entry->sequence};
        }
        return EchoOnce(target, std::chrono::milliseconds(timeout), id);
    });
}

extern "C" int IcmpClose(int handle) {
    return Guarded(-1, [&] {
        std::lock_guard lock(Instance().mutex);
        if (!Find(Instance(), handle)) {
            return -1;
        }
        Instance().handles.erase(handle);
        return Succeed(0);
    });
}

extern "C" int IcmpGetLastError(void) {
    return static_cast<int>(netframe::GetLastErrorCode());
}

extern "C" int IcmpGetErrorStringA(int code, char* buffer, int size) {
    return Guarded(0,
                   [&] { return CopyErrorText(static_cast<std::uint32_t>(code), buffer, size); });
}
