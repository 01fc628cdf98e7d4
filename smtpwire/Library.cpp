// The C interface: handles, the thread that owns each, and the boundary that no exception
// crosses.
#include <cstring>
#include <map>
#include <memory>
#include <mutex>

#include "smtpwire.h"
#include "smtpwire/Errors.h"
#include "smtpwire/Session.h"

namespace smtpwire {

std::string DateText();

namespace {

constexpr int kMaximumPiece = 256;
constexpr int kMaximumSessions = 256;

using SessionPointer = std::shared_ptr<Session>;

// The open sessions of the process and the initialisation count; any thread, under `mutex`.
// A session is used only by the thread that opened it; an operation holds its pointer, so a
// session closed meanwhile by the last SmtpUninitialize lives until that operation ends.
struct Library {
    std::mutex mutex;
    int initializations = 0;
    int nextHandle = 1;
    std::map<int, SessionPointer> sessions;
};

Library& Instance() {
    static Library library;
    return library;
}

// The calling thread's session of `handle`; null with the last error set.
SessionPointer Lookup(int handle) {
    Library& library = Instance();
    std::lock_guard lock(library.mutex);
    if (library.initializations == 0) {
        return Fail(kErrorNotInitialized, nullptr);
    }
    const auto found = library.sessions.find(handle);
    if (found == library.sessions.end() || found->second->owner != std::this_thread::get_id()) {
        return Fail(kErrorHandle, nullptr);
    }
    return found->second;
}

SessionPointer Take(int handle) {
    SessionPointer session = Lookup(handle);
    if (session) {
        std::lock_guard lock(Instance().mutex);
        Instance().sessions.erase(handle);
    }
    return session;
}

// A text argument that may go into a command line: no line breaks, no NUL inside.
bool IsCommandText(const char* text) {
    return text && std::strpbrk(text, "\r\n") == nullptr;
}

// Runs `body` and turns any escaping exception into kErrorInternal and `failure`.
template <typename Result, typename Body>
Result Guarded(Result failure, Body body) {
    try {
        return body();
    } catch (...) {
        return Fail(kErrorInternal, failure);
    }
}

int Status(bool succeeded) {
    if (succeeded) {
        SetError(kErrorNone);
        return 0;
    }
    return -1;
}

}  // namespace

}  // namespace smtpwire

using namespace smtpwire;

extern "C" int SmtpInitializeA(const char*, void*) {
    return Guarded(0, [] {
        std::lock_guard lock(Instance().mutex);
        ++Instance().initializations;
        return 1;
    });
}

extern "C" void SmtpUninitialize(void) {
    Guarded(0, [] {
        std::map<int, SessionPointer> closing;
        {
            std::lock_guard lock(Instance().mutex);
            Library& library = Instance();
            if (library.initializations == 0 || --library.initializations > 0) {
                return 0;
            }
            closing.swap(library.sessions);
        }
        // Owners still inside an operation see their waits end; the sockets close when the
        // last holder lets go.
        for (auto& entry : closing) {
            entry.second->Shutdown();
        }
        return 0;
    });
}

extern "C" int SmtpConnectA(const char* host, int port, int timeoutSeconds) {
    return Guarded(-1, [&] {
        if (!host || host[0] == '\0' || port <= 0 || port > 65535 || timeoutSeconds < 0) {
            return Fail(kErrorParameter, -1);
        }
        {
            std::lock_guard lock(Instance().mutex);
            if (Instance().initializations == 0) {
                return Fail(kErrorNotInitialized, -1);
            }
            if (Instance().sessions.size() >= kMaximumSessions) {
                return Fail(kErrorInternal, -1, "too many connections");
            }
        }
        auto session = std::make_shared<Session>(host, port, timeoutSeconds);
        if (!session->Connect()) {
            return -1;
        }
        std::lock_guard lock(Instance().mutex);
        Library& library = Instance();
        if (library.initializations == 0) {
            return Fail(kErrorNotInitialized, -1);
        }
        while (library.sessions.count(library.nextHandle)) {
            library.nextHandle = library.nextHandle % 0x7fffffff + 1;
        }
        const int handle = library.nextHandle;
        library.nextHandle = library.nextHandle % 0x7fffffff + 1;
        library.sessions.emplace(handle, std::move(session));
        SetError(kErrorNone);
        return handle;
    });
}

extern "C" int SmtpHelloA(int handle, const char* domain, int) {
    return Guarded(-1, [&] {
        if (domain && !IsCommandText(domain)) {
            return Fail(kErrorParameter, -1);
        }
        const SessionPointer session = Lookup(handle);
        return session ? Status(session->Hello(domain ? domain : "")) : -1;
    });
}

extern "C" int SmtpAuthenticateA(int handle, const char* userName, const char* password) {
    return Guarded(-1, [&] {
        if (!userName || !password) {
            return Fail(kErrorParameter, -1);
        }
        const SessionPointer session = Lookup(handle);
        return session ? Status(session->Authenticate(userName, password)) : -1;
    });
}

extern "C" int SmtpSetSenderA(int handle, const char* address) {
    return Guarded(-1, [&] {
        if (!IsCommandText(address)) {
            return Fail(kErrorParameter, -1);
        }
        const SessionPointer session = Lookup(handle);
        return session ? Status(session->SetSender(address)) : -1;
    });
}

extern "C" int SmtpAddRecipientA(int handle, const char* address) {
    return Guarded(-1, [&] {
        if (!IsCommandText(address) || address[0] == '\0') {
            return Fail(kErrorParameter, -1);
        }
        const SessionPointer session = Lookup(handle);
        return session ? Status(session->AddRecipient(address)) : -1;
    });
}

extern "C" int SmtpGetDateTimeA(char* buffer, int size) {
    return Guarded(-1, [&] {
        const std::string text = DateText();
        if (!buffer || size <= static_cast<int>(text.size()) || text.empty()) {
            return Fail(kErrorParameter, -1);
        }
        std::memcpy(buffer, text.c_str(), text.size() + 1);
        SetError(kErrorNone);
        return static_cast<int>(text.size());
    });
}

extern "C" int SmtpWrite(int handle, const void* data, int length) {
    return Guarded(-1, [&] {
        if (!data || length <= 0 || length > kMaximumPiece) {
            return Fail(kErrorParameter, -1);
        }
        const SessionPointer session = Lookup(handle);
        if (!session) {
            return -1;
        }
        const std::string_view piece(static_cast<const char*>(data),
                                     static_cast<std::size_t>(length));
        return Status(session->Write(piece)) == 0 ? length : -1;
    });
}

extern "C" int SmtpEndMessage(int handle) {
    return Guarded(-1, [&] {
        const SessionPointer session = Lookup(handle);
        return session ? Status(session->EndMessage()) : -1;
    });
}

extern "C" int SmtpDisconnect(int handle) {
    return Guarded(-1, [&] {
        const SessionPointer session = Take(handle);
        if (!session) {
            return -1;
        }
        session->Quit();
        SetError(kErrorNone);
        return 0;
    });
}

extern "C" int SmtpGetLastError(void) {
    return static_cast<int>(LastError());
}

extern "C" int SmtpGetErrorStringA(int code, char* buffer, int size) {
    return Guarded(0, [&] {
        if (!buffer || size <= 0) {
            return 0;
        }
        const std::string text = ErrorText(static_cast<std::uint32_t>(code));
        const std::size_t length = std::min(text.size(), static_cast<std::size_t>(size - 1));
        std::memcpy(buffer, text.data(), length);
        buffer[length] = '\0';
        return static_cast<int>(length);
    });
}
