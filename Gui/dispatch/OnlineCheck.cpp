#include "dispatch/OnlineCheck.h"

#include "core/Exception.h"
#include "pingwire.h"

namespace {

// Sites that are large enough to be up whenever the internet is.
const std::vector<std::string> kPublicHosts = {
    "www.google.com",    "www.microsoft.com", "www.amazon.com",
    "www.wikipedia.org", "www.apple.com",     "www.cloudflare.com",
};
constexpr int kEchoTimeoutMilliseconds = 3000;
constexpr int kEchoesPerHost = 5;

// One initialisation of the ICMP library, released on every way out.
class IcmpLibrary {
public:
    IcmpLibrary() {
        if (IcmpInitializeA(nullptr, nullptr) == 0) {
            throw Exception("Failed to initialize Tarnwell Wire Bench Library: ICMP");
        }
    }
    ~IcmpLibrary() { IcmpUninitialize(); }
    IcmpLibrary(const IcmpLibrary&) = delete;
    IcmpLibrary& operator=(const IcmpLibrary&) = delete;
};

// An echo handle, closed on every way out; -1 when none could be opened.
class EchoHandle {
public:
    EchoHandle() : handle(IcmpOpen(0)) {}
    ~EchoHandle() {
        if (handle != -1) {
            IcmpClose(handle);
        }
    }
    EchoHandle(const EchoHandle&) = delete;
    EchoHandle& operator=(const EchoHandle&) = delete;
    int Get() const { return handle; }

private:
    int handle;
};

bool HostAnswers(const std::string& host) {
    const IcmpLibrary library;
    const EchoHandle echo;
    if (echo.Get() == -1 || IcmpSetTimeout(echo.Get(), kEchoTimeoutMilliseconds) == -1 ||
        IcmpSetHostA(echo.Get(), host.c_str()) == -1) {
        return false;
    }
    for (int attempt = 0; attempt < kEchoesPerHost; ++attempt) {
        if (IcmpEcho(echo.Get()) != -1) {
            return true;
        }
    }
    return false;
}

}  // namespace

bool IsComputerOnline() {
    return IsComputerOnline(kPublicHosts);
}

bool IsComputerOnline(const std::vector<std::string>& hosts) {
    for (const std::string& host : hosts) {
        if (HostAnswers(host)) {
            return true;
        }
    }
    return false;
}
